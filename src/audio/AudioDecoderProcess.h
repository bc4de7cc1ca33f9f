#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>

// Decodes an audio file (AudioFileDecoder) in a child process, this program started with `flag`: a file that makes
// FFmpeg crash costs that file, not the app, and a read that never returns (a stalled network mount) holds up no
// one, for cancelling waits for nothing. Main thread.
class AudioDecoderProcess : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* flag = "--decode-audio-file";

    // The child's side: the WAV of the file at `path` on the standard output, or the reason why not there with
    // reasonStatus. The exit status.
    static int runChild(const QString& path);

    explicit AudioDecoderProcess(QObject* parent = nullptr);
    ~AudioDecoderProcess() override;

    // `done` gets what AudioFileDecoder::decode gives; never after cancel(). One file at a time.
    void start(const QString& path, Completion<QByteArray> done);
    void cancel();

private:
    static constexpr int reasonStatus = 3;

    void finished(int exitCode, QProcess::ExitStatus status);
    void complete(Result<QByteArray> result);

    QPointer<QProcess> process_;
    Completion<QByteArray> done_;
    QString name_;
};
