#pragma once

// Who holds X11 selections. Opens its own connection to the display, so it may be called from any thread.
namespace SelectionOwner
{
// Whether the PRIMARY selection belongs to the program whose window has the keyboard focus, so that it is
// the selection the user sees there and not one left behind in another window long ago. False without a
// display, an owner or a focused window.
bool primaryIsFocusedWindows();
// Whether a clipboard manager runs (it owns CLIPBOARD_MANAGER): it keeps the clipboard of a program that quits.
bool clipboardManagerRuns();
// Whether an X11 system tray (XEmbed) runs on the display's default screen: it owns _NET_SYSTEM_TRAY_S<screen>.
bool trayRuns();
} // namespace SelectionOwner
