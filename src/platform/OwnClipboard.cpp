#include "platform/OwnClipboard.h"

#include "core/MainThread.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include <mutex>

namespace
{

std::mutex lock;
QString last;
bool owned = false;

void noteChange(QClipboard* clipboard)
{
    const bool ours = clipboard->ownsClipboard();
    const QString text = ours ? clipboard->text() : QString();
    const std::lock_guard guard(lock);
    owned = ours;
    if (ours)
        last = text;
}

} // namespace

namespace OwnClipboard
{

void follow()
{
    static std::once_flag started;
    std::call_once(started, [] {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return;
        MainThread::post([] {
            QClipboard* clipboard = QGuiApplication::clipboard();
            QObject::connect(clipboard, &QClipboard::changed, clipboard, [clipboard](QClipboard::Mode mode) {
                if (mode == QClipboard::Clipboard)
                    noteChange(clipboard);
            });
        });
    });
}

QString lastText()
{
    const std::lock_guard guard(lock);
    return last;
}

QString textWhileOwned()
{
    const std::lock_guard guard(lock);
    return owned ? last : QString();
}

} // namespace OwnClipboard
