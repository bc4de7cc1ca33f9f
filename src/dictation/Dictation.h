#pragma once

#include "platform/ActiveWindow.h"
#include "recording/ChunkCutter.h"
#include "recording/RecognitionChunks.h"
#include "text/TextProfile.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>

class AudioRecorder;

// One dictation on its way from the microphone to the user. It is recorded (or taken up again from the
// recordings folder), waits for the recognizer, is recognized and handed to the delivery; it ends done or with
// its recording kept for later. DictationController holds one while it is not done or kept.
struct Dictation
{
    enum class State
    {
        // The microphone records it; pieces of it may be recognized already.
        recording,
        // Recorded, waiting for the whisper server to be ready.
        queued,
        // With an engine.
        recognizing,
        // Recognized: its text goes to the delivery once every dictation before it has been recognized or kept,
        // so that texts arrive in the order they were dictated.
        delivering,
        // Handed over, or nothing to hand over (cancelled, too short, silent, nothing heard).
        done,
        // Its recording is in the recordings folder, to be recognized later.
        kept,
    };
    enum class Source
    {
        toggle,
        ptt,
    };

    static constexpr std::size_t minimumSamples = 4000;
    static constexpr double minimumVoicedMs = 250.0;

    // Why a recording (a WAV file) is too short or too quiet to be recognized (logged), or nothing when it is not.
    static std::optional<QString> rejection(const QByteArray& wav, double voicedMs);

    // While recording: the recorder's block that ends at `endSample` may complete a piece, which goes to the
    // pieces unless it holds no voice.
    void blockRecorded(const AudioRecorder& recorder, std::size_t endSample, bool voiced);

    State state = State::recording;
    // How its recording was started; none for a kept recording.
    std::optional<Source> source;
    // Complete once recorded.
    QByteArray wav;
    // The window that was active when the user ended the recording; the text goes there.
    ActiveWindow::WindowId target = 0;
    // How the text is shaped: the profile of the program it goes to (while recording, of the focused one).
    TextProfile profile = TextProfile::document;
    // What was recognized, through the transcript pipeline (empty: nothing was heard).
    QString text;
    // Set when the recording comes from the recordings folder.
    QString keptFile;
    // Which of its recognitions counts: the answer to an earlier one, ended by a restart, is stale.
    quint64 request = 0;
    // The pieces recognized while recording, and where the recording was cut; none when it is recognized whole.
    std::unique_ptr<RecognitionChunks> pieces;
    ChunkCutter cutter;
    // When each piece sent while recording was cut, by the sample it ends at: the pause that ended it was heard.
    std::map<std::size_t, std::chrono::steady_clock::time_point> pieceCuts;
};
