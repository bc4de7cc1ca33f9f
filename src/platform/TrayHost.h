#pragma once

// Whether the desktop shows tray icons: a StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator extension,
// waybar) or an X11 system tray. Asks only the session bus itself and the X server, never the tray's own process,
// which may be busy or hung: the answer comes at once.
namespace TrayHost
{
bool available();
} // namespace TrayHost
