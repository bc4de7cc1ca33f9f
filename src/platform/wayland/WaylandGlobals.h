#pragma once

#include <QStringList>

#include <cstdint>
#include <map>
#include <string>

class WaylandThread;
struct wl_display;
struct wl_interface;
struct wl_registry;

// The globals the compositor offers this connection, asked for once, for binding the ones a route needs. Lives on
// the WaylandThread's thread for the time of its setUp.
class WaylandGlobals
{
public:
    // Waits for the compositor's list at most timeoutMs.
    WaylandGlobals(WaylandThread& thread, int timeoutMs);
    ~WaylandGlobals();
    WaylandGlobals(const WaylandGlobals&) = delete;
    WaylandGlobals& operator=(const WaylandGlobals&) = delete;

    wl_display* display() const { return display_; }
    // Whether the compositor's whole list came within the wait.
    bool isComplete() const { return complete_; }
    // The interfaces it offers, each once.
    QStringList interfaceNames() const;
    // The first global of the interface, bound at its version but at most maxVersion; nullptr when the compositor
    // does not offer it, or only below minVersion.
    template <typename Proxy> Proxy* bind(const wl_interface& interface, uint32_t maxVersion, uint32_t minVersion = 1)
    {
        return static_cast<Proxy*>(bindGlobal(interface, maxVersion, minVersion));
    }

private:
    struct Global
    {
        uint32_t name;
        uint32_t version;
    };
    void* bindGlobal(const wl_interface& interface, uint32_t maxVersion, uint32_t minVersion);

    wl_display* display_;
    wl_registry* registry_;
    std::map<std::string, Global> globals_;
    bool complete_ = false;
};
