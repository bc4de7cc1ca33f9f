#pragma once

#include <QObject>
#include <QString>

#include <functional>

// What a dictation tells the user in the panel near the bottom of the screen, as signals the panel follows, and
// the panel's buttons coming back. Not a widget: dictations run, and are tested, without one. Every call but
// showTappableBadge may come from any thread; listeners on the main thread get its signals queued.
class DictationDisplay : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The recording state, with its clock, and where the text is going when its profile is not the usual one
    // («→ Терминал»).
    void showRecording(const QString& profileNote = {}) { emit recordingShown(profileNote); }
    // 0…1, the loudness of the microphone.
    void updateLevel(float level) { emit levelChanged(level); }
    // While recording: the text recognized so far.
    void showLiveText(const QString& text) { emit liveTextShown(text); }
    // A spinner with the text.
    void showProcessing(const QString& text) { emit processingShown(text); }
    // A short message that goes by itself.
    void flash(const QString& text) { emit flashShown(text); }
    // A message that runs `onTap` once when the user clicks it; shown for the duration. Main thread only.
    void showTappableBadge(const QString& title, const QString& hint, double durationSeconds,
                           std::function<void()> onTap);
    void hide() { emit hidden(); }
    // The user typed: a message or badge goes, the recording and processing states stay.
    void dismissIfTransient() { emit transientDismissed(); }

    // The panel's badge was clicked.
    void tapBadge();

signals:
    void recordingShown(const QString& profileNote);
    void levelChanged(float level);
    void liveTextShown(const QString& text);
    void processingShown(const QString& text);
    void flashShown(const QString& text);
    void badgeShown(const QString& title, const QString& hint, double durationSeconds);
    void hidden();
    void transientDismissed();
    // The panel's «Готово» and ✕ while recording.
    void doneRequested();
    void cancelRequested();

private:
    std::function<void()> badgeTap_;
};
