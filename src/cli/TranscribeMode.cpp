#include "cli/TranscribeMode.h"

#include "children/ChildProcess.h"
#include "core/Console.h"
#include "dictation/EngineRouter.h"
#include "dictation/FileRecognition.h"
#include "engines/ModelManager.h"
#include "platform/SignalWatcher.h"

#include <QEventLoop>

#include <csignal>
#include <optional>

namespace
{

constexpr int interruptedStatus = 130;

void printProgress(std::size_t recognized, std::size_t total)
{
    const int percent = total == 0 ? 100 : int(recognized * 100 / total);
    Console::printError(
        QStringLiteral("Распознано %1 % (%2 из %3)")
            .arg(QString::number(percent), FileRecognition::clock(recognized), FileRecognition::clock(total)));
}

} // namespace

namespace TranscribeMode
{

int run(const QStringList& arguments)
{
    // Unlike the app, a command does not start the model's download.
    if (!ModelManager::isDownloaded(EngineRouter::activeModel())) {
        Console::printError(QStringLiteral("Модель распознавания не загружена: загрузите её в настройках Толвана"));
        return 1;
    }
    EngineRouter engines;
    FileRecognition recognition(engines);
    recognition.onProgress = printProgress;
    std::optional<int> status;
    QEventLoop loop;
    const auto finish = [&](int code) {
        status = code;
        loop.quit();
    };
    SignalWatcher interrupts({SIGINT, SIGTERM});
    interrupts.onSignal = [&](int) {
        recognition.cancel();
        Console::printError(QStringLiteral("Распознавание прервано"));
        finish(interruptedStatus);
    };
    recognition.start(arguments.at(2), [&](const Result<QString>& text) {
        if (!text) {
            const QString message = text.error().description();
            Console::printError(message.left(1).toUpper() + message.mid(1));
            finish(1);
            return;
        }
        if (text.value().isEmpty())
            Console::printError(QStringLiteral("Речь в файле не распознана"));
        else
            Console::print(text.value());
        finish(0);
    });
    if (!status)
        loop.exec();
    recognition.cancel();
    engines.whisperServer().stop();
    ChildProcess::finishEnding();
    return *status;
}

} // namespace TranscribeMode
