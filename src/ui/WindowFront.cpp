#include "ui/WindowFront.h"

#include "platform/ActiveWindow.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace
{

constexpr int windowManagerDelayMs = 100;

} // namespace

namespace WindowFront
{

void centerOnScreen(QWidget* window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

void bringToFront(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
    // A tray program's own request for the focus may be refused by the window manager; this one comes as
    // from a task bar, which window managers honour.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QPointer<QWidget> shown(window);
        QTimer::singleShot(windowManagerDelayMs, shown, [shown] { ActiveWindow::activate(shown->winId()); });
    }
}

} // namespace WindowFront
