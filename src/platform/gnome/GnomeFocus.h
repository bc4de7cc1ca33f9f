#pragma once

#include "platform/ActiveWindow.h"

#include <QHash>
#include <QString>

#include <mutex>

// Which native window of GNOME has the focus, as far as anyone tells: mutter does not. Applications on the
// accessibility bus (AT-SPI: GTK 3 programs, and others while accessibility is on) say when one of their windows
// is activated or deactivated; XWayland says when an X11 window is active. A window known this way keeps its
// identifier for as long as its program runs; any other native window gets a new one every time the focus may
// have moved, so that "the same window" is never claimed for a window that perhaps is not. Any thread.
class GnomeFocus
{
public:
    GnomeFocus();

    // The focused native window's identifier (nativeWindowBit set) while no X11 window is active.
    ActiveWindow::WindowId window();

    // Another program's X11 window became active: after it "the native window" may be any. (Our own windows hand
    // the focus back to the window that had it: mutter does so when they close.)
    void foreignX11WindowActivated();
    // An accessible window (its program's bus name and object path) was activated or deactivated.
    void accessibleActivated(const QString& program, const QString& path);
    void accessibleDeactivated(const QString& program, const QString& path);
    // The program left the accessibility bus.
    void programGone(const QString& program);
    // What the program calls itself on the accessibility bus.
    void programNamed(const QString& program, const QString& name);
    // That name for the program of the focused window, when it is an accessible one that told it.
    QString focusedProgramName();

private:
    // A window nobody can tell from another one: the focus may have moved.
    void focusMayHaveMoved();

    std::mutex mutex_;
    ActiveWindow::WindowId lastIdentifier_ = 0;
    ActiveWindow::WindowId current_ = 0;
    // The active accessible window as "program path"; empty while none is known.
    QString accessible_;
    QHash<QString, ActiveWindow::WindowId> accessibleWindows_;
    // By the program's bus name.
    QHash<QString, QString> programNames_;
};
