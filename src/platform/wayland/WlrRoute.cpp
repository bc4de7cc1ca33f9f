#include "platform/wayland/WlrRoute.h"

#include "core/Log.h"
#include "fake-input-client-protocol.h"
#include "plasma-window-management-client-protocol.h"
#include "platform/DisplayLoss.h"
#include "platform/wayland/KwinFakeKeyboard.h"
#include "platform/wayland/PlasmaWindows.h"
#include "platform/wayland/WaylandGlobals.h"
#include "platform/wayland/WlrClipboard.h"
#include "platform/wayland/WlrKeyboard.h"
#include "platform/wayland/WlrToplevels.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <cerrno>
#include <wayland-client.h>

namespace
{

constexpr int pressDurationMs = 25;
constexpr uint32_t toplevelVersion = 3;
constexpr uint32_t dataControlVersion = 2;
constexpr uint32_t fakeInputKeyboardVersion = 4;
// A window brought to the front later than this would take the focus from wherever the user has gone since.
constexpr int activationTimeoutMs = 300;
constexpr int roundtripTimeoutMs = 500;
// KWin looks the program's desktop entry up before it lists its globals.
constexpr int globalsTimeoutMs = 3000;
constexpr int readTimeoutMs = 500;
constexpr int clipboardTimeoutMs = 1000;

std::unique_ptr<WaylandKeyboard> virtualKeyboard(WaylandGlobals& globals, wl_seat* seat)
{
    auto* manager = globals.bind<zwp_virtual_keyboard_manager_v1>(zwp_virtual_keyboard_manager_v1_interface, 1);
    if (!manager)
        return nullptr;
    auto keyboard = std::make_unique<WlrKeyboard>(
        globals.display(), zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat));
    zwp_virtual_keyboard_manager_v1_destroy(manager);
    return keyboard;
}

std::unique_ptr<WaylandWindows> foreignToplevels(WaylandGlobals& globals, wl_seat* seat)
{
    auto* manager =
        globals.bind<zwlr_foreign_toplevel_manager_v1>(zwlr_foreign_toplevel_manager_v1_interface, toplevelVersion);
    return manager ? std::make_unique<WlrToplevels>(manager, seat) : nullptr;
}

std::unique_ptr<WaylandKeyboard> fakeInput(WaylandGlobals& globals, wl_seat*)
{
    auto* input = globals.bind<org_kde_kwin_fake_input>(org_kde_kwin_fake_input_interface, fakeInputKeyboardVersion,
                                                        fakeInputKeyboardVersion);
    return input ? std::make_unique<KwinFakeKeyboard>(globals.display(), input) : nullptr;
}

std::unique_ptr<WaylandWindows> plasmaWindows(WaylandGlobals& globals, wl_seat*)
{
    auto* manager = globals.bind<org_kde_plasma_window_management>(org_kde_plasma_window_management_interface,
                                                                   PlasmaWindows::version, PlasmaWindows::version);
    return manager ? std::make_unique<PlasmaWindows>(manager) : nullptr;
}

} // namespace

struct WlrRoute::Objects
{
    wl_seat* seat = nullptr;
    std::unique_ptr<WaylandKeyboard> keyboard;
    std::unique_ptr<WaylandWindows> windows;
    std::unique_ptr<WlrClipboard> clipboard;

    ~Objects()
    {
        keyboard.reset();
        windows.reset();
        clipboard.reset();
        if (seat)
            wl_seat_destroy(seat);
    }
};

WlrRoute::WlrRoute(Pieces pieces)
    : thread_(WaylandThread::Hooks{
                  .setUp = [this, pieces = std::move(pieces)](WaylandThread& thread) { setUp(thread, pieces); },
                  .tearDown = [this] { objects_.reset(); },
                  .lost =
                      [](int error) {
                          // A protocol error is ours: the route is gone, the app goes on without it.
                          if (error == EPROTO)
                              Log::info(
                                  QStringLiteral("Композитор Wayland разорвал связь — текст для его окон останется в "
                                                 "буфере обмена"));
                          else
                              DisplayLoss::compositorGone();
                      },
              },
              globalsTimeoutMs + roundtripTimeoutMs)
{
    if (!thread_.isConnected())
        Log::info(QStringLiteral("Композитор Wayland не ответил — текст для его окон останется в буфере обмена"));
}

WlrRoute::~WlrRoute() = default;

WlrRoute& WlrRoute::shared()
{
    static WlrRoute route(Pieces{.keyboard = virtualKeyboard, .windows = foreignToplevels});
    return route;
}

WlrRoute& WlrRoute::kde()
{
    static WlrRoute route(Pieces{.keyboard = fakeInput, .windows = plasmaWindows});
    return route;
}

WlrRoute& WlrRoute::clipboardOnly()
{
    static WlrRoute route(Pieces{});
    return route;
}

void WlrRoute::setUp(WaylandThread& thread, const Pieces& pieces)
{
    auto objects = std::make_unique<Objects>();
    {
        WaylandGlobals globals(thread, globalsTimeoutMs);
        objects->seat = globals.bind<wl_seat>(wl_seat_interface, 1);
        if (objects->seat) {
            if (pieces.keyboard)
                objects->keyboard = pieces.keyboard(globals, objects->seat);
            if (pieces.windows)
                objects->windows = pieces.windows(globals, objects->seat);
            if (auto* manager = globals.bind<zwlr_data_control_manager_v1>(zwlr_data_control_manager_v1_interface,
                                                                           dataControlVersion))
                objects->clipboard = std::make_unique<WlrClipboard>(thread.display(), manager, objects->seat);
        }
    }
    if (objects->windows) {
        objects->windows->onChange = [this, windows = objects->windows.get()] {
            Focus focus;
            focus.window = windows->focused();
            // "org.kde.konsole" is also known as "konsole".
            if (const WaylandWindows::Window* window = windows->find(focus.window))
                focus.windowClass = QStringList{window->appId.section(u'.', -1), window->appId};
            noteFocus(focus);
        };
    }
    objects_ = std::move(objects);
    thread.roundtrip(roundtripTimeoutMs);
}

void WlrRoute::noteFocus(const Focus& focus)
{
    const std::lock_guard guard(focusMutex_);
    focus_ = focus;
}

ActiveWindow::WindowId WlrRoute::focusedWindow()
{
    const std::lock_guard guard(focusMutex_);
    return thread_.isConnected() ? focus_.window : 0;
}

QStringList WlrRoute::focusedWindowClass()
{
    const std::lock_guard guard(focusMutex_);
    return focus_.windowClass;
}

bool WlrRoute::activate(ActiveWindow::WindowId window)
{
    auto activated = std::make_shared<bool>(false);
    const bool answered = thread_.run(
        [this, activated, window] { *activated = objects_->windows && objects_->windows->activate(window); },
        activationTimeoutMs);
    return answered && *activated;
}

WaylandRoute::Keystroke WlrRoute::postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers,
                                          const QString& pasted)
{
    auto result = std::make_shared<Keystroke>(Keystroke::failed);
    const bool answered = thread_.run(
        [this, result, target, key, modifiers, pasted] {
            // The focus as the compositor has it now, not as it was when the caller asked.
            if (!thread_.roundtrip(roundtripTimeoutMs))
                return;
            const ActiveWindow::WindowId focused = objects_->windows ? objects_->windows->focused() : 0;
            if (target != 0 && focused != target) {
                *result = Keystroke::targetLeft;
                return;
            }
            if (!pasted.isEmpty()) {
                // Without data-control, Ctrl+V would paste whatever the seat's clipboard held before.
                if (!objects_->clipboard) {
                    *result = Keystroke::clipboardNotOurs;
                    return;
                }
                objects_->clipboard->offer(pasted);
            }
            if (!objects_->keyboard || thread_.abandoned())
                return;
            if (objects_->keyboard->post(key, modifiers, pressDurationMs))
                *result = Keystroke::posted;
        },
        clipboardTimeoutMs);
    return answered ? *result : Keystroke::failed;
}

void WlrRoute::shareClipboard(const QString& text)
{
    thread_.post([this, text] {
        if (objects_->clipboard)
            objects_->clipboard->offer(text);
    });
}

std::optional<QString> WlrRoute::clipboardText()
{
    return readSelection(false);
}

std::optional<QString> WlrRoute::readSelection(bool primary)
{
    auto text = std::make_shared<std::optional<QString>>();
    const bool answered = thread_.run(
        [this, text, primary] {
            WlrClipboard* clipboard = objects_->clipboard.get();
            if (clipboard && thread_.roundtrip(roundtripTimeoutMs))
                *text = primary ? clipboard->selectedText(readTimeoutMs) : clipboard->clipboardText(readTimeoutMs);
        },
        clipboardTimeoutMs);
    return answered ? *text : std::nullopt;
}

bool WlrRoute::restoreClipboard(const QString& inserted, const QString& previous)
{
    auto restored = std::make_shared<bool>(false);
    const bool answered = thread_.run(
        [this, restored, inserted, previous] {
            WlrClipboard* clipboard = objects_->clipboard.get();
            if (!clipboard || !thread_.roundtrip(roundtripTimeoutMs) || !clipboard->holdsOffer() ||
                clipboard->offered() != inserted || thread_.abandoned())
                return;
            clipboard->offer(previous);
            wl_display_flush(thread_.display());
            *restored = true;
        },
        clipboardTimeoutMs);
    return answered && *restored;
}

std::optional<QString> WlrRoute::selectedText()
{
    return readSelection(true);
}

QString WlrRoute::clipboardToKeep()
{
    auto text = std::make_shared<QString>();
    const bool answered = thread_.run(
        [this, text] {
            WlrClipboard* clipboard = objects_->clipboard.get();
            if (clipboard && thread_.roundtrip(roundtripTimeoutMs) && clipboard->holdsOffer())
                *text = clipboard->offered();
        },
        clipboardTimeoutMs);
    return answered ? *text : QString();
}
