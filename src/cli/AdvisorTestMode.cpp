#include "cli/AdvisorTestMode.h"

#include "children/ChildProcess.h"
#include "core/Console.h"
#include "core/Regex.h"
#include "quality/AdvisorEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace
{

constexpr qint64 defaultIntensity = 5;
constexpr int sliceMs = 100;

void runEventLoopSlice()
{
    QEventLoop loop;
    QTimer::singleShot(sliceMs, &loop, &QEventLoop::quit);
    loop.exec();
}

// A stopped server is handed to the application until it has gone; leaving at once would kill it
// before it could exit on its own.
void waitForStoppedServers()
{
    QDeadlineTimer deadline(ChildProcess::terminationGraceMs + 1000);
    const auto lingering = [] {
        return !QCoreApplication::instance()->findChildren<QProcess*>(Qt::FindDirectChildrenOnly).isEmpty();
    };
    while (lingering() && !deadline.hasExpired())
        runEventLoopSlice();
}

} // namespace

namespace AdvisorTestMode
{

qint64 intensityArgument(const QStringList& arguments)
{
    static const Regex signedDigits(QStringLiteral("[+\\-−]?[0-9]+"));
    if (arguments.size() < 4 || !signedDigits.matchesEntirely(arguments.at(3)))
        return defaultIntensity;
    QString number = arguments.at(3);
    number.replace(QChar(u'−'), QLatin1Char('-'));
    bool ok = false;
    const qint64 value = number.toLongLong(&ok);
    return ok ? value : defaultIntensity;
}

int run(const QStringList& arguments)
{
    const QString text = arguments.at(2);
    const QString style = arguments.size() > 4 ? arguments.at(4) : QStringLiteral("neutral");
    int status = 1;
    bool done = false;
    AdvisorEngine& engine = AdvisorEngine::shared();
    engine.suggest(text, style, intensityArgument(arguments), true,
                   [&status, &done](const Result<AdvisorEngine::Advice>& result) {
                       if (result) {
                           const AdvisorEngine::Advice& advice = result.value();
                           const QString score = advice.score ? QString::number(*advice.score) : QStringLiteral("?");
                           Console::print(QStringLiteral("ИИ-ОЦЕНКА: %1 из 5").arg(score));
                           Console::print(QStringLiteral("ТЕКСТ: ") + advice.text);
                           status = 0;
                       } else {
                           Console::print(QStringLiteral("ОШИБКА: ") + result.error().description());
                       }
                       done = true;
                   });
    while (!done)
        runEventLoopSlice();
    engine.shutdown();
    waitForStoppedServers();
    return status;
}

} // namespace AdvisorTestMode
