#include "platform/x11/X11ActiveWindow.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ErrorTrap.h"

#include <QByteArray>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace
{

// "A request from a pager or taskbar": window managers honour it even for a window that did not ask.
constexpr long sourceIndicationPager = 2;
// In 32-bit units: a title of 1 KB, a list of 1024 windows.
constexpr long maximumTitleLength = 256;
constexpr long maximumWindows = 1024;
constexpr long maximumWindowTypes = 16;

// Window managers may leave _NET_ACTIVE_WINDOW naming a window that has since been closed or hidden: keys sent
// then would go nowhere while counting as pasted.
bool isShown(Display* display, ActiveWindow::WindowId window)
{
    if (window == 0)
        return false;
    X11ErrorTrap trap(display);
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, static_cast<Window>(window), &attributes) && trap.takeError() == 0 &&
           attributes.map_state == IsViewable;
}

// A property of `count` items at most; empty when absent or of another type.
QByteArray property(Display* display, Window window, const char* name, Atom type, long count)
{
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, count, False, type,
                                          &actualType, &format, &items, &remaining, &data);
    QByteArray value;
    if (status == Success && actualType == type && data)
        value = QByteArray(reinterpret_cast<const char*>(data),
                           static_cast<qsizetype>(items) * (format == 32 ? sizeof(long) : format / 8));
    if (data)
        XFree(data);
    return value;
}

// Panels, docks and the desktop itself are no program's window.
bool isPartOfTheDesktop(Display* display, Window window)
{
    const QByteArray types = property(display, window, "_NET_WM_WINDOW_TYPE", XA_ATOM, maximumWindowTypes);
    const auto* type = reinterpret_cast<const Atom*>(types.constData());
    for (qsizetype index = 0; index < types.size() / qsizetype(sizeof(Atom)); ++index) {
        if (type[index] == XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False) ||
            type[index] == XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", False))
            return true;
    }
    return false;
}

QString titleOf(Display* display, Window window)
{
    const QByteArray name =
        property(display, window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False), maximumTitleLength);
    return name.isEmpty() ? QString::fromLocal8Bit(property(display, window, "WM_NAME", XA_STRING, maximumTitleLength))
                          : QString::fromUtf8(name);
}

} // namespace

namespace X11ActiveWindow
{

ActiveWindow::WindowId current()
{
    const X11Connection::Connection display = X11Connection::open();
    if (!display)
        return 0;
    X11ErrorTrap trap(display.get());
    const Atom property = XInternAtom(display.get(), "_NET_ACTIVE_WINDOW", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display.get(), DefaultRootWindow(display.get()), property, 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &remaining, &data);
    ActiveWindow::WindowId window = 0;
    if (status == Success && type == XA_WINDOW && format == 32 && count == 1 && data)
        window = static_cast<ActiveWindow::WindowId>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return isShown(display.get(), window) ? window : 0;
}

bool activate(ActiveWindow::WindowId window)
{
    if (window == 0)
        return false;
    const X11Connection::Connection display = X11Connection::open();
    if (!display)
        return false;
    X11ErrorTrap trap(display.get());
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display.get(), static_cast<Window>(window), &attributes) || trap.takeError() != 0)
        return false;

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.serial = 0;
    event.xclient.send_event = True;
    event.xclient.display = display.get();
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = XInternAtom(display.get(), "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = sourceIndicationPager;
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = 0;
    XSendEvent(display.get(), DefaultRootWindow(display.get()), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display.get());
    return trap.takeError() == 0;
}

std::vector<ActiveWindow::OpenWindow> openWindows()
{
    const X11Connection::Connection display = X11Connection::open();
    if (!display)
        return {};
    Display* d = display.get();
    X11ErrorTrap trap(d);
    const QByteArray list = property(d, DefaultRootWindow(d), "_NET_CLIENT_LIST", XA_WINDOW, maximumWindows);
    const auto* windows = reinterpret_cast<const unsigned long*>(list.constData());
    std::vector<ActiveWindow::OpenWindow> open;
    for (qsizetype index = 0; index < list.size() / qsizetype(sizeof(unsigned long)); ++index) {
        XClassHint hint{};
        if (isPartOfTheDesktop(d, windows[index]) || !XGetClassHint(d, windows[index], &hint))
            continue;
        open.push_back({windows[index],
                        {QString::fromLocal8Bit(hint.res_name), QString::fromLocal8Bit(hint.res_class)},
                        titleOf(d, windows[index])});
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return open;
}

} // namespace X11ActiveWindow
