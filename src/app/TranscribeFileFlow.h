#pragma once

#include "dictation/FileRecognition.h"

#include <QObject>
#include <QString>

class EngineRouter;
class OverlayHUD;

// The menu's «Распознать аудиофайл…»: asks for the file and recognizes it with the active engine, the progress in
// the dictation panel. The text goes onto the clipboard and to the head of the history, never into a window: the
// user chose a file, not a place to type. Main thread.
class TranscribeFileFlow : public QObject
{
    Q_OBJECT

public:
    static const QString dialogFilter;

    TranscribeFileFlow(EngineRouter& engines, OverlayHUD& hud, QObject* parent = nullptr);

    bool running() const { return recognition_.running(); }
    // Opens the file dialog, then recognizes the file chosen.
    void start();
    void stop();

private:
    void recognize(const QString& path);
    void finished(const Result<QString>& text);
    void showFailure(const Error& error);

    OverlayHUD& hud_;
    FileRecognition recognition_;
};
