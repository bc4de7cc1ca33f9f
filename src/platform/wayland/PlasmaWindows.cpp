#include "platform/wayland/PlasmaWindows.h"

#include "plasma-window-management-client-protocol.h"

namespace
{

// For the events that tell nothing we need.
template <typename... Arguments> void ignore(void*, Arguments...) {}

} // namespace

PlasmaWindows::PlasmaWindows(org_kde_plasma_window_management* manager) : manager_(manager)
{
    static const org_kde_plasma_window_management_listener listener{
        .show_desktop_changed = ignore<org_kde_plasma_window_management*, uint32_t>,
        // The same window again, by a number of the older versions.
        .window = ignore<org_kde_plasma_window_management*, uint32_t>,
        .stacking_order_changed = ignore<org_kde_plasma_window_management*, wl_array*>,
        .stacking_order_uuid_changed = ignore<org_kde_plasma_window_management*, const char*>,
        .window_with_uuid = added,
    };
    org_kde_plasma_window_management_add_listener(manager_, &listener, this);
}

PlasmaWindows::~PlasmaWindows()
{
    for (const auto& [id, entry] : entries_)
        org_kde_plasma_window_destroy(entry->handle);
    org_kde_plasma_window_management_destroy(manager_);
}

void PlasmaWindows::added(void* data, org_kde_plasma_window_management* manager, uint32_t, const char* uuid)
{
    using Handle = org_kde_plasma_window*;
    static const org_kde_plasma_window_listener listener{
        .title_changed =
            [](void* data, Handle, const char* title) {
                static_cast<Entry*>(data)->window.title = QString::fromUtf8(title);
                static_cast<Entry*>(data)->owner->changed();
            },
        .app_id_changed =
            [](void* data, Handle, const char* appId) {
                static_cast<Entry*>(data)->window.appId = QString::fromUtf8(appId);
                static_cast<Entry*>(data)->owner->changed();
            },
        .state_changed =
            [](void* data, Handle, uint32_t flags) {
                static_cast<Entry*>(data)->window.activated =
                    (flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE) != 0;
                static_cast<Entry*>(data)->owner->changed();
            },
        .virtual_desktop_changed = ignore<Handle, int32_t>,
        .themed_icon_name_changed = ignore<Handle, const char*>,
        .unmapped =
            [](void* data, Handle) {
                auto* entry = static_cast<Entry*>(data);
                PlasmaWindows* owner = entry->owner;
                owner->remove(entry);
                owner->changed();
            },
        .initial_state = ignore<Handle>,
        .parent_window = ignore<Handle, Handle>,
        .geometry = ignore<Handle, int32_t, int32_t, uint32_t, uint32_t>,
        .icon_changed = ignore<Handle>,
        .pid_changed = ignore<Handle, uint32_t>,
        .virtual_desktop_entered = ignore<Handle, const char*>,
        .virtual_desktop_left = ignore<Handle, const char*>,
        .application_menu = ignore<Handle, const char*, const char*>,
        .activity_entered = ignore<Handle, const char*>,
        .activity_left = ignore<Handle, const char*>,
        .resource_name_changed = ignore<Handle, const char*>,
    };
    auto* self = static_cast<PlasmaWindows*>(data);
    const ActiveWindow::WindowId id = self->nextId_++;
    auto entry = std::make_unique<Entry>(
        Entry{self, id, org_kde_plasma_window_management_get_window_by_uuid(manager, uuid), {}});
    org_kde_plasma_window_add_listener(entry->handle, &listener, entry.get());
    self->entries_.emplace(id, std::move(entry));
}

void PlasmaWindows::changed()
{
    if (onChange)
        onChange();
}

void PlasmaWindows::remove(Entry* entry)
{
    org_kde_plasma_window_destroy(entry->handle);
    entries_.erase(entry->id);
}

ActiveWindow::WindowId PlasmaWindows::focused() const
{
    return focusedIn(entries_);
}

const WaylandWindows::Window* PlasmaWindows::find(ActiveWindow::WindowId window) const
{
    const Entry* entry = entryIn(entries_, window);
    return entry ? &entry->window : nullptr;
}

bool PlasmaWindows::activate(ActiveWindow::WindowId window)
{
    const Entry* entry = entryIn(entries_, window);
    if (!entry)
        return false;
    org_kde_plasma_window_set_state(entry->handle, ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE,
                                    ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
    return true;
}
