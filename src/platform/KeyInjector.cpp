#include "platform/KeyInjector.h"

#include "platform/WaylandRoute.h"
#include "platform/X11ActiveWindow.h"
#include "platform/X11KeyInjector.h"

namespace
{

// The Wayland route while a native window has the focus; nullptr while an X11 window has it, or without route.
WaylandRoute* nativeRoute()
{
    WaylandRoute* route = WaylandRoute::shared();
    return route && X11ActiveWindow::current() == 0 ? route : nullptr;
}

} // namespace

namespace KeyInjector
{

bool isAvailable()
{
    return WaylandRoute::shared() || X11KeyInjector::isAvailable();
}

bool waitForModifiersReleased(int timeoutMs)
{
    return X11KeyInjector::waitForModifiersReleased(timeoutMs);
}

bool postKey(Keys::Keysym key, Keys::Modifiers modifiers)
{
    if (WaylandRoute* route = nativeRoute())
        return route->postKey(key, modifiers);
    return X11KeyInjector::postKey(key, modifiers);
}

QStringList focusedWindowClass()
{
    if (WaylandRoute* route = nativeRoute())
        return route->focusedWindowClass();
    return X11KeyInjector::focusedWindowClass();
}

} // namespace KeyInjector
