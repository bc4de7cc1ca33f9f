#include "platform/WlrRoute.h"

#include "core/Log.h"
#include "platform/DisplayLoss.h"
#include "platform/WlrClipboard.h"
#include "platform/WlrKeyboard.h"
#include "platform/WlrToplevels.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <wayland-client.h>

namespace
{

constexpr int pressDurationMs = 25;
constexpr uint32_t toplevelVersion = 3;
constexpr uint32_t dataControlVersion = 2;
// A window brought to the front later than this would take the focus from wherever the user has gone since.
constexpr int activationTimeoutMs = 300;
constexpr int roundtripTimeoutMs = 500;
constexpr int readTimeoutMs = 500;
constexpr int clipboardTimeoutMs = 1000;

} // namespace

struct WlrRoute::Objects
{
    wl_seat* seat = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
    zwlr_foreign_toplevel_manager_v1* toplevelManager = nullptr;
    zwlr_data_control_manager_v1* clipboardManager = nullptr;
    std::unique_ptr<WlrKeyboard> keyboard;
    std::unique_ptr<WlrToplevels> toplevels;
    std::unique_ptr<WlrClipboard> clipboard;

    ~Objects()
    {
        keyboard.reset();
        toplevels.reset();
        clipboard.reset();
        if (keyboards)
            zwp_virtual_keyboard_manager_v1_destroy(keyboards);
        if (seat)
            wl_seat_destroy(seat);
    }
};

WlrRoute::WlrRoute()
    : thread_(WaylandThread::Hooks{
          .setUp = [this](WaylandThread& thread) { setUp(thread); },
          .tearDown = [this] { objects_.reset(); },
          .lost =
              [](int error) {
                  // A protocol error is ours: the route is gone, the app goes on without it.
                  if (error == EPROTO)
                      Log::info(QStringLiteral("Композитор Wayland разорвал связь — текст для его окон останется в "
                                               "буфере обмена"));
                  else
                      DisplayLoss::compositorGone();
              },
      })
{
    if (!thread_.isConnected())
        Log::info(QStringLiteral("Композитор Wayland не ответил — текст для его окон останется в буфере обмена"));
}

WlrRoute::~WlrRoute() = default;

WlrRoute& WlrRoute::shared()
{
    static WlrRoute route;
    return route;
}

void WlrRoute::setUp(WaylandThread& thread)
{
    auto objects = std::make_unique<Objects>();
    static const wl_registry_listener listener{
        .global =
            [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
                auto* found = static_cast<Objects*>(data);
                if (std::strcmp(interface, wl_seat_interface.name) == 0 && !found->seat)
                    found->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
                else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
                    found->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
                        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
                else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0)
                    found->toplevelManager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
                        wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                                         std::min(version, toplevelVersion)));
                else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
                    found->clipboardManager = static_cast<zwlr_data_control_manager_v1*>(
                        wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface,
                                         std::min(version, dataControlVersion)));
            },
        .global_remove = [](void*, wl_registry*, uint32_t) {},
    };
    wl_display* display = thread.display();
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, objects.get());
    thread.roundtrip(roundtripTimeoutMs);
    wl_registry_destroy(registry);
    if (objects->seat && objects->keyboards)
        objects->keyboard = std::make_unique<WlrKeyboard>(
            display, zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(objects->keyboards, objects->seat));
    if (objects->toplevelManager && objects->seat) {
        objects->toplevels = std::make_unique<WlrToplevels>(objects->toplevelManager, objects->seat);
        objects->toplevels->onChange = [this, toplevels = objects->toplevels.get()] {
            Focus focus;
            focus.window = toplevels->focused();
            // "org.kde.konsole" is also known as "konsole".
            if (const WlrToplevels::Toplevel* toplevel = toplevels->find(focus.window))
                focus.windowClass = QStringList{toplevel->appId, toplevel->appId.section(u'.', -1)};
            noteFocus(focus);
        };
    }
    if (objects->clipboardManager && objects->seat)
        objects->clipboard = std::make_unique<WlrClipboard>(display, objects->clipboardManager, objects->seat);
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
        [this, activated, window] { *activated = objects_->toplevels && objects_->toplevels->activate(window); },
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
            const ActiveWindow::WindowId focused = objects_->toplevels ? objects_->toplevels->focused() : 0;
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
