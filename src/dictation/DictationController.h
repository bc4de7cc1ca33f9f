#pragma once

#include "dictation/Dictation.h"
#include "dictation/DictationDisplay.h"
#include "dictation/DictationList.h"
#include "dictation/EngineRouter.h"
#include "dictation/TextDelivery.h"
#include "recording/AudioRecorder.h"
#include "recording/KeptRecordings.h"
#include "transcript/TranscriptionResult.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// Drives the dictations from the hotkey to the inserted text: records, rejects recordings that are too
// short or silent, hands the WAV to the active model's recognizer (queued until the whisper server is
// ready), turns the result into text and gives it to the delivery. A recording whose recognition fails is kept
// in the recordings folder (in memory while it cannot be written there), never lost. Each dictation is one record
// moving through its states; what the tray and the key grabs show follows from them. Owns the recorder, the whisper
// server client; what the panel shows goes out through its display. Main thread only.
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
    using Source = Dictation::Source;

    explicit DictationController(std::unique_ptr<AudioRecorder> recorder = std::make_unique<AudioRecorder>(),
                                 QObject* parent = nullptr);
    ~DictationController() override;

    void begin(Source source);
    void finish();
    void cancel();
    // Throws the recording away without a sound, a message or a kept file: it was never meant.
    void abandon();
    // Makes the engine of the active model ready (downloads a missing model first). A running whisper server is
    // restarted; what it was recognizing is recognized again by the engine now active.
    void startServer();
    // The user's prompt or dictionary changed: the recognizer's next requests carry the new prompt.
    void refreshPrompt();

    // Recording while a dictation records, transcribing while one waits for or is with an engine, else idle.
    Phase phase() const;
    // How the recording under way was started.
    std::optional<Source> source() const;
    // What the panel shows.
    DictationDisplay& display() { return display_; }
    WhisperServer& whisperServer() { return engines_.whisperServer(); }
    EngineRouter& engines() { return engines_; }
    // The dictations with an engine.
    int inFlight() const;
    // How long the panel offers to recognize again a recording that could not be written to disk.
    static constexpr double unwrittenBadgeSeconds = 8;
    // How long it tells that the model is slower than speech.
    static constexpr double slowNoticeSeconds = 10;

    // Sends the newest kept recording not already on its way through the usual pipeline; it is deleted once
    // recognized. Recordings that could not be written to disk come first.
    void recognizeSavedRecording();
    // The recordings waiting for an engine that will not come (its model could not be downloaded) are kept, to be
    // recognized from the menu later.
    void keepQueued(const QString& reason);
    // The kept recordings, on disk and in memory.
    int keptCount() const { return kept_.count(); }
    // Called when the application quits: keeps the recording under way (unless too short or silent) and every
    // recording still waiting for or in recognition; texts recognized but not delivered go to the history.
    void keepUnfinished();

signals:
    // After every change the tray icon and the key grabs must follow.
    void phaseChanged();
    // The user tapped the notice that the model is slower than speech.
    void settingsRequested();
    // The paste keystroke for this text went into its window.
    void textPasted(const QString& text);

private:
    using State = Dictation::State;

    // Done and kept dictations are forgotten.
    void moveTo(quint64 id, State state);
    void tellIfSlowerThanSpeech();
    // The profile of the focused window's program; where the route cannot tell the program, the usual profile,
    // which the log says once.
    TextProfile profileOf(const QStringList& windowClass);
    // The microphone is off: what waited for the recording's end goes out.
    void recordingEnded();
    // Ends the recording under way, dropping what it captured.
    void stopRecording();
    void recordingFailedToStart(const Error& error);
    // While recording: pieces of it go to the recognizer at pauses, when it is ready and the user wants it.
    void startPieces(quint64 id);
    // The words of the recording under way recognized so far, as they will be pasted, in the panel.
    void showLiveText(quint64 id, const TranscriptionResult& soFar, std::size_t endSample);
    // What the recognizers are working on goes back to the queue before a restart or a change of engine ends it.
    void takeBackRecognitions();
    // To the active engine, or queued until the whisper server is ready.
    void dispatch(quint64 id);
    void send(quint64 id);
    // To the whisper server in pieces: those recognized while recording cover it up to `coveredUpTo`.
    void sendInPieces(quint64 id, std::size_t coveredUpTo);
    void serverStateChanged(const WhisperServer::State& state);
    void handleResult(quint64 id, quint64 request, const Result<TranscriptionResult>& result);
    void deliverInOrder();
    void flashUnlessRecording(const QString& message);
    void recognitionFailed(quint64 id, const QString& description);
    // The panel says that a recording whose recognition failed could not be written either, and offers to try again.
    void showUnwritten(const Error& error);

    std::unique_ptr<AudioRecorder> recorder_;
    EngineRouter engines_;
    DictationDisplay display_;
    TextDelivery delivery_{display_};
    KeptRecordings kept_;
    // Every dictation not done or kept yet, in the order they began.
    DictationList dictations_;
    quint64 lastRequest_ = 0;
    bool toldUnknownProgram_ = false;
};
