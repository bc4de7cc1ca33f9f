// The paste under headless mutter as a user has it: the app in the GNOME session, a native GTK text field with the
// focus, `tolvan --toggle`, speech, `tolvan --toggle`, and the time until the text is in the field. Twenty rounds
// (ROUNDS=N: N); prints the median and the largest, and where the time of each round went, read from the app's log.
// Run it under the rig: bench/gnome-paste.sh. The field is read every 10 ms at most: a figure may be 10 ms late.
#include "WaylandRig.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace
{

// ROUNDS=N in the environment for another count.
const int rounds = qEnvironmentVariableIntValue("ROUNDS") > 0 ? qEnvironmentVariableIntValue("ROUNDS") : 20;

// The steps of a paste as the app's log names them, in order.
const std::vector<std::pair<const char*, QString>> steps{
    {"command received", QStringLiteral("Запись остановлена")},
    {"text ready", QStringLiteral("Распознано")},
    {"keystroke under way", QStringLiteral("Отправляю нажатие клавиш")},
    {"session open", QStringLiteral("Сеанс удалённого управления GNOME открыт")},
    {"keys sent", QStringLiteral("Нажатие клавиш отправлено")},
};

// When each step's first line after `from` in the log was written.
std::map<QString, QDateTime> stepTimes(const QString& log)
{
    static const QRegularExpression line(QStringLiteral("^(\\S+Z) (.*)$"), QRegularExpression::MultilineOption);
    std::map<QString, QDateTime> times;
    for (auto match = line.globalMatch(log); match.hasNext();) {
        const QRegularExpressionMatch entry = match.next();
        for (const auto& [name, text] : steps) {
            if (entry.captured(2).startsWith(text) && !times.contains(text))
                times.emplace(text, QDateTime::fromString(entry.captured(1), Qt::ISODateWithMs));
        }
    }
    return times;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

TEST(GnomePaste, TwentyDictationsIntoANativeField)
{
    const Compositor mutter(QStringLiteral("mutter"));
    if (!mutter.isRunning())
        GTEST_SKIP() << "mutter cannot run here: " << mutter.problem();
    const auto field = mutter.nativeTextField();
    ASSERT_TRUE(field->isReady());
    const auto app = startApp(mutter.session());
    ASSERT_TRUE(app->waitUntilReady());

    std::vector<double> totals;
    std::vector<double> firstSamples;
    std::map<const char*, std::vector<double>> sinceStart;
    for (int round = 1; round <= rounds; ++round) {
        const qsizetype logStart = app->log().size();
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        ASSERT_TRUE(app->logShowsTimes(QStringLiteral("Запись начата"), round));
        static const QRegularExpression firstSample(QStringLiteral("первый звук записи — через (\\d+) мс"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return firstSample.match(app->log().mid(logStart)).hasMatch(); }, 5000));
        firstSamples.push_back(firstSample.match(app->log().mid(logStart)).captured(1).toDouble());
        RunningApp::say(phrase);
        const QDateTime started = QDateTime::currentDateTimeUtc();
        QElapsedTimer clock;
        clock.start();
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return field->text().count(expectedField) == round; }, 8000))
            << field->text().toStdString() << app->log().toStdString();
        const double total = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        totals.push_back(total);
        ASSERT_TRUE(app->waitUntilIdle());
        const std::map<QString, QDateTime> times = stepTimes(app->log().mid(logStart));

        std::printf("round %2d: first sample %3.0f ms; %6.1f ms to the text in the field;", round, firstSamples.back(),
                    total);
        for (const auto& [name, text] : steps) {
            if (!times.contains(text))
                continue;
            const auto at = static_cast<double>(started.msecsTo(times.at(text)));
            sinceStart[name].push_back(at);
            std::printf(" %s %.0f,", name, at);
        }
        std::printf("\n");
    }
    std::printf("\nfrom launching the finishing `tolvan --toggle` (ms; log steps to the millisecond):\n");
    for (const auto& [name, text] : steps) {
        if (sinceStart.contains(name))
            std::printf("  %-22s median %6.1f\n", name, median(sinceStart[name]));
    }
    std::printf("  %-22s median %6.1f, largest %6.1f (of %d)\n", "text in the field", median(totals),
                *std::max_element(totals.begin(), totals.end()), rounds);
    std::printf("\nfrom the start of a recording to its first sample (ms): median %.0f, largest %.0f\n",
                median(firstSamples), *std::max_element(firstSamples.begin(), firstSamples.end()));
}
