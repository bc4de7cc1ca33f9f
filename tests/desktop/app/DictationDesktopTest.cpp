#include "RunningApp.h"
#include "quality/AdvisorEngine.h"
#include "quality/SpeechCleaning.h"
#include "quality/SpeechQuality.h"
#include "recording/RecordingArchive.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

const QString phrase = QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода.");
// What dictation_one_filler.json turns into.
const QString oneFiller = QStringLiteral("Я, короче, пошёл домой, потому что устал.");

// Once the app's last paste is complete: Super+Shift+Space, a spoken phrase, Enter.
void dictate(const RunningApp& app)
{
    ASSERT_TRUE(app.waitUntilIdle());
    ASSERT_TRUE(app.startRecording());
    RunningApp::say(phrase);
    DesktopRig::press({QStringLiteral("Return")});
}

// Plays a second of silence into the microphone and returns when it has been played.
void staySilent()
{
    const QString wav = TestEnvironment::makeDirectory(QStringLiteral("silence")) + QStringLiteral("/silence.wav");
    ASSERT_EQ(DesktopRig::run(QStringLiteral("sox"), {"-n", "-r", "16000", "-c", "1", wav, "trim", "0", "1"}), 0);
    ASSERT_EQ(DesktopRig::run(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), wav}), 0);
}

// Plays 6 s of pink noise into the microphone, as loud as a fan close by (above the loudness rule's level), and
// returns when it has been played.
void playNoise()
{
    const QString wav = TestEnvironment::makeDirectory(QStringLiteral("noise")) + QStringLiteral("/noise.wav");
    ASSERT_EQ(DesktopRig::run(QStringLiteral("sox"),
                              {"-n", "-r", "16000", "-c", "1", wav, "synth", "6", "pinknoise", "vol", "0.2"}),
              0);
    ASSERT_EQ(DesktopRig::run(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), wav}), 0);
}

// Types into the focused window once the app's keystrokes are complete, then waits for the field's text.
void clearField(const RunningApp& app, TextFieldWindow& field)
{
    ASSERT_TRUE(app.waitUntilIdle());
    DesktopRig::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    ASSERT_TRUE(field.waitForText(QString()));
}

// What the processes running this program with this argument hold open, as paths.
QStringList openedByProcessesWith(const QByteArray& argument)
{
    QStringList opened;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!TestFiles::read(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0').contains(argument))
            continue;
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& descriptor : descriptors.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
            opened << descriptor.symLinkTarget();
    }
    return opened;
}

using DictationDesktopTest = DesktopTest;

} // namespace

TEST_F(DictationDesktopTest, ToggleDictationInsertsTheProcessedTextAndQuitsWithoutLeavingTheServer)
{
    TestFiles::write(Paths::dataDir() + QStringLiteral("/corrections.json"), R"({"линукс": "Linux"})");
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    // A descriptor the app inherits from whoever started it, which the program keeping the clipboard must not get.
    const QString inherited = TestEnvironment::makeDirectory(QStringLiteral("inherited")) + QStringLiteral("/marker");
    const int marker = ::open(QFile::encodeName(inherited).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(marker, 0);
    RunningApp app(answering(QStringLiteral("dictation_commands.json")));
    ASSERT_TRUE(app.waitUntilReady());

    dictate(app);
    // Cleaned, corrected with a Russian ending, the invented outro dropped, the spoken command rendered and
    // the first letter capitalized; neither Enter nor the toggle reached the field.
    const QString expected = QStringLiteral("Привет, это проверка Linuxа.\\n\\nВторая часть текста.");
    EXPECT_TRUE(field.waitForText(expected, 8000)) << field.text().toStdString();
    EXPECT_TRUE(field.keys().filter(QStringLiteral("Return")).isEmpty()) << field.keys().join(u' ').toStdString();
    EXPECT_TRUE(app.log().contains(QStringLiteral("Отброшен сегмент-галлюцинация: «Продолжение следует...» "
                                                  "(noSpeech=0.90, logprob=-1.50)")));
    EXPECT_EQ(SettingsStore(Paths::settingsFile()).history().value(0),
              QStringLiteral("Привет, это проверка Linuxа.\n\nВторая часть текста."));
    EXPECT_EQ(app.requests(), 2);

    // Enter is the user's again once the recording is over.
    ASSERT_TRUE(app.waitUntilIdle());
    DesktopRig::press({QStringLiteral("Return")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !field.keys().filter(QStringLiteral("Return")).isEmpty(); }, 3000));

    const qint64 server = app.serverPid();
    ASSERT_GT(server, 0);
    ::kill(static_cast<pid_t>(app.process().processId()), SIGTERM);
    ASSERT_TRUE(DesktopRig::finishes(app.process(), 8000));
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process().exitCode(), 0);
    EXPECT_TRUE(app.log().contains(QStringLiteral("Завершение работы")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return RunningApp::hasEnded(server); }, 5000));
    // No clipboard manager runs here, yet the dictated text can still be pasted.
    EXPECT_TRUE(DesktopRig::clipboardBecomes(QStringLiteral("Привет, это проверка Linuxа.\n\nВторая часть текста.")))
        << DesktopRig::clipboard().toStdString();
    const QStringList kept = openedByProcessesWith("--keep-x11-clipboard");
    EXPECT_FALSE(kept.isEmpty()) << "the clipboard is kept by a program of ours";
    EXPECT_FALSE(kept.contains(inherited)) << kept.join(u' ').toStdString();
    ::close(marker);
}

TEST_F(DictationDesktopTest, HoldingRightAltDictatesWhileHeldCancelledShortSilentAndNoisyOnesNeverReachTheServer)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    RunningApp app(answering(QStringLiteral("scripted_verbose_speech.json")));
    ASSERT_TRUE(app.waitUntilReady());

    // Released as soon as the phrase has been played: a pause held on afterwards would be cut off and recognized
    // on its own while recording, and the fake answers every request with the whole phrase.
    ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"down:Alt_R"})));
    ASSERT_TRUE(app.logShows(QStringLiteral("Запись начата")));
    RunningApp::say(phrase);
    ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"up:Alt_R"})));
    const QString dictated =
        QStringLiteral("Привет, это проверка диктовки. Сегодня хорошая погода и мы пойдём гулять в парк Спасибо!");
    ASSERT_TRUE(field.waitForText(dictated, 8000)) << field.text().toStdString();
    ASSERT_TRUE(app.waitUntilIdle());
    const int requests = app.requests();

    // Cancelled with Esc; finished at once (too short); finished after a second of silence.
    ASSERT_TRUE(app.startRecording());
    RunningApp::say(phrase);
    DesktopRig::press({QStringLiteral("Escape")});
    ASSERT_TRUE(app.logShows(QStringLiteral("Запись отменена")));
    ASSERT_TRUE(app.startRecording());
    DesktopRig::press({QStringLiteral("Return")});
    ASSERT_TRUE(app.logShows(QStringLiteral("Запись отброшена: ")));
    ASSERT_TRUE(app.startRecording());
    staySilent();
    DesktopRig::press({QStringLiteral("Return")});
    EXPECT_TRUE(app.logShows(QStringLiteral("Запись отброшена: звука 0 мс из ")));
    // Noise with no word said is silence too: nothing of it is recognized or pasted.
    ASSERT_TRUE(app.startRecording());
    playNoise();
    DesktopRig::press({QStringLiteral("Return")});
    EXPECT_TRUE(app.logShowsTimes(QStringLiteral("Панель: «Похоже, тишина»"), 2)) << app.log().toStdString();

    // Right Alt held long, then a key: AltGr of a typographic layout. The recording the hold started goes, silently.
    const int started = app.logCount(QStringLiteral("Запись начата"));
    ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"down:Alt_R"})));
    ASSERT_TRUE(app.logShowsTimes(QStringLiteral("Запись начата"), started + 1));
    RunningApp::say(phrase);
    ASSERT_TRUE(DesktopRig::finishes(*DesktopRig::keys({"down:b", "up:b", "up:Alt_R"})));
    EXPECT_TRUE(app.logShows(QStringLiteral("Запись отброшена: правый Alt был частью сочетания")));
    ASSERT_TRUE(app.waitUntilIdle());

    // Every key the test pressed has reached the field once this last one has; the chord's letter is the field's.
    DesktopRig::press({QStringLiteral("z")});
    EXPECT_TRUE(field.waitForText(dictated + QStringLiteral("bz"))) << field.text().toStdString();
    EXPECT_EQ(field.keys(), (QStringList{QStringLiteral("Ctrl+V"), QStringLiteral("Alt+B"), QStringLiteral("Z")}));
    EXPECT_EQ(app.requests(), requests);
    EXPECT_EQ(app.logCount(QStringLiteral("Панель: «Отменено»")), 1) << app.log().toStdString();
    EXPECT_TRUE(QDir(Paths::dataDir() + QStringLiteral("/recordings")).entryList(QDir::Files).isEmpty());
}

TEST_F(DictationDesktopTest, ASoundServerThatNeverAnswersEndsTheRecordingAndLeavesEnterToTheUser)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    const QString socket = TestEnvironment::makeDirectory(QStringLiteral("mute")) + QStringLiteral("/native");
    QLocalServer mute;
    ASSERT_TRUE(mute.listen(socket));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
    RunningApp app(environment);
    ASSERT_TRUE(app.waitUntilReady());

    DesktopRig::press({QStringLiteral("super+shift+space")});
    EXPECT_TRUE(app.logShows(QStringLiteral("Ошибка старта записи: нет входного аудиоустройства"), 5000));
    EXPECT_TRUE(app.log().contains(QStringLiteral("Микрофон недоступен: "))) << app.log().toStdString();
    DesktopRig::press({QStringLiteral("Return")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !field.keys().filter(QStringLiteral("Return")).isEmpty(); }, 3000))
        << field.keys().join(u' ').toStdString();
    EXPECT_EQ(app.process().state(), QProcess::Running);
}

TEST_F(DictationDesktopTest, FailedRecognitionIsKeptARecordingWaitsForTheStartingServerAndTheMenuRecognizesTheKeptOne)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    {
        QProcessEnvironment failing = answering(QStringLiteral("dictation_one_filler.json"));
        failing.insert(QStringLiteral("FAKE_WHISPER_ANSWER_STATUS"), QStringLiteral("500"));
        RunningApp app(failing);
        ASSERT_TRUE(app.waitUntilReady());
        dictate(app);
        ASSERT_TRUE(app.logShows(QStringLiteral("Ошибка /inference: ")));
        ASSERT_EQ(RecordingArchive::files().size(), 1);
        EXPECT_TRUE(app.log().contains(RecordingArchive::files().front()));
    }
    const QStringList kept = RecordingArchive::files();
    // Owner-only (0600 and 0700): the "user" bits repeat the owner's.
    EXPECT_EQ(QFile::permissions(kept.front()).toInt() & 0x7077, 0x6000);
    EXPECT_EQ(QFile::permissions(RecordingArchive::directory()).toInt() & 0x7077, 0x7000);
    EXPECT_GT(QFileInfo(kept.front()).size(), 32000);
    EXPECT_EQ(field.text(), QString());

    QProcessEnvironment slowStart = answering(QStringLiteral("dictation_one_filler.json"));
    slowStart.insert(QStringLiteral("FAKE_WHISPER_START_DELAY_MS"), QStringLiteral("6000"));
    RunningApp app(slowStart);
    ASSERT_TRUE(app.logShows(QStringLiteral("Горячие клавиши активны")));
    ASSERT_FALSE(app.log().contains(QStringLiteral("whisper-server готов")));
    dictate(app);
    EXPECT_FALSE(app.log().contains(QStringLiteral("whisper-server готов")));
    EXPECT_TRUE(field.waitForText(oneFiller, 12000)) << field.text().toStdString();
    clearField(app, field);

    // The tray icon's menu: "Начать диктовку", then the kept recording.
    ASSERT_TRUE(RunningApp::openTrayMenu());
    DesktopRig::screenshot(QStringLiteral("tray-menu-kept-recording"));
    DesktopRig::press({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
    EXPECT_TRUE(field.waitForText(oneFiller, 8000)) << field.text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([] { return RecordingArchive::files().isEmpty(); }, 3000));

    // A killed recognizer is started again.
    clearField(app, field);
    ::kill(static_cast<pid_t>(app.serverPid()), SIGKILL);
    ASSERT_TRUE(app.logShows(QStringLiteral("whisper-server упал")));
    dictate(app);
    EXPECT_TRUE(field.waitForText(oneFiller, 15000)) << field.text().toStdString();
    EXPECT_EQ(app.logCount(QStringLiteral("whisper-server готов")), 2);
}

TEST_F(DictationDesktopTest, LowScoreOpensTheReviewAndReturnInsertsTheCleanedPhraseIntoTheDictatedWindow)
{
    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    RunningApp app(answering(QStringLiteral("dictation_fillers.json")),
                   {{SettingsKey::speechQuality, QStringLiteral("highlight")}});
    ASSERT_TRUE(app.waitUntilReady());

    dictate(app);
    // The window manager shows the title with the application's name after it.
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return DesktopRig::activeWindowName() == QStringLiteral("Грамотная речь — Толван"); }, 8000))
        << DesktopRig::activeWindowName().toStdString();
    EXPECT_EQ(field.text(), QString());
    DesktopRig::screenshot(QStringLiteral("review-after-dictation"));
    DesktopRig::press({QStringLiteral("Return")});

    const QString dictated = QStringLiteral("Ну, короче, я пошёл домой, короче, потому что устал.");
    const QString cleaned = SpeechCleaning::clean(dictated, SpeechQuality::analyze(dictated));
    EXPECT_TRUE(field.waitForText(cleaned, 5000)) << field.text().toStdString();
}

TEST_F(DictationDesktopTest, QualityModesInsertWhatTheyPromise)
{
    QFile advisorModel(
        TestFiles::write(Paths::advisorModelsDir() + QLatin1Char('/') + AdvisorEngine::modelFileName, "GGUF"));
    ASSERT_TRUE(advisorModel.resize(2'000'000'000));

    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    QProcessEnvironment environment = answering(QStringLiteral("dictation_one_filler.json"));
    environment.insert(QStringLiteral("TOLVAN_LLAMA_BIN"), QStringLiteral(TOLVAN_FAKES_DIR "/llama-server"));
    environment.insert(QStringLiteral("FAKE_LLAMA_CONTENT"), QStringLiteral("ОЦЕНКА: 3\nТЕКСТ: Я ушёл домой - устал."));
    RunningApp app(environment, {{SettingsKey::speechQuality, QStringLiteral("highlight")},
                                 {SettingsKey::appendSpace, true},
                                 {SettingsKey::styleAdvisor, true}});
    ASSERT_TRUE(app.waitUntilReady());

    // Score 4 in "highlight": inserted as dictated at once, the badge offers the review.
    dictate(app);
    const QString dictated = QStringLiteral("Я, короче, пошёл домой, потому что устал. ");
    EXPECT_TRUE(field.waitForText(dictated, 8000)) << field.text().toStdString();
    DesktopRig::screenshot(QStringLiteral("badge-score-4"));

    SettingsStore(Paths::settingsFile()).setString(SettingsKey::speechQuality, QStringLiteral("autoclean"));
    dictate(app);
    const QString cleaned = QStringLiteral("Я пошёл домой, потому что устал. ");
    EXPECT_TRUE(field.waitForText(dictated + cleaned, 8000)) << field.text().toStdString();

    SettingsStore(Paths::settingsFile()).setString(SettingsKey::speechQuality, QStringLiteral("autopilot"));
    dictate(app);
    // Typeset like dictated text; the field's plain text shows the no-break space before the dash as a space.
    EXPECT_TRUE(field.waitForText(dictated + cleaned + QStringLiteral("Я ушёл домой — устал. "), 15000))
        << field.text().toStdString();
}

TEST_F(DictationDesktopTest, EachProgramGetsTheTextOfItsProfileAndTheUsersRuleComesFirst)
{
    // The user's rule for one program; a terminal and every other program go by the built-in rules.
    RunningApp app(answering(QStringLiteral("dictation_profiles.json")),
                   {{SettingsKey::appProfiles, QStringList{QStringLiteral("mywriter=raw")}}});
    ASSERT_TRUE(app.waitUntilReady());

    // A terminal's window: the panel names the profile; straight quotes, a hyphen, no final period.
    {
        TextFieldWindow terminal({QStringLiteral("-name"), QStringLiteral("xterm")});
        ASSERT_TRUE(terminal.isReady());
        ASSERT_TRUE(app.waitUntilIdle());
        ASSERT_TRUE(app.startRecording());
        DesktopRig::screenshot(QStringLiteral("panel-profile-terminal"));
        RunningApp::say(phrase);
        DesktopRig::press({QStringLiteral("Return")});
        // The field takes no Ctrl+Shift+V: the clipboard holds what a terminal would get.
        EXPECT_TRUE(QTest::qWaitFor([&] { return terminal.keys().contains(QStringLiteral("Ctrl+Shift+V")); }, 8000))
            << terminal.keys().join(u' ').toStdString();
        EXPECT_TRUE(DesktopRig::clipboardBecomes(QStringLiteral("Скажи \"да\" - это 10000 рублей")))
            << DesktopRig::clipboard().toStdString();
        EXPECT_TRUE(app.log().contains(QStringLiteral("профиль «Терминал»"))) << app.log().toStdString();
    }

    TextFieldWindow document;
    ASSERT_TRUE(document.isReady());
    dictate(app);
    EXPECT_TRUE(document.waitForText(QStringLiteral("Скажи «да» — это 10 000 рублей."), 8000))
        << document.text().toStdString();

    TextFieldWindow own({QStringLiteral("-name"), QStringLiteral("mywriter")});
    ASSERT_TRUE(own.isReady());
    dictate(app);
    EXPECT_TRUE(own.waitForText(QStringLiteral("Скажи \"да\" - это 10000 рублей."), 8000)) << own.text().toStdString();
    // The history keeps each text as it was pasted.
    EXPECT_EQ(SettingsStore(Paths::settingsFile()).history().mid(0, 3),
              (QStringList{QStringLiteral("Скажи \"да\" - это 10000 рублей."),
                           QStringLiteral("Скажи «да»\u00a0— это 10 000 рублей."),
                           QStringLiteral("Скажи \"да\" - это 10000 рублей")}));
}

TEST_F(DictationDesktopTest, PhrasesRecognizedWhileRecordingGiveTheSameTextAsOneRequestAtTheEnd)
{
    // Three sentences with pauses of 1.5 s, the last one short.
    const QString speech = TestEnvironment::makeDirectory(QStringLiteral("sentences")) + QStringLiteral("/speech.wav");
    ASSERT_EQ(DesktopRig::run(QStringLiteral("espeak-ng"),
                              {"-m", "-v", "ru", "-w", speech,
                               "<speak>Сегодня мы подробно обсудили план работы отдела на всю следующую неделю."
                               "<break time=\"1500ms\"/>Отчёт нужно обязательно отправить руководителю проекта "
                               "до конца пятницы.<break time=\"1500ms\"/>Спасибо.</speak>"}),
              0);

    TextFieldWindow field;
    ASSERT_TRUE(field.isReady());
    QProcessEnvironment slowServer;
    slowServer.insert(QStringLiteral("FAKE_WHISPER_SEGMENTS_FROM_AUDIO"), QStringLiteral("1"));
    slowServer.insert(QStringLiteral("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS"), QStringLiteral("500"));
    RunningApp app(slowServer);
    ASSERT_TRUE(app.waitUntilReady());

    // With pieces expected, Enter waits until the second one has reached the recognizer.
    const auto dictateSpeech = [&](bool pieces, int* requestsWhileRecording) {
        const int before = app.requests();
        ASSERT_TRUE(app.startRecording());
        DesktopRig::run(QStringLiteral("paplay"), {QStringLiteral("--device=vmic_sink"), speech}, nullptr, 30000);
        if (pieces)
            (void)QTest::qWaitFor([&] { return app.requests() - before >= 2; }, 5000);
        *requestsWhileRecording = app.requests() - before;
        DesktopRig::press({QStringLiteral("Return")});
    };

    int whileRecording = 0;
    dictateSpeech(true, &whileRecording);
    EXPECT_GE(whileRecording, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return field.text().count(QStringLiteral("Фраза около")) == 3; }, 15000))
        << field.text().toStdString();
    const QString chunked = field.text();
    // Only the short last sentence was left to recognize after Enter.
    const QByteArray last =
        TestFiles::read(app.recordDirectory() + QStringLiteral("/request-%1.body").arg(app.requests()));
    EXPECT_LT(last.size(), 5 * 32000);

    SettingsStore(Paths::settingsFile()).setBool(SettingsKey::recognizeWhileRecording, false);
    clearField(app, field);
    dictateSpeech(false, &whileRecording);
    EXPECT_EQ(whileRecording, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !field.text().isEmpty(); }, 20000));
    EXPECT_EQ(field.text(), chunked);
}
