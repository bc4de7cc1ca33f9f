#pragma once

#include "core/DelayedCall.h"
#include "core/Error.h"
#include "core/Result.h"
#include "quality/AdvisorText.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class FileDownload;
class QProcess;

// The local language-model style advisor. It keeps a llama-server child on 127.0.0.1 with a Qwen3-4B
// instruct model, started on the first request and stopped after a while without one, downloads that model
// on demand (hub first, then the mirror for the rest of the run), and turns one phrase into advice for a
// style. Lives on the main thread: state changes, callbacks and completions all happen there. Every
// callback of a child or a probe carries the generation it belongs to and is ignored once a newer start or
// stop has happened.
class AdvisorEngine : public QObject
{
    Q_OBJECT

public:
    using Advice = AdvisorText::Advice;

    struct State
    {
        enum Kind
        {
            noModel,
            idle,
            downloading,
            starting,
            ready,
            failed,
        };
        Kind kind = noModel;
        // For `downloading`: 0…1.
        double progress = 0;
        // For `failed`: what the user is told.
        QString message;

        static State downloadingAt(double progress) { return {downloading, progress, {}}; }
        static State failure(const QString& message) { return {failed, 0, message}; }
        bool operator==(const State&) const = default;
    };

    // How long things may take; tests shorten them.
    struct Timing
    {
        int probeTimeoutMs = 2000;
        int probePauseMs = 300;
        // Probes 0.3 s apart give the model about a minute to load.
        int probeCount = 202;
        int requestTimeoutMs = 120 * 1000;
        // Measured from the last completed request.
        int idleShutdownMs = 300 * 1000;
        int terminationGraceMs = 3000;
    };

    // When a model file counts; tests use small files.
    struct ModelSizes
    {
        // The model is on disk when its file is larger than this.
        qint64 presentAbove = 1'920'000'000;
        // A finished download is kept when it is larger than this.
        qint64 acceptedAbove = 900'000'000;
        // The size progress assumes when the server announces none.
        qint64 assumedTotal = 2'400'000'000;
    };

    static inline const QString repository = QStringLiteral("unsloth/Qwen3-4B-Instruct-2507-GGUF");
    static inline const QString modelFileName = QStringLiteral("Qwen3-4B-Instruct-2507-Q4_K_M.gguf");
    static constexpr int errorCode = 50;
    static constexpr int incompleteDownloadCode = 51;

    // The process's advisor, created on the main thread on first use and owned by the application object.
    static AdvisorEngine& shared();

    // Separate engines are for tests; the application uses shared().
    explicit AdvisorEngine(QObject* parent = nullptr);
    AdvisorEngine(Timing timing, ModelSizes sizes, QObject* parent = nullptr);
    ~AdvisorEngine() override;

    // Told, on the main thread, of every assignment to the state (one call each, in order).
    std::function<void(const State&)> onState;

    const State& state() const { return state_; }
    quint16 port() const { return port_; }
    quint64 generation() const { return generation_; }
    QString modelPath() const;
    bool modelDownloaded() const;

    // Advice for one phrase. The style and intensity default to the stored settings; `force` skips the
    // "advisor enabled" setting for callers that asked the user already. "dog" and "cat" always answer,
    // without a model. The completion runs on the main thread, except the two refusals that need no work
    // (advisor off, model missing): those run before suggest returns.
    void suggest(const QString& text, std::optional<QString> style, std::optional<qint64> intensity, bool force,
                 Completion<Advice> completion);
    // Starts the model download unless one runs or the model is there.
    void downloadModel();
    // Stops the server (the child gets SIGTERM, then SIGKILL if it lingers) and the idle timer. A model
    // download goes on, and its progress stays in the state.
    void shutdown();

    // Ends the servers an earlier run left behind: every process of this user running the bundled server file.
    // A program named with TOLVAN_LLAMA_BIN may serve others as well and is left alone.
    static void endStrays();

    // llama-server's command line.
    static QStringList serverArguments(const QString& modelPath, quint16 port, int threads);
    // The download address of the model below a hub's base address.
    static QString modelAddress(const QString& base);

private:
    void setState(const State& state);
    static Error error(const QString& message);
    // TOLVAN_LLAMA_BIN as given, else the bundled program if it exists, else nothing.
    static std::optional<QString> serverExecutable();

    void startServerIfNeeded(std::function<void(bool)> then);
    void launch(const QString& executable, std::function<void(bool)> then);
    void waitReady(quint64 generation, int attempt, std::function<void(bool)> then);
    void abandonStart(const QString& message);
    void request(const QString& text, const QString& style, qint64 intensity, Completion<Advice> completion);
    void scheduleIdleShutdown();
    void childExited(quint64 generation, int exitCode);
    void launchFailed(quint64 generation, const QString& description);
    void endProcess();

    void startDownload();
    void downloadFailed(const Error& error);
    void downloadFinished(const Result<qint64>& placed);
    State restingState() const;

    Timing timing_;
    ModelSizes sizes_;
    State state_;
    // The one download of the model file; cleared as soon as it ends.
    QPointer<FileDownload> download_;
    double downloadProgress_ = 0;
    // Downloads use the mirror once the hub has failed, for the rest of the run.
    bool useMirror_ = false;
    QPointer<QProcess> process_;
    quint16 port_ = 0;
    quint64 generation_ = 0;
    DelayedCall idleShutdown_;
    // Loopback only: never through a proxy.
    QNetworkAccessManager http_;
    QNetworkAccessManager downloads_;
};
