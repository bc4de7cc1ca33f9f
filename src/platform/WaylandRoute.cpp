#include "platform/WaylandRoute.h"

#include "platform/DesktopSession.h"
#include "platform/GnomeRoute.h"

WaylandRoute* WaylandRoute::shared()
{
    static WaylandRoute* const route = []() -> WaylandRoute* {
        switch (DesktopSession::deliveryRoute()) {
        case DesktopSession::Route::gnome:
            // Where mutter refuses its remote desktop to this program, native windows get the clipboard.
            return GnomeRoute::shared().open() ? &GnomeRoute::shared() : nullptr;
        case DesktopSession::Route::wlroots:
        case DesktopSession::Route::x11:
        case DesktopSession::Route::clipboard:
            break;
        }
        return nullptr;
    }();
    return route;
}
