#pragma once

#include "dictation/FileRecognition.h"

#include <QObject>
#include <QString>

class DictationController;

// The menu's «Распознать аудиофайл…»: asks for the file and recognizes it with the active engine, the progress in
// the dictation panel while no dictation needs it. The text goes onto the clipboard and to the head of the history,
// never into a window: the user chose a file, not a place to type. Main thread.
class TranscribeFileFlow : public QObject
{
    Q_OBJECT

public:
    static const QString dialogFilter;

    explicit TranscribeFileFlow(DictationController& dictations, QObject* parent = nullptr);

    bool running() const { return recognition_.running(); }
    // Opens the file dialog, then recognizes the file chosen.
    void start();
    void recognize(const QString& path);
    void stop();

private:
    void finished(const Result<QString>& text);
    void showFailure(const Error& error);
    // The panel is the dictations' first: a recording or a recognition under way keeps it.
    void showInPanel(const QString& message, bool transient);

    DictationController& dictations_;
    FileRecognition recognition_;
};
