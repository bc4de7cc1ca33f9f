#include "app/Application.h"

#include "app/AppDelegate.h"
#include "app/InstanceLink.h"
#include "app/MessageBoxAlertPresenter.h"
#include "core/AlertPresenter.h"
#include "core/Log.h"
#include "dictation/PhraseReview.h"
#include "platform/DisplayLoss.h"
#include "platform/X11Display.h"
#include "ui/SpeechReview.h"

#include <QApplication>

namespace
{

// Qt aborts the process when it cannot reach a display, so the session is checked first. A platform
// chosen explicitly (offscreen, wayland) is trusted.
bool graphicalSessionReachable()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")))
        return true;
    return X11Display::isReachable();
}

// Without its lock a second copy would run beside the first and end the first one's recognizer.
void refuseWithoutLock()
{
    const QString text =
        QStringLiteral("Толван не может проверить, не запущен ли он уже: нет личной папки для файла блокировки "
                       "(%1). Папка должна принадлежать вам и быть закрытой для других пользователей.")
            .arg(InstanceLink::lockFolder());
    Log::info(QStringLiteral("Запуск отменён: ") + text);
    AlertPresenter::shared().present(Alert{QStringLiteral("Толван не запущен"), text, {QStringLiteral("Понятно")}});
}

} // namespace

namespace Application
{

int run(int& argc, char** argv)
{
    if (!graphicalSessionReachable()) {
        const QString display = qEnvironmentVariable("DISPLAY");
        Log::info(QStringLiteral("Толвану нужен графический сеанс: не удалось подключиться к дисплею X11 (DISPLAY=%1)")
                      .arg(display.isEmpty() ? QStringLiteral("не задан") : display));
        return 1;
    }
    // Global keys, pasting and a background program's clipboard work only through X11 (XWayland in a Wayland
    // session); Qt would pick its Wayland plugin there where one is installed. Programs started later get the
    // environment as it was.
    const bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (!platformChosen)
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    if (!platformChosen)
        qunsetenv("QT_QPA_PLATFORM");
    MessageBoxAlertPresenter alertPresenter;
    AlertPresenter::setShared(&alertPresenter);
    PhraseReview::setShared(&SpeechReview::shared());
    QApplication::setApplicationName(QStringLiteral("Tolvan"));
    QApplication::setApplicationDisplayName(QStringLiteral("Толван"));
    QApplication::setQuitOnLastWindowClosed(false);

    // One tray icon and one key grabber per user: a second start hands over to the first.
    InstanceServer instance;
    switch (instance.claim()) {
    case InstanceServer::Claim::otherShown:
        Log::info(QStringLiteral("Толван уже запущен — открываю его настройки"));
        return 0;
    case InstanceServer::Claim::otherSilent:
        Log::info(QStringLiteral("Толван уже запущен, но не отвечает — второй не запускаю"));
        return 1;
    case InstanceServer::Claim::noLock:
        refuseWithoutLock();
        return 1;
    case InstanceServer::Claim::listening:
    case InstanceServer::Claim::unreachable:
        break;
    }
    AppDelegate delegate;
    instance.onCommand = [&delegate](RemoteCommand::Kind command) { delegate.handleCommand(command); };
    QObject::connect(&application, &QApplication::aboutToQuit, &delegate, &AppDelegate::prepareToQuit);
    DisplayLoss::setLastStep([&delegate] { delegate.displayLost(); });
    delegate.start();
    QApplication::exec();
    return 0;
}

} // namespace Application
