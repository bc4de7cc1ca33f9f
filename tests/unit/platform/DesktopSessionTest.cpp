#include "platform/DesktopSession.h"

#include <gtest/gtest.h>

using DesktopSession::Desktop;
using DesktopSession::Facts;
using DesktopSession::Route;

TEST(DesktopSessionTest, TheSessionIsToldByItsVariablesOrWhatTheCompositorOffersAndDecidesTheRoute)
{
    const QStringList wlroots{QStringLiteral("wl_seat"), QStringLiteral("zwlr_foreign_toplevel_manager_v1"),
                              QStringLiteral("zwp_virtual_keyboard_manager_v1"),
                              QStringLiteral("zwlr_data_control_manager_v1")};
    const QStringList withoutDataControl = wlroots.mid(0, 3);
    const QStringList kwin{QStringLiteral("org_kde_plasma_shell"), QStringLiteral("org_kde_kwin_fake_input"),
                           QStringLiteral("zwlr_data_control_manager_v1")};
    const struct
    {
        Facts facts;
        Desktop desktop;
        Route route;
    } cases[] = {
        {{QStringLiteral("x11"), {}, QStringLiteral("GNOME"), {}}, Desktop::x11, Route::x11},
        {{QStringLiteral("wayland"), {}, QStringLiteral("ubuntu:GNOME"), {}}, Desktop::gnome, Route::gnome},
        {{{}, QStringLiteral("wayland-0"), {}, {QStringLiteral("gtk_shell1")}}, Desktop::gnome, Route::gnome},
        // KWin offers its fake input only to programs whose desktop entry asks for it.
        {{QStringLiteral("wayland"), {}, QStringLiteral("KDE"), wlroots}, Desktop::kde, Route::clipboard},
        {{{}, QStringLiteral("wayland-0"), {}, kwin}, Desktop::kde, Route::kde},
        {{QStringLiteral("wayland"), {}, {}, wlroots}, Desktop::wlroots, Route::wlroots},
        // A wlroots compositor that leaves the virtual keyboard out offers no route.
        {{QStringLiteral("wayland"), {}, QStringLiteral("sway"), {}}, Desktop::wlroots, Route::clipboard},
        // Nor one without data-control: Ctrl+V would paste the seat's previous clipboard.
        {{QStringLiteral("wayland"), {}, {}, withoutDataControl}, Desktop::wlroots, Route::clipboard},
        {{QStringLiteral("wayland"), {}, {}, {QStringLiteral("wl_seat")}}, Desktop::otherWayland, Route::clipboard},
    };
    for (const auto& expected : cases) {
        const Desktop desktop = DesktopSession::classify(expected.facts);
        EXPECT_EQ(desktop, expected.desktop) << expected.facts.currentDesktop.toStdString();
        EXPECT_EQ(DesktopSession::routeFor(desktop, expected.facts.globals), expected.route)
            << expected.facts.currentDesktop.toStdString();
    }
}
