#include "platform/WaylandRoute.h"

#include "platform/DesktopSession.h"

WaylandRoute* WaylandRoute::shared()
{
    static WaylandRoute* const route = []() -> WaylandRoute* {
        switch (DesktopSession::deliveryRoute()) {
        case DesktopSession::Route::wlroots:
        case DesktopSession::Route::gnome:
        case DesktopSession::Route::x11:
        case DesktopSession::Route::clipboard:
            break;
        }
        return nullptr;
    }();
    return route;
}
