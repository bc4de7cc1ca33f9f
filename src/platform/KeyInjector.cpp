#include "platform/KeyInjector.h"

#include "platform/DesktopSession.h"
#include "platform/x11/X11ActiveWindow.h"
#include "platform/x11/X11KeyInjector.h"

namespace
{

// The Wayland route while a native window has the focus; nullptr while an X11 window has it, or where the
// compositor gave Tolvan no way to native windows.
WaylandRoute* nativeRoute()
{
    WaylandRoute& route = WaylandRoute::shared();
    return route.reachesNativeWindows() && X11ActiveWindow::current() == 0 ? &route : nullptr;
}

} // namespace

namespace KeyInjector
{

bool isAvailable()
{
    return WaylandRoute::shared().reachesNativeWindows() || X11KeyInjector::isAvailable();
}

bool waitForModifiersReleased(int timeoutMs)
{
    return X11KeyInjector::waitForModifiersReleased(timeoutMs);
}

Keystroke postKey(ActiveWindow::WindowId target, Keys::Keysym key, Keys::Modifiers modifiers, const QString& pasted)
{
    if (WaylandRoute* route = nativeRoute())
        return route->postKey(target, key, modifiers, pasted);
    if (target != 0 && X11ActiveWindow::current() != target)
        return Keystroke::targetLeft;
    return X11KeyInjector::postKey(key, modifiers) ? Keystroke::posted : Keystroke::failed;
}

bool waitsForPastedText()
{
    WaylandRoute* route = nativeRoute();
    return route && route->waitsForPastedText();
}

QStringList focusedWindowClass()
{
    if (WaylandRoute* route = nativeRoute())
        return route->focusedWindowClass();
    return X11KeyInjector::focusedWindowClass();
}

QStringList focusedProgram()
{
    if (WaylandRoute* route = nativeRoute())
        return route->focusedProgram();
    return X11KeyInjector::focusedWindowClass();
}

bool nativeWindowFocused()
{
    // Tolvan's own windows are X11 windows: while none of X11's is active in a Wayland session, a native one is.
    return DesktopSession::isWayland() && X11ActiveWindow::current() == 0;
}

} // namespace KeyInjector
