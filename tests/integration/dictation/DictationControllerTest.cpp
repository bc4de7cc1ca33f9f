#include "dictation/DictationController.h"

#include "app/NoticeTexts.h"
#include "app/TranscribeFileFlow.h"
#include "audio/WavWriter.h"
#include "core/Paths.h"
#include "core/SettingsStore.h"
#include "dictation/TextInserter.h"
#include "engines/ModelCatalog.h"
#include "engines/RecognitionSpeed.h"
#include "integration/dictation/FakeDesktop.h"
#include "recording/ChunkCutter.h"
#include "recording/RecordingArchive.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/TestModels.h"
#include "ui/HUDPanel.h"
#include "ui/OverlayHUD.h"
#include "ui/SpeechReview.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace
{

using Paste = FakeDesktop::Paste;

// Apart from the numbers the offscreen platform gives our own windows.
constexpr ActiveWindow::WindowId mail = 1001;
constexpr ActiveWindow::WindowId terminal = 1002;
using TestEnvironment::appLog;

// No display, no sound server: the desktop is FakeDesktop, the microphone is fed by the test.
const bool offscreen = [] {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    return true;
}();

struct FakeCapture : MicrophoneCapture
{
    BlockHandler onBlock;
    Result<Done> start(const QString&, BlockHandler blocks, EndHandler) override
    {
        onBlock = std::move(blocks);
        return Done{};
    }
    void stop() override {}
};

// The controller with the fake recognizer, which answers "Фраза около N с." for every N-second stretch of
// sound, taking `delayPerSecondMs` for each second of audio.
class DictationControllerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestModels::placeDefault());
        qputenv("TOLVAN_WHISPER_BIN", FAKE_WHISPER_SERVER);
        // Audio files are decoded by the app in a child process of its own.
        qputenv("TOLVAN_DECODER_BIN", TOLVAN_EXECUTABLE);
        qputenv("FAKE_WHISPER_RECORD_DIR", recordDir.toUtf8());
        qputenv("FAKE_WHISPER_SEGMENTS_FROM_AUDIO", "1");
        qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "300");
        // The microphone below plays a square wave, voice to the loudness rule only: these flows are the controller's,
        // and the voice detector has tests of its own on speech.
        qputenv("TOLVAN_VAD_MODEL", "/nonexistent/silero_vad.onnx");
        SettingsStore& settings = SettingsStore::shared();
        settings.setBool(SettingsKey::sounds, false);
        settings.setString(SettingsKey::speechQuality, QStringLiteral("off"));
        settings.setBool(SettingsKey::appendSpace, false);
        FakeDesktop::reset({mail, terminal}, mail);
        PhraseReview::setShared(&SpeechReview::shared());
        hud.observe(controller.display());
    }
    void TearDown() override { PhraseReview::setShared(nullptr); }

    // Every recognition answers this text instead of describing the sound.
    void answerWith(const QString& text)
    {
        const QJsonObject segment{
            {"text", text}, {"start", 0.0}, {"end", 2.0}, {"avg_logprob", -0.2}, {"no_speech_prob", 0.01}};
        const QJsonObject answer{{"text", text}, {"segments", QJsonArray{segment}}};
        qputenv("FAKE_WHISPER_SEGMENTS_FROM_AUDIO", "0");
        qputenv("FAKE_WHISPER_ANSWER_FILE",
                TestFiles::write(recordDir + QStringLiteral("/answer.json"), QJsonDocument(answer).toJson()).toUtf8());
    }

    void startServer()
    {
        controller.startServer();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return controller.whisperServer().state().kind == WhisperServer::State::ready; }, 10000));
    }

    // `ms` of sound, then `pauseMs` of silence, in the microphone's blocks.
    void speak(int ms, int pauseMs = 300)
    {
        feed(std::size_t(ms) * 16, 4000);
        feed(std::size_t(pauseMs) * 16, 0);
        QCoreApplication::processEvents();
    }
    void feed(std::size_t samples, std::int16_t amplitude)
    {
        for (std::size_t done = 0; done < samples; done += MicrophoneCapture::blockSamples) {
            std::vector<std::int16_t> block(std::min<std::size_t>(MicrophoneCapture::blockSamples, samples - done));
            for (std::size_t index = 0; index < block.size(); ++index)
                block[index] = std::int16_t(index % 2 ? amplitude : -amplitude);
            mic->onBlock(block);
        }
    }
    void dictate(int ms)
    {
        controller.begin(DictationController::Source::toggle);
        speak(ms);
        controller.finish();
    }

    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 10000); }
    bool recognized()
    {
        return waitFor([&] { return controller.inFlight() == 0; });
    }
    QStringList history() const { return SettingsStore::shared().history(); }
    QString panelTitle()
    {
        QCoreApplication::processEvents();
        return hud.title();
    }
    std::vector<Paste> pastes() { return FakeDesktop::pastes(); }
    static int requestsIn(const QString& directory)
    {
        return int(QDir(directory).entryList({QStringLiteral("request-*.body")}, QDir::Files).size());
    }

    const QString recordDir = TestEnvironment::makeDirectory(QStringLiteral("whisper"));
    FakeCapture* mic = new FakeCapture;
    DictationController controller{std::make_unique<AudioRecorder>(std::unique_ptr<MicrophoneCapture>(mic))};
    // The panel follows the controller, as in the app.
    OverlayHUD hud;
};

} // namespace

// A result that arrives while the next recording runs leaves the focus and the panel to that recording; it is
// pasted into its own window, before the next text, when the recording ends.
TEST_F(DictationControllerTest, AResultArrivingWhileRecordingWaitsForTheRecordingToEnd)
{
    startServer();
    dictate(2000);
    ASSERT_EQ(controller.inFlight(), 1);
    FakeDesktop::setActive(terminal);
    controller.begin(DictationController::Source::toggle);
    speak(3000);
    ASSERT_TRUE(recognized());
    EXPECT_EQ(ActiveWindow::current(), terminal);
    EXPECT_EQ(panelTitle(), QStringLiteral("Говорите…"));
    EXPECT_TRUE(history().isEmpty());

    controller.finish();
    ASSERT_TRUE(waitFor([&] { return pastes().size() == 2; }));
    EXPECT_EQ(pastes(), (std::vector<Paste>{{mail, QStringLiteral("Фраза около 2 с.")},
                                            {terminal, QStringLiteral("Фраза около 3 с.")}}));
    EXPECT_EQ(history(), QStringList({QStringLiteral("Фраза около 3 с."), QStringLiteral("Фраза около 2 с.")}));
}

// A text is pasted only into the window it was dictated for. When that window is gone, will not come to the
// front, or is not known (a Wayland window), the text waits on the clipboard with its space, whatever window
// has the focus, and the panel keeps saying so; as it does when the paste keystroke cannot be posted.
TEST_F(DictationControllerTest, ATargetThatIsGoneOrStaysBehindGetsTheClipboardNotAnotherWindow)
{
    SettingsStore::shared().setBool(SettingsKey::appendSpace, true);
    startServer();
    for (const char* lost : {"closed", "refused", "unknown", "keystroke"}) {
        const bool unknown = lost == std::string_view("unknown");
        const bool keystroke = lost == std::string_view("keystroke");
        FakeDesktop::reset({mail, terminal}, unknown ? 0 : mail);
        FakeDesktop::refuseActivation(lost == std::string_view("refused"));
        FakeDesktop::refuseKeystrokes(keystroke);
        dictate(2000);
        if (!keystroke)
            FakeDesktop::setActive(terminal);
        if (lost == std::string_view("closed"))
            FakeDesktop::close(mail);
        ASSERT_TRUE(waitFor([&] { return panelTitle() == QStringLiteral("Текст в буфере — вставьте Ctrl+V"); }))
            << lost;
        EXPECT_TRUE(hud.isTransient()) << lost;
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Фраза около 2 с. ")) << lost;
        EXPECT_EQ(history().first(), QStringLiteral("Фраза около 2 с.")) << lost;
        EXPECT_TRUE(pastes().empty()) << lost;
    }
}

// Learning a word or changing the language restarts the server: what it was recognizing, and the recording
// under way, go to the new one instead of failing. The fake answers side by side, the shorter recording first; the
// texts still arrive in the order they were dictated.
TEST_F(DictationControllerTest, AServerRestartRecognizesWhatWasInFlightWithTheNewServer)
{
    startServer();
    dictate(3000);
    controller.begin(DictationController::Source::toggle);
    speak(1000);
    ASSERT_EQ(controller.inFlight(), 1);
    controller.startServer();
    speak(1000);
    controller.finish();
    ASSERT_TRUE(waitFor([&] { return history().size() == 2; })) << appLog().toStdString();
    EXPECT_EQ(history(), QStringList({QStringLiteral("Фраза около 2 с."), QStringLiteral("Фраза около 3 с.")}));
    EXPECT_FALSE(appLog().contains(QStringLiteral("Ошибка /inference")));
    EXPECT_TRUE(RecordingArchive::files().isEmpty());
}

// The review window shows one phrase at a time: a second phrase that needs a decision waits its turn instead of
// dismissing the first. Quitting loses nothing dictated: both phrases go to the history, and the recording
// under way is kept for later recognition unless it is too short.
TEST_F(DictationControllerTest, PhrasesWaitingForReviewAndTheRecordingUnderWaySurviveQuit)
{
    const QString first = QStringLiteral("Ну, я, короче, пошёл, типа, домой.");
    const QString second = QStringLiteral("Ну, короче, типа, я это сделал, ну.");
    SettingsStore::shared().setString(SettingsKey::speechQuality, QStringLiteral("highlight"));
    const auto reviewing = [&](const QString& phrase) {
        QWidget* shown = SpeechReview::shared().window();
        return shown && shown->isVisible() &&
               shown->findChild<QTextEdit*>(QStringLiteral("phrase"))->toPlainText() == phrase;
    };
    answerWith(first);
    startServer();
    dictate(2000);
    ASSERT_TRUE(waitFor([&] { return reviewing(first); }));
    answerWith(second);
    dictate(2000);
    ASSERT_TRUE(recognized());
    controller.begin(DictationController::Source::toggle);
    speak(1500);
    EXPECT_TRUE(reviewing(first));

    controller.keepUnfinished();
    EXPECT_EQ(history(), QStringList({second, first}));
    const QStringList kept = RecordingArchive::files();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(QFileInfo(kept[0]).size(), 44 + 1800 * 16 * 2);
    EXPECT_EQ(controller.phase(), DictationController::Phase::idle);

    controller.begin(DictationController::Source::toggle);
    speak(100, 0);
    controller.keepUnfinished();
    EXPECT_EQ(RecordingArchive::files(), kept);
}

// A phrase waiting in the review window keeps its place: a clean phrase dictated after it for the same window
// waits for the decision, then both go in as they were dictated; a text for another window does not wait.
TEST_F(DictationControllerTest, APhraseUnderReviewIsNotOvertakenInItsWindow)
{
    const QString doubtful = QStringLiteral("Ну, я, короче, пошёл, типа, домой.");
    const QString clean = QStringLiteral("Я пришёл домой вовремя.");
    SettingsStore::shared().setString(SettingsKey::speechQuality, QStringLiteral("highlight"));
    answerWith(doubtful);
    startServer();
    dictate(2000);
    ASSERT_TRUE(
        waitFor([&] { return SpeechReview::shared().window() && SpeechReview::shared().window()->isVisible(); }));
    answerWith(clean);
    dictate(2000);
    ASSERT_TRUE(recognized());
    FakeDesktop::setActive(terminal);
    dictate(2000);
    ASSERT_TRUE(waitFor([&] { return pastes().size() == 1; }));
    EXPECT_EQ(pastes(), (std::vector<Paste>{{terminal, clean}}));

    SpeechReview::shared().window()->findChild<QPushButton*>(QStringLiteral("asisBtn"))->click();
    ASSERT_TRUE(waitFor([&] { return pastes().size() == 3; }));
    EXPECT_EQ(pastes(), (std::vector<Paste>{{terminal, clean}, {mail, doubtful}, {mail, clean}}));
}

// A piece cut from a long silence is not sent (the recognizer would invent text for it, which would then
// prompt the next piece), and «Распознать сохранённую запись» clicked twice recognizes the recording once.
TEST_F(DictationControllerTest, NeitherASilentPieceNorAKeptRecordingTwiceIsSent)
{
    startServer();
    controller.begin(DictationController::Source::toggle);
    speak(0, 26000);
    speak(1000);
    controller.finish();
    ASSERT_TRUE(recognized());
    EXPECT_EQ(history(), QStringList{QStringLiteral("Фраза около 1 с.")});
    // The warm-up and the recording's rest.
    EXPECT_EQ(QDir(recordDir).entryList({QStringLiteral("request-*.body")}).size(), 2);

    ASSERT_TRUE(RecordingArchive::keep(WavWriter::data(std::vector<std::int16_t>(32000, 4000), 16000)));
    controller.recognizeSavedRecording();
    controller.recognizeSavedRecording();
    ASSERT_TRUE(recognized());
    EXPECT_EQ(history(), QStringList({QStringLiteral("Фраза около 2 с."), QStringLiteral("Фраза около 1 с.")}));
    EXPECT_TRUE(RecordingArchive::files().isEmpty());
}

// Two texts delivered within the paste delay are pasted one after the other, each one itself, and a copy asked for
// meanwhile reaches the clipboard after them instead of being pasted or overwritten.
TEST_F(DictationControllerTest, PastesAndCopiesRunOneAfterAnother)
{
    TextInserter::insert(QStringLiteral("один"));
    TextInserter::insert(QStringLiteral("два"));
    TextInserter::copy(QStringLiteral("три"));
    ASSERT_TRUE(waitFor([&] {
        return pastes().size() == 2 && QGuiApplication::clipboard()->text() == QStringLiteral("три");
    })) << QGuiApplication::clipboard()->text().toStdString();
    EXPECT_EQ(pastes(), (std::vector<Paste>{{mail, QStringLiteral("один")}, {mail, QStringLiteral("два")}}));
}

// A recording whose recognition fails while it cannot be written (a file stands where the recordings folder goes,
// which stops root too) waits in memory: the panel says so, the tray counts it, it can be recognized from there,
// the next keep writes it once the folder can be made, and quitting tries once more, saying so when that fails.
TEST_F(DictationControllerTest, ARecordingThatCannotBeWrittenWaitsInMemoryUntilItCanBe)
{
    const QString folder = RecordingArchive::directory();
    TestFiles::write(folder, "not a folder");
    qputenv("FAKE_WHISPER_FAIL_REQUESTS", "2,3,5");
    startServer();
    dictate(2000);
    ASSERT_TRUE(waitFor([&] { return panelTitle() == QStringLiteral("Запись не сохранилась на диск"); }));
    EXPECT_EQ(controller.keptCount(), 1);
    EXPECT_TRUE(appLog().contains(QStringLiteral("на её месте лежит файл")));
    dictate(3000);
    ASSERT_TRUE(waitFor([&] { return controller.keptCount() == 2; }));
    controller.recognizeSavedRecording();
    ASSERT_TRUE(waitFor([&] { return history() == QStringList{QStringLiteral("Фраза около 3 с.")}; }));
    EXPECT_EQ(controller.keptCount(), 1);

    ASSERT_TRUE(QFile::remove(folder));
    dictate(2000);
    ASSERT_TRUE(waitFor([&] { return RecordingArchive::files().size() == 2; }));
    EXPECT_EQ(controller.keptCount(), 2);

    ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".away")));
    TestFiles::write(folder, "not a folder");
    controller.begin(DictationController::Source::toggle);
    speak(1500);
    controller.keepUnfinished();
    EXPECT_TRUE(appLog().contains(QStringLiteral("Не удалось сохранить записи при выходе (1)")));
}

// A recognizer sends nothing until it has finished, and a whole request must not wait for all of a long recording.
// A minute of speech with only short breaths, recognition while recording off, is recognized after Enter in pieces
// cut at the first breaths 20 s into each, every one with the text before it as its prompt, where the whole recording
// would have outlasted the wait; so is a kept recording. A recognizer slower than speech still gets its answer out as
// long as it works on the processor.
TEST_F(DictationControllerTest, LongRecordingsGoInPiecesAndTheWaitFollowsTheRecognizersWork)
{
    SettingsStore::shared().setBool(SettingsKey::recognizeWhileRecording, false);
    qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "40");
    qputenv("FAKE_WHISPER_FAIL_REQUESTS", "2");
    WhisperServer::Timing timing;
    timing.requestTimeoutMs = 500;
    controller.whisperServer().setTiming(timing);
    startServer();
    const auto dictateMinute = [&] {
        controller.begin(DictationController::Source::toggle);
        for (const int ms : {7000, 7000, 7000, 7000, 5000, 5000, 5000, 5000, 5000, 5000})
            speak(ms);
        controller.finish();
    };
    const QString threePieces = QStringLiteral("Фраза около 22 с. Фраза около 23 с. Фраза около 16 с.");
    dictateMinute();
    ASSERT_TRUE(waitFor([&] { return controller.keptCount() == 1; }));
    dictateMinute();
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; })) << appLog().toStdString();
    EXPECT_EQ(history(), QStringList{threePieces});
    EXPECT_TRUE(
        TestFiles::read(recordDir + QStringLiteral("/request-5.body")).contains("Фраза около 22 с. Фраза около 23 с."));
    controller.recognizeSavedRecording();
    ASSERT_TRUE(waitFor([&] { return history().size() == 2; })) << appLog().toStdString();
    EXPECT_EQ(history(), QStringList({threePieces, threePieces}));
    EXPECT_EQ(controller.keptCount(), 0);

    qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "1500");
    qputenv("FAKE_WHISPER_BUSY", "1");
    qunsetenv("FAKE_WHISPER_FAIL_REQUESTS");
    timing.requestTimeoutMs = 200;
    controller.whisperServer().setTiming(timing);
    startServer();
    dictate(2000);
    ASSERT_TRUE(waitFor([&] { return history().size() == 3; })) << appLog().toStdString();
    EXPECT_EQ(history().first(), QStringLiteral("Фраза около 2 с."));
}

TEST_F(DictationControllerTest, GigaAMHearsEveryRecordingInPiecesNoLongerThanTheCuttersLimit)
{
    // Its encoder knows 200 s at most, and its quality falls well before that.
    SettingsStore::shared().setString(SettingsKey::modelID, QStringLiteral("gigaam-v3"));
    SettingsStore::shared().setBool(SettingsKey::recognizeWhileRecording, false);
    const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
    for (int index = 0; index < int(model.files.size()); ++index) {
        QFile file(TestFiles::write(model.filePath(index), model.files[index].endsWith(".txt") ? "<blk> 0\n" : "onnx"));
        ASSERT_TRUE(file.resize(ModelCatalog::completeSizeThreshold(model.downloadFileSizeMB(index)) + 1));
    }
    const QString sherpaRecord = TestEnvironment::makeDirectory(QStringLiteral("sherpa"));
    qputenv("TOLVAN_SHERPA_BIN", FAKE_SHERPA_ONNX_OFFLINE);
    qputenv("FAKE_SHERPA_RECORD_DIR", sherpaRecord.toUtf8());
    const auto heard = [&] {
        QList<int> durations;
        for (const QByteArray& line : TestFiles::read(sherpaRecord + QStringLiteral("/durations.txt")).split('\n'))
            if (!line.isEmpty())
                durations.append(line.toInt());
        QFile::remove(sherpaRecord + QStringLiteral("/durations.txt"));
        return durations;
    };
    const auto expectPieces = [](const QList<int>& durations) {
        EXPECT_GE(durations.size(), 3);
        int total = 0;
        for (const int ms : durations) {
            EXPECT_LE(ms, int(ChunkCutter::forcedCutAfter / ChunkCutter::samplesPerMs));
            total += ms;
        }
        // Breaths cut out at the piece boundaries aside, the whole minute.
        EXPECT_GT(total, 58000);
    };
    controller.startServer();
    const auto dictateMinute = [&] {
        controller.begin(DictationController::Source::toggle);
        for (const int ms : {7000, 7000, 7000, 7000, 5000, 5000, 5000, 5000, 5000, 5000})
            speak(ms);
        controller.finish();
    };

    // A recognizer that fails keeps the recording; recognized from the menu, it goes in pieces again.
    qputenv("FAKE_SHERPA_EXIT_CODE", "1");
    dictateMinute();
    ASSERT_TRUE(waitFor([&] { return controller.keptCount() == 1; })) << appLog().toStdString();
    heard();
    qunsetenv("FAKE_SHERPA_EXIT_CODE");
    controller.recognizeSavedRecording();
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; })) << appLog().toStdString();
    expectPieces(heard());

    dictateMinute();
    ASSERT_TRUE(waitFor([&] { return history().size() == 2; })) << appLog().toStdString();
    expectPieces(heard());
    EXPECT_EQ(controller.keptCount(), 0);
}

// Each piece recognized at a pause shows in the panel as it will be pasted, below the clock; the rest follows
// after the end, and the whole text is pasted once.
TEST_F(DictationControllerTest, TheWordsRecognizedAtEachPauseShowInThePanelAndThePasteContinuesThem)
{
    qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "20");
    startServer();
    controller.begin(DictationController::Source::toggle);
    const QWidget* live = nullptr;
    ASSERT_TRUE(waitFor([&] { return hud.panel() != nullptr; }));
    live = hud.panel()->findChild<QWidget*>(QStringLiteral("liveText"));
    ASSERT_NE(live, nullptr);
    EXPECT_TRUE(live->isHidden()) << "nothing before the first pause";

    speak(3200, 900);
    ASSERT_TRUE(waitFor([&] { return !hud.liveText().isEmpty(); })) << appLog().toStdString();
    const QString first = hud.liveText();
    EXPECT_TRUE(first.startsWith(QStringLiteral("Фраза около "))) << first.toStdString();
    EXPECT_TRUE(live->isVisible());
    EXPECT_EQ(live->accessibleName(), first);
    EXPECT_EQ(hud.panel()->height(), HUDPanel::height + HUDPanel::liveTextHeight);
    EXPECT_TRUE(pastes().empty()) << "nothing is pasted before the end";

    speak(3200, 900);
    ASSERT_TRUE(waitFor([&] { return hud.liveText() != first; }));
    const QString second = hud.liveText();
    EXPECT_TRUE(second.startsWith(first + QLatin1Char(' '))) << second.toStdString();
    EXPECT_TRUE(appLog().contains(QStringLiteral("Текст на панели через "))) << appLog().toStdString();

    speak(1500);
    controller.finish();
    ASSERT_TRUE(waitFor([&] { return pastes().size() == 1; })) << appLog().toStdString();
    const QString pasted = pastes().front().text;
    EXPECT_TRUE(pasted.startsWith(second + QLatin1Char(' '))) << pasted.toStdString();
    EXPECT_EQ(pasted.count(QStringLiteral("Фраза около")), 3) << pasted.toStdString();
    EXPECT_TRUE(hud.liveText().isEmpty());
    EXPECT_TRUE(live->isHidden());
}

// A file from the menu is heard by the same recognizer while a recording runs: its text goes onto the clipboard and
// into the history, never into a window, and the recording keeps its panel.
TEST_F(DictationControllerTest, AnAudioFileGoesToTheClipboardAndHistoryAndLeavesTheRecordingItsPanel)
{
    startServer();
    std::vector<std::int16_t> speech(4 * 16000);
    for (std::size_t index = 0; index < speech.size(); ++index)
        speech[index] = std::int16_t(index % 2 ? 4000 : -4000);
    const QString file = TestFiles::write(recordDir + QStringLiteral("/интервью.wav"), WavWriter::data(speech, 16000));
    TranscribeFileFlow flow(controller);
    controller.begin(DictationController::Source::toggle);
    flow.recognize(file);
    EXPECT_TRUE(flow.running());
    ASSERT_TRUE(waitFor([&] { return history().size() == 1; })) << appLog().toStdString();
    EXPECT_EQ(history().front(), QStringLiteral("Фраза около 4 с."));
    EXPECT_TRUE(waitFor([&] { return QGuiApplication::clipboard()->text() == history().front(); }));
    EXPECT_EQ(panelTitle(), QStringLiteral("Говорите…"));
    EXPECT_TRUE(pastes().empty());
    EXPECT_FALSE(flow.running());
    controller.cancel();
}

// On the first run, for Russian, with whisper computing on the processor alone, the model proposed and downloaded is
// GigaAM-v3, and it stays the active one when Turbo arrives later. A model the user chose is kept, and so is Turbo
// for a user of earlier versions who has it on disk and chose nothing.
TEST_F(DictationControllerTest, TheFirstRunWithoutAGpuDownloadsGigaAMAndNeverReplacesAChoiceMadeBefore)
{
    LocalHttpServer hub([](const HttpRequest&) { return HttpResponse::text(404, "Entry not found"); });
    ASSERT_TRUE(hub.listen());
    qputenv("TOLVAN_MODEL_HUB", hub.url().toString().toUtf8());
    qputenv("TOLVAN_MODEL_MIRROR", hub.url().toString().toUtf8());
    const RecognitionModel turbo = ModelCatalog::byID(ModelCatalog::turboModelID());
    const auto asked = [&](const QByteArray& file) {
        return waitFor([&] {
            const QList<HttpRequest> requests = hub.requests();
            return std::any_of(requests.begin(), requests.end(),
                               [&](const HttpRequest& request) { return request.path.endsWith("/" + file); });
        });
    };

    ASSERT_TRUE(QFile::remove(turbo.location()));
    ModelCatalog::settleDefault();
    EXPECT_EQ(SettingsStore::shared().stringForKey(SettingsKey::modelID), QStringLiteral("gigaam-v3"));
    controller.begin(DictationController::Source::toggle);
    EXPECT_EQ(panelTitle(), QStringLiteral("Модель не загружена"));
    EXPECT_TRUE(asked("encoder.int8.onnx"));
    EXPECT_EQ(hub.requests().size(), 1);
    const Alert welcome = NoticeTexts::firstRun(HotkeyManager::Offer{}, true);
    EXPECT_EQ(welcome.message, QStringLiteral("Толван загружает модель"));
    EXPECT_TRUE(welcome.informativeText.contains(QStringLiteral("«GigaAM-v3 (Сбер)» (222 МБ")));
    EXPECT_TRUE(welcome.informativeText.contains(QStringLiteral("Модель — GigaAM-v3: без ускорения на видеокарте "
                                                                "Whisper Turbo распознаёт медленнее, чем вы говорите")))
        << welcome.informativeText.toStdString();
    ASSERT_TRUE(TestModels::placeDefault());
    EXPECT_EQ(EngineRouter::activeModel().id, QStringLiteral("gigaam-v3"));

    SettingsStore::shared().setString(SettingsKey::modelID, QStringLiteral("small"));
    ModelCatalog::settleDefault();
    controller.begin(DictationController::Source::toggle);
    EXPECT_TRUE(asked("ggml-small.bin"));
    EXPECT_EQ(EngineRouter::activeModel().id, QStringLiteral("small"));

    QSettings(Paths::settingsFile(), QSettings::IniFormat).remove(SettingsKey::modelID);
    ModelCatalog::settleDefault();
    EXPECT_EQ(SettingsStore::shared().stringForKey(SettingsKey::modelID), turbo.id);
}

// A recognizer that takes twice as long as the speech is told once, while the user waits for it, with a faster
// model to choose; from then on the pieces of a recording are not recognized at each pause but joined into one
// request, and the text is the same.
TEST_F(DictationControllerTest, ARecognizerSlowerThanSpeechIsToldOnceAndHearsThePausesJoined)
{
    qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "2000");
    startServer();
    for (int count = 1; count <= RecognitionSpeed::measuredAfter; ++count) {
        dictate(1200);
        EXPECT_NE(panelTitle(), QStringLiteral("Модель распознаёт медленнее, чем вы говорите"));
        ASSERT_TRUE(waitFor([&] { return pastes().size() == std::size_t(count); })) << appLog().toStdString();
    }
    const std::optional<RecognitionSpeed::Figure> measured = RecognitionSpeed::of(ModelCatalog::turboModelID());
    ASSERT_TRUE(measured);
    EXPECT_GT(measured->factor, 1.5);
    EXPECT_TRUE(
        RecognitionSpeed::describe(ModelCatalog::turboModelID()).startsWith(QStringLiteral("медленнее речи: ")));

    // A quick server again, to keep the test short: the figure measured stays, and so does the joining.
    const QString joinedRecord = TestEnvironment::makeDirectory(QStringLiteral("whisper-joined"));
    qputenv("FAKE_WHISPER_RECORD_DIR", joinedRecord.toUtf8());
    qputenv("FAKE_WHISPER_DELAY_PER_AUDIO_SECOND_MS", "20");
    startServer();
    const int warmUp = requestsIn(joinedRecord);
    controller.begin(DictationController::Source::toggle);
    for (int pause = 0; pause < 3; ++pause)
        speak(3200, 900);
    speak(1500);
    EXPECT_EQ(requestsIn(joinedRecord), warmUp) << "nothing is recognized at the pauses";
    controller.finish();
    EXPECT_EQ(panelTitle(), QStringLiteral("Модель распознаёт медленнее, чем вы говорите"));
    EXPECT_TRUE(appLog().contains(QStringLiteral("Модель распознаёт медленнее, чем вы говорите: «Turbo v3» тратит ")))
        << appLog().toStdString();
    EXPECT_TRUE(appLog().contains(QStringLiteral("для русской речи быстрее «GigaAM-v3 (Сбер)»")));
    ASSERT_TRUE(waitFor([&] { return pastes().size() == 4; })) << appLog().toStdString();
    EXPECT_EQ(requestsIn(joinedRecord), warmUp + 1);
    EXPECT_EQ(pastes().back().text,
              QStringLiteral("Фраза около 3 с. Фраза около 3 с. Фраза около 3 с. Фраза около 2 с."));

    dictate(1200);
    EXPECT_EQ(panelTitle(), QStringLiteral("Распознаю…")) << "told once";
    EXPECT_EQ(SettingsStore::shared().stringArrayForKey(SettingsKey::slowModelsTold),
              QStringList{ModelCatalog::turboModelID()});
}

// Only a recording of more than 4000 samples with at least 250 ms judged voiced goes on to recognition.
TEST(DictationControllerAlone, DropsARecordingTooShortOrWithoutEnoughSound)
{
    ASSERT_TRUE(TestModels::placeDefault());
    qputenv("TOLVAN_VAD_MODEL", QByteArray("/nonexistent/silero_vad.onnx"));
    // No recognizer to start: a recording that is not dropped fails at once and is kept.
    qunsetenv("TOLVAN_WHISPER_BIN");
    qputenv("TOLVAN_RESOURCES_DIR", TestEnvironment::makeDirectory(QStringLiteral("no-resources")).toUtf8());
    SettingsStore::shared().setBool(SettingsKey::sounds, false);
    auto* mic = new FakeCapture;
    DictationController controller(std::make_unique<AudioRecorder>(std::unique_ptr<MicrophoneCapture>(mic)));

    const std::tuple<std::size_t, std::size_t, const char*> cases[] = {
        {4000, 4000, "слишком коротко (250 мс)"},
        {4001, 4000, nullptr},
        {8000, 3999, "звука 249 мс из 500 мс"},
    };
    for (const auto& [samples, voiced, dropped] : cases) {
        const qsizetype logStart = appLog().size();
        controller.begin(DictationController::Source::toggle);
        mic->onBlock(std::vector<std::int16_t>(voiced, 4000));
        mic->onBlock(std::vector<std::int16_t>(samples - voiced, 0));
        controller.finish();
        const QString logged = appLog().mid(logStart);
        if (dropped)
            EXPECT_TRUE(logged.contains(QStringLiteral("Запись отброшена: ") + dropped)) << logged.toStdString();
        else
            EXPECT_FALSE(logged.contains(QStringLiteral("Запись отброшена"))) << logged.toStdString();
    }
}
