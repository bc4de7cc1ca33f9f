#include "DesktopRig.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>

namespace DesktopRig
{

void syncWithXServer()
{
    if (const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        XSync(x11->display(), False);
}

} // namespace DesktopRig
