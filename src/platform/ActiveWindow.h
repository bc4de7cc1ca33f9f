#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// The window the user is working in, so that text dictated for it reaches it even after another window came to
// the front: an X11 window (the window manager's _NET_ACTIVE_WINDOW), or in a Wayland session a native window
// of the compositor where its delivery route tells them (WaylandRoute). Every function opens or shares a
// connection of its own, so it may be called from any thread.
namespace ActiveWindow
{
// An X11 window identifier, or a native Wayland window's (nativeWindowBit set); 0 stands for none.
using WindowId = quint64;
// X11 identifiers have 29 bits.
inline constexpr WindowId nativeWindowBit = WindowId{1} << 62;

inline bool isNative(WindowId window)
{
    return (window & nativeWindowBit) != 0;
}

// The active window, or 0 without a display or a window manager that reports one.
WindowId current();
// Asks the window manager to bring the window to the front and give it the keyboard focus. False when the
// window no longer exists or there is no display; the window manager may still refuse.
bool activate(WindowId window);

// A window open now, by the program it belongs to.
struct OpenWindow
{
    WindowId window = 0;
    // Its class hint: instance and class name.
    QStringList windowClass;
    QString title;
};
// The windows of the X11 window manager's list; none without a display. Native Wayland windows are not listed.
std::vector<OpenWindow> openWindows();
} // namespace ActiveWindow
