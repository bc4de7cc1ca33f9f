#pragma once

#include "platform/WaylandRoute.h"
#include "platform/WaylandThread.h"

#include <QString>

#include <memory>
#include <mutex>

// The route into native windows of wlroots compositors (sway, Hyprland, river, labwc, Wayfire): keystrokes through
// the virtual-keyboard protocol, the focused window and its activation through the foreign-toplevel protocol, and
// the clipboard through the data-control protocol (wlroots passes an X11 program's clipboard on only while an X11
// window has the focus, and lets X11 programs read the seat's only then).
class WlrRoute : public WaylandRoute
{
public:
    WlrRoute();
    ~WlrRoute() override;
    static WlrRoute& shared();

    ActiveWindow::WindowId focusedWindow() override;
    bool activate(ActiveWindow::WindowId window) override;
    QStringList focusedWindowClass() override;
    Keystroke postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                      const QString& pasted) override;
    bool hasOwnClipboard() const override { return true; }
    void shareClipboard(const QString& text) override;
    std::optional<QString> clipboardText() override;
    bool restoreClipboard(const QString& inserted, const QString& previous) override;
    std::optional<QString> selectedText() override;
    QString clipboardToKeep() override;

private:
    struct Objects;
    // What the compositor last said of its windows, for the callers that must not wait for it.
    struct Focus
    {
        ActiveWindow::WindowId window = 0;
        QStringList windowClass;
    };
    void setUp(WaylandThread& thread);
    // The clipboard's or the primary selection's text, read on the thread once the compositor is up to date.
    std::optional<QString> readSelection(bool primary);
    void noteFocus(const Focus& focus);

    // Only touched on the thread's own thread.
    std::unique_ptr<Objects> objects_;
    std::mutex focusMutex_;
    Focus focus_;
    // Last: it ends first, tearing the objects down on its thread while they still exist.
    WaylandThread thread_;
};
