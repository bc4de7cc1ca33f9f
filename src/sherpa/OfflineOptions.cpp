#include "OfflineOptions.h"

#include <QStringList>

#include <map>

std::optional<OfflineOptions> OfflineOptions::parse(const QStringList& arguments, QString& problem)
{
    OfflineOptions options;
    std::map<QString, QString*> paths{{QStringLiteral("encoder"), &options.encoder},
                                      {QStringLiteral("decoder"), &options.decoder},
                                      {QStringLiteral("joiner"), &options.joiner},
                                      {QStringLiteral("tokens"), &options.tokens},
                                      {QStringLiteral("model-type"), &options.modelType}};
    QStringList waves;
    QString threads = QStringLiteral("1");
    for (const QString& argument : arguments) {
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument == QLatin1String("--serve")) {
            options.serve = true;
            continue;
        }
        if (!argument.startsWith(QLatin1String("--"))) {
            waves.append(argument);
            continue;
        }
        const QString key = argument.mid(2, equals - 2);
        const QString value = argument.mid(equals + 1);
        if (equals < 0) {
            problem = QStringLiteral("параметр без значения (нужно --ключ=значение): ") + argument;
            return std::nullopt;
        }
        if (const auto path = paths.find(key); path != paths.end())
            *path->second = value;
        else if (key == QLatin1String("num-threads"))
            threads = value;
        else if (key == QLatin1String("debug"))
            options.debug = value == QLatin1String("1") || value == QLatin1String("true");
        else {
            problem = QStringLiteral("неизвестный параметр: ") + argument;
            return std::nullopt;
        }
    }
    bool number = false;
    options.threads = threads.toInt(&number);
    if (!number || options.threads < 1) {
        problem = QStringLiteral("число потоков должно быть положительным: ") + threads;
        return std::nullopt;
    }
    if (options.serve != waves.isEmpty()) {
        problem = options.serve ? QStringLiteral("с --serve записи приходят на стандартный ввод, не в параметрах")
                                : QStringLiteral("нужен ровно один WAV-файл, дано: %1").arg(waves.size());
        return std::nullopt;
    }
    if (waves.size() > 1) {
        problem = QStringLiteral("нужен ровно один WAV-файл, дано: %1").arg(waves.size());
        return std::nullopt;
    }
    options.wav = waves.value(0);
    return options;
}
