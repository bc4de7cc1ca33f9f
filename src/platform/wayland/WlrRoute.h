#pragma once

#include "platform/WaylandRoute.h"
#include "platform/wayland/WaylandThread.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>

class WaylandGlobals;
class WaylandKeyboard;
class WaylandWindows;
struct wl_seat;

// The route into native windows of compositors with the data-control protocol: the clipboard goes through it (wlroots
// and KWin pass an X11 program's clipboard on only while an X11 window has the focus, and let X11 programs read the
// seat's only then); keystrokes, the focused window and its activation through protocols of the compositor's own.
class WlrRoute : public WaylandRoute
{
public:
    // What makes the keyboard and the window list from the compositor's globals, on the connection's thread; either
    // may give nullptr (no keystrokes; no window counts as focused).
    struct Pieces
    {
        std::function<std::unique_ptr<WaylandKeyboard>(WaylandGlobals&, wl_seat*)> keyboard;
        std::function<std::unique_ptr<WaylandWindows>(WaylandGlobals&, wl_seat*)> windows;
    };
    explicit WlrRoute(Pieces pieces);
    ~WlrRoute() override;
    // wlroots compositors (sway, Hyprland, river, labwc, Wayfire): the virtual-keyboard and foreign-toplevel protocols.
    static WlrRoute& shared();
    // KWin: its fake-input and Plasma window-management protocols, which it gives only to programs that ask for them in
    // their desktop entry.
    static WlrRoute& kde();
    // No keystrokes: the text is left on the clipboard, which native windows get too.
    static WlrRoute& clipboardOnly();

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
    void setUp(WaylandThread& thread, const Pieces& pieces);
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
