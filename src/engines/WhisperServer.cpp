#include "engines/WhisperServer.h"

#include "core/Log.h"
#include "core/MainThread.h"
#include "core/Resources.h"
#include "engines/ChildProcess.h"
#include "engines/LoopbackHttp.h"
#include "engines/Utf8.h"
#include "engines/WavWriter.h"
#include "model/Segments.h"
#include "platform/Processes.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpServer>
#include <QTimer>
#include <QUuid>

namespace
{

QByteArray textField(const QByteArray& boundary, const QByteArray& name, const QByteArray& value)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

Error unparsable()
{
    return Error::tolvan(12, QStringLiteral("не удалось разобрать ответ"));
}

} // namespace

WhisperServer::WhisperServer(QObject* parent) : QObject(parent) {}

WhisperServer::~WhisperServer()
{
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
}

void WhisperServer::start(const QString& modelPath, const QString& language, const QString& prompt)
{
    stop();
    const quint64 generation = ++generation_;
    const QString executable = Resources::whisperServer();
    if (qEnvironmentVariableIsEmpty("TOLVAN_WHISPER_BIN") && !QFileInfo(executable).isFile()) {
        setState(State::failure(QStringLiteral("в бандле нет whisper-server")));
        return;
    }
    port_ = freePort();

    auto* process = new QProcess(this);
    process->setProgram(executable);
    process->setArguments(arguments(modelPath, port_, ChildProcess::recognizerThreadCount(), language, prompt));
    const QString log = Log::childLog(QStringLiteral("server.log"));
    if (!log.isEmpty()) {
        process->setStandardOutputFile(log, QIODevice::Append);
        process->setStandardErrorFile(log, QIODevice::Append);
    }
    connect(process, &QProcess::finished, this,
            [this, generation](int exitCode, QProcess::ExitStatus) { childExited(generation, exitCode); });
    connect(process, &QProcess::errorOccurred, this, [this, generation, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            launchFailed(generation, process->errorString());
    });

    Processes::endWithParent(*process);

    setState(State{State::starting, {}});
    process_ = process;
    process->start();
    if (!isCurrentStart(generation))
        return;
    Log::info(QStringLiteral("whisper-server: порт %1, модель %2, язык %3")
                  .arg(QString::number(port_), QFileInfo(modelPath).fileName(), language));
    pollReady(generation, 0);
}

void WhisperServer::stop()
{
    ++generation_;
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
    port_ = 0;
    setState(State{State::stopped, {}});
}

void WhisperServer::transcribe(const QByteArray& wav, Completion<TranscriptionResult> completion)
{
    transcribe(wav, QString(), std::move(completion));
}

void WhisperServer::transcribe(const QByteArray& wav, const QString& prompt, Completion<TranscriptionResult> completion)
{
    if (port_ < 1) {
        completion(Error::tolvan(10, QStringLiteral("сервер не запущен")));
        return;
    }
    const QByteArray boundary = "tolvan-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    LoopbackHttp::Request request;
    request.method = "POST";
    request.path = "/inference";
    request.contentType = "multipart/form-data; boundary=" + boundary;
    request.body = multipartParts(boundary, wav, prompt);
    request.idleTimeoutMs = timing_.requestTimeoutMs;
    request.totalTimeoutMs = timing_.requestTotalTimeoutMs;
    LoopbackHttp::send(this, port_, request,
                       [completion = std::move(completion)](const Result<LoopbackHttp::Answer>& answer) {
                           if (!answer)
                               completion(answer.error());
                           else
                               completion(interpretAnswer(answer.value().status, answer.value().body));
                       });
}

void WhisperServer::endStrays()
{
    if (const int ended = Processes::terminateInstances(Resources::bundledWhisperServer()))
        Log::info(QStringLiteral("Остановлено оставшихся whisper-server: %1").arg(ended));
}

quint16 WhisperServer::freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return fallbackPort;
    const quint16 port = probe.serverPort();
    probe.close();
    return port != 0 ? port : fallbackPort;
}

std::vector<SpeechSegment> WhisperServer::parseSegments(const QJsonObject& answer)
{
    return Segments::parseSegments(answer);
}

QStringList WhisperServer::arguments(const QString& modelPath, quint16 port, int threads, const QString& language,
                                     const QString& prompt)
{
    QStringList list{QStringLiteral("-m"),     modelPath,
                     QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("--port"), QString::number(port),
                     QStringLiteral("-t"),     QString::number(threads),
                     QStringLiteral("-l"),     language,
                     QStringLiteral("-sns")};
    if (!prompt.isEmpty())
        list << QStringLiteral("--prompt") << prompt;
    return list;
}

QByteArrayList WhisperServer::multipartParts(const QByteArray& boundary, const QByteArray& wav, const QString& prompt)
{
    QByteArray fields;
    fields += textField(boundary, "response_format", "verbose_json");
    fields += textField(boundary, "temperature", "0.0");
    // Without this the server runs the encoder a second time per request only to report language odds.
    fields += textField(boundary, "no_language_probabilities", "true");
    // The server's defaults are 2.4 and -1.0. A result of more than 32 tokens with an entropy under 2.8 counts
    // as a repetition loop; one whose tokens average a log-probability above -1.25 is kept rather than decoded
    // again at a higher temperature, which is where invented closing phrases come from.
    fields += textField(boundary, "entropy_thold", "2.8");
    fields += textField(boundary, "logprob_thold", "-1.25");
    if (!prompt.isEmpty())
        fields += textField(boundary, "prompt", prompt.toUtf8());
    fields += "--" + boundary + "\r\n";
    fields += "Content-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n";
    fields += "Content-Type: audio/wav\r\n\r\n";
    return {fields, wav, "\r\n--" + boundary + "--\r\n"};
}

QByteArray WhisperServer::multipartBody(const QByteArray& boundary, const QByteArray& wav, const QString& prompt)
{
    return multipartParts(boundary, wav, prompt).join();
}

Result<TranscriptionResult> WhisperServer::interpretAnswer(int status, const QByteArray& body)
{
    if (body.isEmpty())
        return Error::tolvan(11, QStringLiteral("пустой ответ"));
    if (status != 200) {
        const QString start = Utf8::decode(body.left(300)).value_or(QString());
        return Error::tolvan(status, QStringLiteral("HTTP %1: %2").arg(QString::number(status), start));
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isObject()) {
        const QJsonObject answer = document.object();
        std::vector<SpeechSegment> segments = parseSegments(answer);
        const QJsonValue text = answer.value(QLatin1String("text"));
        if (text.isString())
            return TranscriptionResult{text.toString(), std::move(segments)};
        if (segments.empty())
            return unparsable();
        QStringList texts;
        for (const SpeechSegment& segment : segments)
            texts.append(segment.text);
        return TranscriptionResult{texts.join(QLatin1Char(' ')), std::move(segments)};
    }
    // A plain-text answer is a transcript; broken JSON or a web page is not, and must never be pasted.
    const QByteArray start = body.trimmed().left(1);
    if (start == "{" || start == "[" || start == "<")
        return unparsable();
    if (const auto text = Utf8::decode(body))
        return TranscriptionResult{*text, {}};
    return unparsable();
}

void WhisperServer::setState(const State& state)
{
    state_ = state;
    MainThread::post(this, [this, state] {
        if (onState)
            onState(state);
    });
}

bool WhisperServer::isCurrentStart(quint64 generation) const
{
    return generation == generation_ && state_.kind == State::starting && process_;
}

void WhisperServer::pollReady(quint64 generation, int attempt)
{
    if (!isCurrentStart(generation))
        return;
    LoopbackHttp::Request probe;
    probe.idleTimeoutMs = timing_.probeTimeoutMs;
    probe.totalTimeoutMs = timing_.probeTimeoutMs;
    LoopbackHttp::send(this, port_, probe, [this, generation, attempt](const Result<LoopbackHttp::Answer>& answer) {
        if (!isCurrentStart(generation))
            return;
        if (answer) {
            warmUp(generation);
        } else if (attempt < timing_.lastProbe) {
            QTimer::singleShot(timing_.probePauseMs, this,
                               [this, generation, attempt] { pollReady(generation, attempt + 1); });
        } else {
            setState(State::failure(QStringLiteral("сервер не отвечает")));
        }
    });
}

void WhisperServer::warmUp(quint64 generation)
{
    const std::vector<int16_t> silence(16000, 0);
    QPointer<WhisperServer> self(this);
    transcribe(WavWriter::data(silence, 16000), [self, generation](const Result<TranscriptionResult>&) {
        if (!self || !self->isCurrentStart(generation))
            return;
        self->setState(State{State::ready, {}});
        Log::info(QStringLiteral("whisper-server готов (прогрет)"));
    });
}

void WhisperServer::childExited(quint64 generation, int exitCode)
{
    if (generation != generation_)
        return;
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
    Log::info(QStringLiteral("whisper-server упал, код %1").arg(exitCode));
    setState(State::failure(QStringLiteral("процесс завершился, код %1").arg(exitCode)));
}

void WhisperServer::launchFailed(quint64 generation, const QString& description)
{
    if (generation != generation_ || !process_)
        return;
    ChildProcess::release(process_, this, timing_.terminationGraceMs);
    port_ = 0;
    setState(State::failure(description));
}
