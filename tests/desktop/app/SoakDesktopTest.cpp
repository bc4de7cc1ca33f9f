#include "RunningApp.h"

#include <QDirIterator>

namespace
{

// Resident memory in kB and open descriptors of a process.
std::pair<qint64, int> footprint(qint64 pid)
{
    const QByteArray status = TestFiles::read(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("VmRSS:");
    const qint64 rss = status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').front().toLongLong();
    return {
        rss,
        int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size())};
}

// Recognizer processes whose parent is not the application: left without their owner.
int orphanedServers(qint64 appPid)
{
    int orphans = 0;
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString directory = processes.next();
        // This test's recognizers: they load the model from its models folder.
        if (!TestFiles::read(directory + QStringLiteral("/cmdline")).contains(Paths::modelsDir().toUtf8()))
            continue;
        const QByteArray stat = TestFiles::read(directory + QStringLiteral("/stat"));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        orphans += fields.size() > 1 && fields.at(0) != "Z" && fields.at(1).toLongLong() != appPid;
    }
    return orphans;
}

using SoakDesktopTest = DesktopTest;

} // namespace

// TOLVAN_TEST_SOAK_DICTATIONS sets the length (bench/soak.sh runs 300).
TEST_F(SoakDesktopTest, EveryDictationIsInsertedOrKeptWhateverTheRecognizerDoes)
{
    const int dictations = qEnvironmentVariableIntValue("TOLVAN_TEST_SOAK_DICTATIONS") > 0
                               ? qEnvironmentVariableIntValue("TOLVAN_TEST_SOAK_DICTATIONS")
                               : 30;
    const QString speech = TestEnvironment::makeDirectory(QStringLiteral("soak")) + QStringLiteral("/phrase.wav");
    ASSERT_EQ(
        DesktopSession::run(QStringLiteral("espeak-ng"), {"-v", "ru", "-s", "260", "-w", speech, "Проверка связи."}),
        0);

    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    QProcessEnvironment chaos;
    chaos.insert(QStringLiteral("FAKE_WHISPER_CHAOS"), QStringLiteral("7"));
    chaos.insert(QStringLiteral("TOLVAN_TEST_REQUEST_TIMEOUT_MS"), QStringLiteral("1200"));
    RunningApp app(chaos, {{SettingsKey::appendSpace, true}, {SettingsKey::recognizeWhileRecording, false}});
    ASSERT_TRUE(app.waitUntilReady());
    const qint64 pid = app.process().processId();

    const auto inserted = [&] { return int(field.text().count(QStringLiteral("Спасибо!"))); };
    const auto kept = [&] { return app.logCount(QStringLiteral("(запись сохранена: ")); };
    // A busy machine may start a recording after the phrase was played: dropped as too short or silent, by
    // design, and logged.
    const auto dropped = [&] { return app.logCount(QStringLiteral("Запись отброшена: ")); };
    std::pair<qint64, int> settled;
    int orphans = 0;
    for (int index = 0; index < dictations; ++index) {
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        DesktopSession::run(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), speech});
        ASSERT_EQ(runTolvan({QStringLiteral("--toggle")}).exitCode, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return inserted() + kept() + dropped() == index + 1; }, 15000))
            << "dictation " << index + 1 << ": inserted " << inserted() << ", kept " << kept() << "\n"
            << app.log().toStdString() << field.keys().join(u' ').toStdString() << "\n"
            << field.text().toStdString();
        orphans += orphanedServers(pid);
        if (index + 1 == std::min(20, dictations)) {
            // Connections of a paste still being posted come and go; measure once they are gone.
            ASSERT_TRUE(app.waitUntilIdle());
            settled = footprint(pid);
        }
    }
    EXPECT_EQ(orphans, 0);
    EXPECT_GT(inserted(), 0);
    EXPECT_GT(kept(), 0);
    EXPECT_LE(dropped(), dictations / 10);
    ASSERT_TRUE(app.waitUntilIdle());
    const auto [rss, descriptors] = footprint(pid);
    std::printf("soak: %d dictations, %d inserted, %d kept; RSS %lld kB after 20, %lld kB at the end; "
                "%d descriptors after 20, %d at the end\n",
                dictations, inserted(), kept(), settled.first, rss, settled.second, descriptors);
    EXPECT_LT(rss - settled.first, 10 * 1024);
    EXPECT_LE(descriptors, settled.second + 2);
}
