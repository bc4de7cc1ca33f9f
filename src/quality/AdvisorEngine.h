#pragma once

#include "children/ChildServer.h"
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
#include <vector>

class FileDownload;

// The local language-model style advisor. It keeps a llama-server child on a Unix socket in a private folder with a
// Qwen3-4B instruct model (through ChildServer, which talks to nothing but the child's own socket), started on the
// first request and stopped after a while without one, downloads that model on demand from a fixed commit of its
// repository (hub first, then the mirror for the rest of the run; both have to deliver the same bytes), and turns one
// phrase into advice for a style. Each start gives the server a fresh API key that other users cannot read, so that
// nobody else gets answers from it. Lives on the main thread: state changes, callbacks and completions all happen
// there.
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
        // Readiness (the model has about a minute to load) and the end of a stopped child.
        ChildServer::Timing server;
        int requestTimeoutMs = 120 * 1000;
        // Measured from the last completed request.
        int idleShutdownMs = 300 * 1000;
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
        // A download growing past this is stopped and thrown away.
        qint64 rejectedAbove = 2'700'000'000;
        // The digest a finished download has to have (see ContentHash); without one only the hub is asked.
        QString hash = modelHash;
    };

    static inline const QString repository = QStringLiteral("unsloth/Qwen3-4B-Instruct-2507-GGUF");
    static inline const QString revision = QStringLiteral("a06e946bb6b655725eafa393f4a9745d460374c9");
    static inline const QString modelFileName = QStringLiteral("Qwen3-4B-Instruct-2507-Q4_K_M.gguf");
    static inline const QString modelHash =
        QStringLiteral("sha256:3605803b982cb64aead44f6c1b2ae36e3acdb41d8e46c8a94c6533bc4c67e597");
    static constexpr int errorCode = 50;
    static constexpr int incompleteDownloadCode = 51;

    // The process's advisor, created on the main thread on first use and owned by the application object.
    static AdvisorEngine& shared();

    // Separate engines are for tests; the application uses shared().
    explicit AdvisorEngine(QObject* parent = nullptr);
    AdvisorEngine(Timing timing, ModelSizes sizes, QObject* parent = nullptr);
    ~AdvisorEngine() override;

    const State& state() const { return state_; }
    const QString& socketPath() const { return child_.socketPath(); }
    // Counts the server's starts and stops; tests read it.
    quint64 generation() const { return child_.generation(); }
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
    static QStringList serverArguments(const QString& modelPath, const QString& socketPath, int threads);
    // The download address of the model below a hub's base address.
    static QString modelAddress(const QString& base);
    // TOLVAN_LLAMA_BIN as given, else the bundled program if it exists, else nothing.
    static std::optional<QString> serverExecutable();

signals:
    // Every assignment to the state, on the main thread, one each, in order.
    void stateChanged(const AdvisorEngine::State& state);

private:
    void setState(const State& state);
    static Error error(const QString& message);

    void startServerIfNeeded(std::function<void(bool)> then);
    void launch(const QString& executable);
    // Ready when GET /health answers 200 with "ok": while the model loads the server answers 503.
    void probe(const std::function<void(bool)>& answer);
    void childFailed(const ChildServer::Failure& failure);
    // Tells everyone waiting for the server whether it started.
    void settleWaiting(bool started);
    void request(const QString& text, const QString& style, qint64 intensity, Completion<Advice> completion);
    void scheduleIdleShutdown();

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
    ChildServer child_;
    // The running server's API key, sent with every request.
    QByteArray apiKey_;
    // Requests waiting for the server to start.
    std::vector<std::function<void(bool)>> waiting_;
    DelayedCall idleShutdown_;
    QNetworkAccessManager downloads_;
};
