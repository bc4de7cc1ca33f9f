#include "platform/wayland/WlrToplevels.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace
{

void noOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void noParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

} // namespace

const zwlr_foreign_toplevel_handle_v1_listener WlrToplevels::handleListener{
    .title = [](void* data, zwlr_foreign_toplevel_handle_v1*,
                const char* title) { static_cast<Entry*>(data)->pending.title = QString::fromUtf8(title); },
    .app_id = [](void* data, zwlr_foreign_toplevel_handle_v1*,
                 const char* appId) { static_cast<Entry*>(data)->pending.appId = QString::fromUtf8(appId); },
    .output_enter = noOutput,
    .output_leave = noOutput,
    .state =
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
            bool activated = false;
            const auto* state = static_cast<const uint32_t*>(states->data);
            for (size_t index = 0; index < states->size / sizeof(uint32_t); ++index)
                activated = activated || state[index] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
            static_cast<Entry*>(data)->pending.activated = activated;
        },
    .done =
        [](void* data, zwlr_foreign_toplevel_handle_v1*) {
            auto* entry = static_cast<Entry*>(data);
            entry->window = entry->pending;
            if (const auto& changed = static_cast<Entry*>(data)->owner->onChange)
                changed();
        },
    .closed =
        [](void* data, zwlr_foreign_toplevel_handle_v1*) {
            auto* entry = static_cast<Entry*>(data);
            WlrToplevels* owner = entry->owner;
            owner->remove(entry);
            if (owner->onChange)
                owner->onChange();
        },
    .parent = noParent,
};

WlrToplevels::WlrToplevels(zwlr_foreign_toplevel_manager_v1* manager, wl_seat* seat) : manager_(manager), seat_(seat)
{
    static const zwlr_foreign_toplevel_manager_v1_listener listener{.toplevel = added, .finished = finished};
    zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &listener, this);
}

WlrToplevels::~WlrToplevels()
{
    for (const auto& [id, entry] : entries_)
        zwlr_foreign_toplevel_handle_v1_destroy(entry->handle);
    if (manager_)
        zwlr_foreign_toplevel_manager_v1_destroy(manager_);
}

void WlrToplevels::added(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<WlrToplevels*>(data);
    const ActiveWindow::WindowId id = self->nextId_++;
    auto entry = std::make_unique<Entry>(Entry{self, id, handle, {}, {}});
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, entry.get());
    self->entries_.emplace(id, std::move(entry));
}

void WlrToplevels::finished(void* data, zwlr_foreign_toplevel_manager_v1* manager)
{
    auto* self = static_cast<WlrToplevels*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    self->manager_ = nullptr;
}

void WlrToplevels::remove(Entry* entry)
{
    zwlr_foreign_toplevel_handle_v1_destroy(entry->handle);
    entries_.erase(entry->id);
}

ActiveWindow::WindowId WlrToplevels::focused() const
{
    return focusedIn(entries_);
}

const WaylandWindows::Window* WlrToplevels::find(ActiveWindow::WindowId window) const
{
    const Entry* entry = entryIn(entries_, window);
    return entry ? &entry->window : nullptr;
}

bool WlrToplevels::activate(ActiveWindow::WindowId window)
{
    const Entry* entry = entryIn(entries_, window);
    if (!entry)
        return false;
    zwlr_foreign_toplevel_handle_v1_activate(entry->handle, seat_);
    return true;
}
