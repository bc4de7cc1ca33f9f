#include "platform/ClipboardKeeper.h"

#include "platform/PrivateDirectory.h"
#include "platform/Processes.h"
#include "platform/wayland/WaylandGlobals.h"
#include "platform/wayland/WaylandThread.h"
#include "platform/wayland/WlrClipboard.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryFile>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <wayland-client.h>

namespace
{

constexpr uint32_t dataControlVersion = 2;

struct Bound
{
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
};

// Until the clipboard is replaced or the connection ends.
struct Keeping
{
    std::mutex mutex;
    std::condition_variable ended;
    bool over = false;
    bool started = false;

    void end()
    {
        const std::lock_guard guard(mutex);
        over = true;
        ended.notify_all();
    }
};

// The text handed over in the file, which is removed.
std::optional<QString> takeText(const QString& textFile)
{
    QFile file(textFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll());
    file.remove();
    return text;
}

} // namespace

namespace ClipboardKeeper
{

const char* flag(Side side)
{
    return side == Side::wayland ? "--keep-clipboard" : "--keep-x11-clipboard";
}

bool handOver(const QString& text, Side side)
{
    // The text waits in a folder only the user may enter.
    const QString folder = PrivateDirectory::socketFolder();
    QTemporaryFile file((folder.isEmpty() ? QDir::tempPath() : folder) + QStringLiteral("/tolvan-clipboard-XXXXXX"));
    file.setAutoRemove(false);
    // Readable by the user alone, like the text itself.
    if (!file.open() || file.write(text.toUtf8()) < 0 || !file.flush()) {
        file.remove();
        return false;
    }
    // It outlives us: it must not hold on to whatever our output goes to, nor to any descriptor of ours.
    if (Processes::startDetached(QCoreApplication::applicationFilePath(),
                                 {QString::fromLatin1(flag(side)), file.fileName()}))
        return true;
    file.remove();
    return false;
}

int keepUntilReplaced(const QString& textFile)
{
    const std::optional<QString> text = takeText(textFile);
    if (!text)
        return 1;
    Keeping keeping;
    std::unique_ptr<WlrClipboard> clipboard;
    Bound bound;
    const WaylandThread connection(WaylandThread::Hooks{
        .setUp =
            [&](WaylandThread& thread) {
                {
                    WaylandGlobals globals(thread, 1000);
                    bound.seat = globals.bind<wl_seat>(wl_seat_interface, 1);
                    bound.manager = globals.bind<zwlr_data_control_manager_v1>(zwlr_data_control_manager_v1_interface,
                                                                               dataControlVersion);
                }
                if (!bound.seat || !bound.manager)
                    return keeping.end();
                clipboard = std::make_unique<WlrClipboard>(thread.display(), bound.manager, bound.seat);
                clipboard->onReplaced = [&keeping] { keeping.end(); };
                clipboard->offer(*text);
                keeping.started = true;
            },
        .tearDown =
            [&] {
                clipboard.reset();
                if (bound.seat)
                    wl_seat_destroy(bound.seat);
            },
        .lost = [&keeping](int) { keeping.end(); },
    });
    if (!connection.isConnected())
        return 1;
    std::unique_lock lock(keeping.mutex);
    keeping.ended.wait(lock, [&] { return keeping.over; });
    return keeping.started ? 0 : 1;
}

int keepX11UntilReplaced(const QString& textFile)
{
    const std::optional<QString> text = takeText(textFile);
    if (!text)
        return 1;
    qputenv("QT_QPA_PLATFORM", "xcb");
    int argc = 1;
    char name[] = "tolvan";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(*text);
    if (!clipboard->ownsClipboard())
        return 1;
    QObject::connect(clipboard, &QClipboard::changed, &application, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard())
            QCoreApplication::quit();
    });
    // A lost X server ends the process through Qt.
    return application.exec();
}

} // namespace ClipboardKeeper
