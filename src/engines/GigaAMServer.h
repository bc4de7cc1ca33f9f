#pragma once

#include "children/ChildServer.h"
#include "core/Result.h"
#include "transcript/TranscriptionResult.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>

class QProcess;

// The GigaAM model kept loaded: one `sherpa-onnx-offline --serve` child (through ChildServer, without a port)
// that gets one recording at a time as a private temporary WAV named on its standard input and answers each with
// a JSON line. Warmed with a second of silence when it starts. A child that dies is started again and gets the
// recording it was recognizing once more; a recording that outlasts the watchdog fails and the child is
// replaced. Main thread; completions run there.
class GigaAMServer : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        ChildServer::Timing server;
        // One recognition, not the process, is given this long.
        int watchdogMs = 180 * 1000;
    };
    // Children a recording is sent to before it fails (the first one and one after a crash).
    static constexpr int attempts = 2;
    // The longest answer line; a process that writes more without ending its line is restarted.
    static constexpr qsizetype maxAnswerBytes = 4 << 20;

    explicit GigaAMServer(QObject* parent = nullptr);
    ~GigaAMServer() override;

    void setTiming(const Timing& timing);
    // Ends a running child and starts this program with these arguments (--serve among them).
    void start(const QString& program, const QStringList& arguments);
    // Ends the child; recordings waiting for it fail.
    void stop();
    bool isStarted() const { return started_; }
    const QStringList& arguments() const { return arguments_; }
    // The running child's process id, 0 without one.
    qint64 processId() const;

    void transcribe(const QByteArray& wav, Completion<TranscriptionResult> completion);

    // One answer line of the child.
    static Result<TranscriptionResult> parseAnswer(const QByteArray& line);

private:
    struct Request
    {
        std::unique_ptr<QTemporaryDir> directory;
        QString wavPath;
        Completion<TranscriptionResult> completion;
        int tries = 0;
    };

    void launch();
    void warmUp(const std::function<void(bool)>& answer);
    static std::optional<Request> prepare(const QByteArray& wav, Completion<TranscriptionResult>& completion);
    void sendNext();
    void send(Request request);
    void readAnswers(const QPointer<QProcess>& process);
    void complete(const Result<TranscriptionResult>& result);
    void childFailed(const ChildServer::Failure& failure);
    void watchdogFired();
    void overflowed();
    // The recording in flight fails (or every one waiting, while the model warms up) and the process starts anew.
    void restartWithout(const QString& warmingCause, const QString& cause);
    void failWaiting(const Error& error);

    ChildServer child_;
    Timing timing_;
    ChildServer::Launch launch_;
    QStringList arguments_;
    bool started_ = false;
    bool warming_ = false;
    std::deque<Request> waiting_;
    std::optional<Request> inFlight_;
    QByteArray output_;
    QTimer watchdog_;
};
