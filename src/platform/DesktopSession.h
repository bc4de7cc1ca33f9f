#pragma once

#include <QString>
#include <QStringList>

// The kind of desktop session the app runs in, and the route its text takes into the windows there. Tolvan's
// own windows are X11 windows in every session (XWayland under Wayland).
namespace DesktopSession
{

enum class Desktop
{
    x11,
    gnome,
    kde,
    // sway, Hyprland, river, labwc, Wayfire and other compositors built on wlroots.
    wlroots,
    otherWayland,
};

// How text reaches the native windows of the session; X11 windows always take the X11 route.
enum class Route
{
    x11,
    wlroots,
    gnome,
    kde,
    // Nothing reaches native windows: their text is left on the clipboard for the user to paste.
    clipboard,
};

// What the session is decided from.
struct Facts
{
    QString sessionType;    // XDG_SESSION_TYPE
    QString waylandDisplay; // WAYLAND_DISPLAY
    QString currentDesktop; // XDG_CURRENT_DESKTOP
    // The interfaces the Wayland compositor offers (its registry globals), e.g. "zwp_virtual_keyboard_manager_v1".
    QStringList globals;
};

// The facts of this process's session, read from the environment and asked from the compositor.
Facts gather();
Desktop classify(const Facts& facts);
Route routeFor(Desktop desktop, const QStringList& globals);

// This process's session and route, decided at the first call.
Desktop desktop();
Route deliveryRoute();
bool isWayland();
// Whether this session's compositor offers the interface to this process.
bool compositorOffers(const QString& interface);
// One line for the log, e.g. "сеанс Wayland (wlroots), доставка текста: виртуальная клавиатура".
QString describe();

} // namespace DesktopSession
