#include "platform/WaylandRoute.h"

#include "platform/DesktopSession.h"
#include "platform/GnomeRoute.h"
#include "platform/WlrRoute.h"

WaylandRoute* WaylandRoute::shared()
{
    static WaylandRoute* const route = []() -> WaylandRoute* {
        switch (DesktopSession::deliveryRoute()) {
        case DesktopSession::Route::wlroots:
            return &WlrRoute::shared();
        case DesktopSession::Route::gnome:
            // Without mutter's remote desktop on the session bus no native window counts as focused: they get
            // the clipboard. Whether it is there is asked off this thread.
            GnomeRoute::shared().start();
            return &GnomeRoute::shared();
        case DesktopSession::Route::x11:
        case DesktopSession::Route::clipboard:
            break;
        }
        return nullptr;
    }();
    return route;
}
