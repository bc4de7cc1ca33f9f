#include "app/AppDelegate.h"

#include "BuildInfo.h"
#include "app/Log.h"
#include "app/StatusIcon.h"
#include "platform/SignalWatcher.h"

#include <QApplication>
#include <QSystemTrayIcon>

#include <csignal>

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    Log::info(QStringLiteral("Запуск «Толван» ") + QLatin1String(BuildInfo::shortVersion));

    statusItem_ = std::make_unique<QSystemTrayIcon>(StatusIcon::idle());
    statusItem_->setToolTip(QStringLiteral("Толван — локальная диктовка"));
    connect(&menu_, &QMenu::aboutToShow, this, &AppDelegate::menuNeedsUpdate);
    menuNeedsUpdate();
    statusItem_->setContextMenu(&menu_);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        Log::info(QStringLiteral("Системный трей недоступен: значок появится, когда запустится панель с треем"));
    statusItem_->show();

    sigtermSource_ = std::make_unique<SignalWatcher>(std::initializer_list<int>{SIGTERM, SIGINT});
    sigtermSource_->onSignal = [](int) { QApplication::quit(); };
}

void AppDelegate::applicationWillTerminate()
{
    Log::info(QStringLiteral("Завершение работы"));
    if (statusItem_)
        statusItem_->hide();
}

void AppDelegate::menuNeedsUpdate()
{
    menu_.clear();
    QAction* quit = menu_.addAction(QStringLiteral("Выйти"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
}
