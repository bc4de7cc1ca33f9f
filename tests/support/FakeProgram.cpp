#include "support/FakeProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace
{

std::atomic<int> counted{0};

void count(int)
{
    ++counted;
}

} // namespace

QString FakeProgram::text(const char* variable, const QString& fallback) const
{
    return qEnvironmentVariable((prefix_ + variable).constData(), fallback);
}

int FakeProgram::number(const char* variable, int fallback) const
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue((prefix_ + variable).constData(), &ok);
    return ok ? value : fallback;
}

void FakeProgram::record(const QString& file, const QByteArray& content, bool append) const
{
    const QString directory = text("RECORD_DIR");
    if (directory.isEmpty())
        return;
    QDir().mkpath(directory);
    QFile out(directory + QLatin1Char('/') + file);
    if (out.open(append ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly))
        out.write(content);
}

void FakeProgram::recordArguments(const QStringList& arguments) const
{
    record(QStringLiteral("args.txt"), arguments.mid(1).join(QLatin1Char('\n')).toUtf8());
}

std::optional<QHash<QString, QString>> FakeProgram::parseFlags(const QStringList& arguments,
                                                               const QHash<QString, int>& arity, const char* complaint)
{
    QHash<QString, QString> values;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& flag = arguments.at(index);
        const int count = arity.value(flag, -1);
        if (count < 0 || index + count >= arguments.size()) {
            std::fprintf(stderr, "%s: %s\n", complaint, qPrintable(flag));
            return std::nullopt;
        }
        values.insert(flag, arguments.mid(index + 1, count).join(QLatin1Char(' ')));
        index += count;
    }
    return values;
}

void FakeProgram::countTerminations()
{
    std::signal(SIGTERM, count);
    std::signal(SIGINT, count);
}

int FakeProgram::terminations()
{
    return counted;
}

void FakeProgram::whileRunning(int pollMs, const std::function<void()>& onTermination) const
{
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, poll, [onTermination] {
        if (counted > 0)
            onTermination();
    });
    poll->start(pollMs);
    const int exitAfter = number("EXIT_AFTER_MS", -1);
    if (exitAfter >= 0)
        QTimer::singleShot(exitAfter, QCoreApplication::instance(),
                           [code = number("EXIT_CODE")] { QCoreApplication::exit(code); });
}
