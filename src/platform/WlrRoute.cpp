#include "platform/WlrRoute.h"

#include "core/Log.h"
#include "platform/OwnClipboard.h"
#include "platform/WlrClipboard.h"
#include "platform/WlrKeyboard.h"
#include "platform/WlrToplevels.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstring>
#include <wayland-client.h>

namespace
{

constexpr int pressDurationMs = 25;
constexpr uint32_t toplevelVersion = 3;

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
};

WlrRoute::WlrRoute() : objects_(std::make_shared<Objects>())
{
    bind();
    OwnClipboard::follow();
}

WlrRoute::~WlrRoute()
{
    thread_.run([objects = objects_] {
        objects->keyboard.reset();
        objects->toplevels.reset();
        objects->clipboard.reset();
        if (objects->keyboards)
            zwp_virtual_keyboard_manager_v1_destroy(objects->keyboards);
        if (objects->seat)
            wl_seat_destroy(objects->seat);
    });
}

WlrRoute& WlrRoute::shared()
{
    static WlrRoute route;
    return route;
}

void WlrRoute::bind()
{
    wl_display* display = thread_.display();
    const bool bound = thread_.run([objects = objects_, display] {
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
                            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
                },
            .global_remove = [](void*, wl_registry*, uint32_t) {},
        };
        wl_registry* registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &listener, objects.get());
        wl_display_roundtrip(display);
        wl_registry_destroy(registry);
        if (objects->seat && objects->keyboards)
            objects->keyboard = std::make_unique<WlrKeyboard>(
                display, zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(objects->keyboards, objects->seat));
        if (objects->toplevelManager && objects->seat)
            objects->toplevels = std::make_unique<WlrToplevels>(objects->toplevelManager, objects->seat);
        if (objects->clipboardManager && objects->seat)
            objects->clipboard = std::make_unique<WlrClipboard>(objects->clipboardManager, objects->seat);
        wl_display_roundtrip(display);
    });
    if (!bound)
        Log::info(QStringLiteral("Композитор Wayland не ответил — текст для его окон останется в буфере обмена"));
}

ActiveWindow::WindowId WlrRoute::focusedWindow()
{
    auto focused = std::make_shared<ActiveWindow::WindowId>(0);
    wl_display* display = thread_.display();
    const bool answered = thread_.run([objects = objects_, focused, display] {
        wl_display_roundtrip(display);
        if (objects->toplevels)
            *focused = objects->toplevels->focused();
    });
    return answered ? *focused : 0;
}

bool WlrRoute::activate(ActiveWindow::WindowId window)
{
    auto activated = std::make_shared<bool>(false);
    wl_display* display = thread_.display();
    const bool answered = thread_.run([objects = objects_, activated, display, window] {
        *activated = objects->toplevels && objects->toplevels->activate(window);
        wl_display_roundtrip(display);
    });
    return answered && *activated;
}

QStringList WlrRoute::focusedWindowClass()
{
    auto names = std::make_shared<QStringList>();
    wl_display* display = thread_.display();
    const bool answered = thread_.run([objects = objects_, names, display] {
        wl_display_roundtrip(display);
        if (!objects->toplevels)
            return;
        // "org.kde.konsole" is also known as "konsole".
        if (const WlrToplevels::Toplevel* toplevel = objects->toplevels->find(objects->toplevels->focused()))
            *names = QStringList{toplevel->appId, toplevel->appId.section(u'.', -1)};
    });
    return answered ? *names : QStringList();
}

bool WlrRoute::postKey(Keys::Keysym key, Keys::Modifiers modifiers)
{
    const QByteArray text =
        key == Keys::v && (modifiers & Keys::control) ? OwnClipboard::lastText().toUtf8() : QByteArray();
    auto posted = std::make_shared<bool>(false);
    const bool answered = thread_.run([objects = objects_, posted, key, modifiers, text] {
        if (!text.isEmpty() && objects->clipboard)
            objects->clipboard->offer(text);
        *posted = objects->keyboard && objects->keyboard->post(key, modifiers, pressDurationMs);
    });
    return answered && *posted;
}
