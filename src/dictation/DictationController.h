#pragma once

#include "dictation/AudioRecorder.h"
#include "dictation/ChunkCutter.h"
#include "dictation/OverlayHUD.h"
#include "dictation/RecognitionChunks.h"
#include "dictation/TextDelivery.h"
#include "engines/WhisperServer.h"
#include "model/TranscriptionResult.h"
#include "platform/ActiveWindow.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// Drives one dictation from the hotkey to the inserted text: records, rejects recordings that are too
// short or silent, hands the WAV to the active model's recognizer (queued until the whisper server is
// ready), post-processes the text, applies the speech-quality mode and inserts the result into the window
// the user dictated for. A recording whose recognition fails is kept in the recordings folder, never lost.
// Owns the recorder, the whisper server client and the panel. Main thread only.
class DictationController : public QObject
{
    Q_OBJECT

public:
    enum class Phase
    {
        idle,
        recording,
        transcribing,
    };
    enum class Source
    {
        toggle,
        ptt,
    };

    static constexpr std::size_t minimumSamples = 4000;
    static constexpr double minimumVoicedMs = 250.0;
    static constexpr int timerIntervalMs = 500;

    explicit DictationController(std::unique_ptr<AudioRecorder> recorder = std::make_unique<AudioRecorder>(),
                                 QObject* parent = nullptr);
    ~DictationController() override;

    // After every change the tray icon and the key grabs must follow.
    std::function<void()> onPhaseChange;

    void begin(Source source);
    void finish();
    void cancel();
    // Makes the engine of the active model ready (downloads a missing model first). A running whisper server is
    // restarted; what it was recognizing is recognized again by the engine now active.
    void startServer();

    Phase phase() const { return phase_; }
    std::optional<Source> source() const { return source_; }
    OverlayHUD& hud() { return hud_; }
    WhisperServer& server() { return server_; }
    int inFlight() const { return static_cast<int>(inFlight_.size()); }

    // Sends the newest kept recording not already on its way through the usual pipeline; it is deleted once
    // recognized.
    void recognizeSavedRecording();
    // Called when the application quits: keeps the recording under way (unless too short or silent) and every
    // recording still waiting for or in recognition; texts recognized but not delivered go to the history.
    void keepUnfinished();

    // The panel's line while recording: "1:15 · ⏎ готово · Esc отмена" (in a Wayland session the commands).
    static QString timerText(qint64 elapsedSeconds);

private:
    // One recording on its way to the user.
    struct Dictation
    {
        QByteArray wav;
        // The window that was active when the user ended the recording; the text goes there.
        ActiveWindow::WindowId target = 0;
        // Set when the recording comes from the recordings folder.
        QString keptFile;
        // Handed to the whisper server, which a restart ends.
        bool onWhisper = false;
    };

    // The user's prompt followed by the dictionary hint.
    static QString startPrompt();
    void setPhase(Phase phase);
    void tick();
    void stopTimer();
    // Ends the recording under way, dropping what it captured.
    void stopRecording();
    void recordingFailedToStart(const Error& error);
    // Why a recording is too short or too quiet to be recognized (logged), or nothing when it is not.
    static std::optional<QString> rejection(std::size_t sampleCount, double voicedMs);
    // While recording: pieces of it go to the whisper server at pauses, when it is ready and the user wants it.
    void startChunking();
    void blockRecorded(std::size_t endSample, bool voiced);
    // What the whisper server is recognizing, taken back before a restart ends it.
    std::vector<Dictation> takeWhisperRecognitions();
    void enqueue(Dictation dictation);
    void send(Dictation dictation);
    void sendRest(Dictation dictation, std::unique_ptr<RecognitionChunks> chunks);
    void flushPending();
    void serverStateChanged(const WhisperServer::State& state);
    void handleResult(quint64 id, const Result<TranscriptionResult>& result);
    void recognitionFailed(const Dictation& dictation, const QString& description);

    std::unique_ptr<AudioRecorder> recorder_;
    WhisperServer server_;
    OverlayHUD hud_;
    TextDelivery delivery_{hud_};
    Phase phase_ = Phase::idle;
    std::optional<Source> source_;
    QTimer timer_;
    QElapsedTimer recordingClock_;
    std::deque<Dictation> pendingWavs_;
    // The pieces of the running recording recognized so far, and where it was cut.
    std::unique_ptr<RecognitionChunks> chunks_;
    ChunkCutter cutter_;
    // The pieces of finished recordings whose rest is being recognized, by request number.
    std::map<quint64, std::unique_ptr<RecognitionChunks>> finishing_;
    // Handed to an engine, by request number, until their result is handled.
    std::map<quint64, Dictation> inFlight_;
    quint64 nextRequest_ = 0;
};
