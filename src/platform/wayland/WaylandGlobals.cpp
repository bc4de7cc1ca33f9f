#include "platform/wayland/WaylandGlobals.h"

#include "platform/wayland/WaylandThread.h"

#include <algorithm>
#include <wayland-client.h>

WaylandGlobals::WaylandGlobals(WaylandThread& thread, int timeoutMs)
    : display_(thread.display()), registry_(wl_display_get_registry(display_))
{
    static const wl_registry_listener listener{
        .global =
            [](void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
                static_cast<WaylandGlobals*>(data)->globals_.emplace(interface, Global{name, version});
            },
        .global_remove = [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry_, &listener, this);
    complete_ = thread.roundtrip(timeoutMs);
}

WaylandGlobals::~WaylandGlobals()
{
    wl_registry_destroy(registry_);
}

QStringList WaylandGlobals::interfaceNames() const
{
    QStringList names;
    for (const auto& [name, global] : globals_)
        names.append(QString::fromStdString(name));
    return names;
}

void* WaylandGlobals::bindGlobal(const wl_interface& interface, uint32_t maxVersion, uint32_t minVersion)
{
    const auto found = globals_.find(interface.name);
    if (found == globals_.end() || found->second.version < minVersion)
        return nullptr;
    return wl_registry_bind(registry_, found->second.name, &interface, std::min(found->second.version, maxVersion));
}
