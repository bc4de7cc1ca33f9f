#include "platform/WaylandRoute.h"

#include "platform/DesktopSession.h"
#include "platform/WlrRoute.h"

WaylandRoute* WaylandRoute::shared()
{
    static WaylandRoute* const route = []() -> WaylandRoute* {
        switch (DesktopSession::deliveryRoute()) {
        case DesktopSession::Route::wlroots:
            return &WlrRoute::shared();
        case DesktopSession::Route::gnome:
        case DesktopSession::Route::x11:
        case DesktopSession::Route::clipboard:
            break;
        }
        return nullptr;
    }();
    return route;
}
