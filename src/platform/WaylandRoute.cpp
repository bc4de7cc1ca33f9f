#include "platform/WaylandRoute.h"

#include "core/Log.h"
#include "platform/DesktopSession.h"
#include "platform/NoNativeRoute.h"
#include "platform/gnome/GnomeRoute.h"
#include "platform/wayland/WlrRoute.h"

WaylandRoute& WaylandRoute::shared()
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
        case DesktopSession::Route::kde:
            return &WlrRoute::kde();
        case DesktopSession::Route::clipboard:
            if (DesktopSession::desktop() == DesktopSession::Desktop::kde)
                Log::info(QStringLiteral(
                    "KWin не дал Толвану ввод клавиш: он даёт его только программе, чей файл .desktop просит "
                    "org_kde_kwin_fake_input в X-KDE-Wayland-Interfaces и в Exec называет её исполняемый файл"));
            // Native windows still get the text on their clipboard, where it is kept apart from X11's.
            if (DesktopSession::compositorOffers(QStringLiteral("zwlr_data_control_manager_v1")))
                return &WlrRoute::clipboardOnly();
            break;
        case DesktopSession::Route::x11:
            break;
        }
        return &NoNativeRoute::shared();
    }();
    return *route;
}
