#pragma once

#include "DesktopRig.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelVerification.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TolvanProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <functional>

// The fake recognizer answers with this file of tests/fixtures/whisper-server.
inline QProcessEnvironment answering(const QString& fixture, QProcessEnvironment environment = {})
{
    environment.insert(QStringLiteral("FAKE_WHISPER_ANSWER_FILE"),
                       TestEnvironment::fixture(QStringLiteral("whisper-server/") + fixture));
    return environment;
}

// The real tolvan executable in the desktop session, with the fake whisper-server as its recognizer, the
// active model in place (a sparse file of the catalog's size) and a settings file of the test's choosing.
class RunningApp
{
public:
    // FAKE_WHISPER_* variables for the recognizer, settings to store before the start.
    explicit RunningApp(const QProcessEnvironment& extra = {}, const QVariantHash& settings = {})
        : recordDir_(TestEnvironment::makeDirectory(QStringLiteral("whisper-%1").arg(++instances()))),
          logStart_(DesktopRig::appLog().size())
    {
        placeActiveModel();
        QVariantHash values{{SettingsKey::sounds, false},
                            {SettingsKey::autoFormat, false},
                            {SettingsKey::appendSpace, false},
                            {SettingsKey::firstRunDone, true},
                            {SettingsKey::speechQuality, QStringLiteral("off")}};
        values.insert(settings);
        SettingsStore store(Paths::settingsFile());
        for (auto setting = values.begin(); setting != values.end(); ++setting) {
            if (setting.value().typeId() == QMetaType::Bool)
                store.setBool(setting.key(), setting.value().toBool());
            else if (setting.value().typeId() == QMetaType::QStringList)
                store.setStringArray(setting.key(), setting.value().toStringList());
            else
                store.setString(setting.key(), setting.value().toString());
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TOLVAN_WHISPER_BIN"), QStringLiteral(TOLVAN_FAKES_DIR "/whisper-server"));
        environment.insert(QStringLiteral("FAKE_WHISPER_RECORD_DIR"), recordDir_);
        environment.insert(extra);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(tolvanExecutable(), {});
        process_.waitForStarted(5000);
    }

    ~RunningApp()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000))
                process_.kill();
        }
    }

    // What this run of the app logged.
    QString log() const { return DesktopRig::appLog().mid(logStart_); }
    bool logShows(const QString& text, int timeoutMs = 10000) const
    {
        return QTest::qWaitFor([&] { return log().contains(text); }, timeoutMs);
    }
    int logCount(const QString& text) const { return static_cast<int>(log().count(text)); }
    bool logShowsTimes(const QString& text, int times, int timeoutMs = 10000) const
    {
        return QTest::qWaitFor([&] { return logCount(text) >= times; }, timeoutMs);
    }

    // The app's keystrokes (a paste) are fully posted: the next key the test presses arrives on its own.
    bool waitUntilIdle() const
    {
        return DesktopRig::waitUntilKeystrokesPosted([this] { return log(); });
    }
    // Presses the toggle hotkey and waits until the recording runs (Enter and Esc are the app's from then on).
    bool startRecording() const
    {
        const int started = logCount(QStringLiteral("Запись начата"));
        DesktopRig::press({QStringLiteral("super+shift+space")});
        return logShowsTimes(QStringLiteral("Запись начата"), started + 1);
    }

    // Hotkeys armed and the recognizer warmed up.
    bool waitUntilReady(int timeoutMs = 15000)
    {
        return logShows(QStringLiteral("Горячие клавиши активны"), timeoutMs) &&
               logShows(QStringLiteral("whisper-server готов"), timeoutMs);
    }

    // Recognition requests the fake received, its warm-up included.
    int requests() const
    {
        return static_cast<int>(QDir(recordDir_).entryList({QStringLiteral("request-*.body")}, QDir::Files).size());
    }
    // The process id of the recognizer started last.
    qint64 serverPid() const { return TestFiles::read(recordDir_ + QStringLiteral("/pid.txt")).toLongLong(); }

    QProcess& process() { return process_; }
    // Where the fake recognizer writes the requests it gets.
    const QString& recordDirectory() const { return recordDir_; }

    // "Speaks" a Russian phrase into the virtual microphone and returns when it has been played.
    static void say(const QString& phrase)
    {
        const QString wav = TestEnvironment::makeDirectory(QStringLiteral("speech")) + QStringLiteral("/phrase.wav");
        ASSERT_EQ(DesktopRig::run(QStringLiteral("espeak-ng"),
                                  {QStringLiteral("-v"), QStringLiteral("ru"), QStringLiteral("-w"), wav, phrase}),
                  0);
        ASSERT_EQ(DesktopRig::run(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), wav}), 0);
    }

    // Whether a process no longer runs (a zombie left for its new parent counts as ended).
    static bool hasEnded(qint64 pid)
    {
        const QByteArray line = TestFiles::read(QStringLiteral("/proc/%1/stat").arg(pid));
        const qsizetype state = line.lastIndexOf(')') + 2;
        return line.isEmpty() || (state < line.size() && line.at(state) == 'Z');
    }

    // The windows of our tray icons embedded in the tray host, found in the X11 window tree.
    static QStringList trayIcons()
    {
        QString tree;
        DesktopRig::run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}, &tree);
        QStringList icons;
        static const QRegularExpression icon(
            QStringLiteral("(0x[0-9a-f]+) \"Толван\": \\(\"tolvan\" \"Tolvan\"\\)\\s+(1[6-9]|2\\d)x(1[6-9]|2\\d)"));
        for (auto match = icon.globalMatch(tree); match.hasNext();)
            icons << match.next().captured(1);
        return icons;
    }

    // The app's windows that are on screen now (the tray icon's among them), as X11 window ids.
    static QStringList visibleWindows()
    {
        QString ids;
        DesktopRig::run(QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                         QStringLiteral("^Tolvan$")},
                        &ids);
        return ids.split(u'\n', Qt::SkipEmptyParts);
    }

    // Does what opens a window of the app (a menu) and waits until that is on screen.
    static bool opensWindow(const std::function<void()>& action)
    {
        const QStringList before = visibleWindows();
        action();
        return QTest::qWaitFor(
            [&] {
                const QStringList now = visibleWindows();
                return std::any_of(now.begin(), now.end(), [&](const QString& id) { return !before.contains(id); });
            },
            5000);
    }

    // Clicks the tray icon (the right button by default) and waits until its menu is on screen.
    static bool openTrayMenu(int button = 3)
    {
        const QString icon = trayIcons().value(0);
        return !icon.isEmpty() && opensWindow([&] {
            DesktopRig::xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), icon, QStringLiteral("8"),
                                 QStringLiteral("8"), QStringLiteral("click"), QString::number(button)});
        });
    }

private:
    static int& instances()
    {
        static int count = 0;
        return count;
    }

    static void placeActiveModel()
    {
        const RecognitionModel model = ModelCatalog::byID(ModelCatalog::turboModelID());
        QDir().mkpath(Paths::modelsDir());
        QFile file(model.filePath(0));
        if (file.open(QIODevice::WriteOnly))
            file.resize(ModelCatalog::completeSizeThreshold(model.sizeMB) + 1);
        // A stand-in of the right size, which no digest would match: taken as checked, as a download is.
        ModelVerification::remember(model, 0);
    }

    QString recordDir_;
    qsizetype logStart_ = 0;
    QProcess process_;
};
