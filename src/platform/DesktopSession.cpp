#include "platform/DesktopSession.h"

#include "platform/wayland/WaylandGlobals.h"
#include "platform/wayland/WaylandThread.h"

#include <atomic>
#include <memory>

namespace
{

// KWin looks the program's desktop entry up before it lists its globals: on a loaded machine that took more than a
// second.
constexpr int globalsTimeoutMs = 3000;

struct Offered
{
    QStringList names;
    // Set after the names: a compositor that hangs may keep the thread past the wait, writing nothing more.
    std::atomic<bool> complete = false;
};

// Lists the globals on the Wayland thread; the answer outlives the thread's handle.
WaylandThread::Hooks listingInto(const std::shared_ptr<Offered>& offered)
{
    return {.setUp =
                [offered](WaylandThread& thread) {
                    const WaylandGlobals globals(thread, globalsTimeoutMs);
                    offered->names = globals.interfaceNames();
                    offered->complete = globals.isComplete();
                },
            .tearDown = nullptr,
            .lost = nullptr};
}

// What the compositor offers, as far as it tells within a few seconds: a compositor that hangs must not hold the start.
QStringList compositorGlobals()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    const auto offered = std::make_shared<Offered>();
    {
        // Ended before the answer is read.
        const WaylandThread connection(listingInto(offered), globalsTimeoutMs);
    }
    return offered->complete ? offered->names : QStringList();
}

bool desktopNamed(const QString& currentDesktop, const QStringList& names)
{
    const QStringList parts = currentDesktop.toLower().split(u':', Qt::SkipEmptyParts);
    for (const QString& name : names) {
        if (parts.contains(name))
            return true;
    }
    return false;
}

const DesktopSession::Facts& sessionFacts()
{
    static const DesktopSession::Facts facts = DesktopSession::gather();
    return facts;
}

} // namespace

namespace DesktopSession
{

Facts gather()
{
    return Facts{qEnvironmentVariable("XDG_SESSION_TYPE"), qEnvironmentVariable("WAYLAND_DISPLAY"),
                 qEnvironmentVariable("XDG_CURRENT_DESKTOP"), compositorGlobals()};
}

Desktop classify(const Facts& facts)
{
    if (facts.sessionType != QLatin1String("wayland") && facts.waylandDisplay.isEmpty())
        return Desktop::x11;
    if (desktopNamed(facts.currentDesktop, {QStringLiteral("gnome"), QStringLiteral("ubuntu")}) ||
        facts.globals.contains(QLatin1String("gtk_shell1")))
        return Desktop::gnome;
    if (desktopNamed(facts.currentDesktop, {QStringLiteral("kde")}) ||
        facts.globals.contains(QLatin1String("org_kde_plasma_shell")))
        return Desktop::kde;
    static const QStringList wlroots{QStringLiteral("sway"), QStringLiteral("hyprland"), QStringLiteral("river"),
                                     QStringLiteral("labwc"), QStringLiteral("wayfire")};
    if (desktopNamed(facts.currentDesktop, wlroots) ||
        facts.globals.contains(QLatin1String("zwlr_foreign_toplevel_manager_v1")))
        return Desktop::wlroots;
    return Desktop::otherWayland;
}

Route routeFor(Desktop desktop, const QStringList& globals)
{
    switch (desktop) {
    case Desktop::x11:
        return Route::x11;
    case Desktop::gnome:
        return Route::gnome;
    case Desktop::wlroots:
        // Without data-control a paste would insert whatever the seat's clipboard held before, not our text.
        return globals.contains(QLatin1String("zwp_virtual_keyboard_manager_v1")) &&
                       globals.contains(QLatin1String("zwlr_data_control_manager_v1"))
                   ? Route::wlroots
                   : Route::clipboard;
    case Desktop::kde:
        // KWin offers its fake input only to programs whose desktop entry asks for it.
        return globals.contains(QLatin1String("org_kde_kwin_fake_input")) &&
                       globals.contains(QLatin1String("zwlr_data_control_manager_v1"))
                   ? Route::kde
                   : Route::clipboard;
    case Desktop::otherWayland:
        break;
    }
    return Route::clipboard;
}

Desktop desktop()
{
    static const Desktop decided = classify(sessionFacts());
    return decided;
}

Route deliveryRoute()
{
    static const Route decided = routeFor(desktop(), sessionFacts().globals);
    return decided;
}

bool isWayland()
{
    return desktop() != Desktop::x11;
}

bool compositorOffers(const QString& interface)
{
    return sessionFacts().globals.contains(interface);
}

QString describe()
{
    static const char* const desktops[] = {"X11", "Wayland (GNOME)", "Wayland (KDE Plasma)", "Wayland (wlroots)",
                                           "Wayland"};
    static const char* const routes[] = {"X11 (XTEST)", "виртуальная клавиатура wlroots",
                                         "удалённый рабочий стол GNOME", "виртуальный ввод KWin", "буфер обмена"};
    return QStringLiteral("Сеанс %1, доставка текста: %2")
        .arg(QString::fromUtf8(desktops[static_cast<int>(desktop())]),
             QString::fromUtf8(routes[static_cast<int>(deliveryRoute())]));
}

} // namespace DesktopSession
