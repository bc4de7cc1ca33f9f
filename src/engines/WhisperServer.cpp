#include "engines/WhisperServer.h"

#include "audio/WavWriter.h"
#include "children/ChildProcess.h"
#include "children/LocalHttp.h"
#include "core/Log.h"
#include "core/MainThread.h"
#include "core/Resources.h"
#include "core/Utf8.h"
#include "engines/WhisperGpu.h"
#include "transcript/Segments.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
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

WhisperServer::WhisperServer(QObject* parent) : QObject(parent)
{
    child_.onStarting = [this] { setState(State{State::starting, {}}); };
    child_.onReady = [this] {
        setState(State{State::ready, {}});
        Log::info(QStringLiteral("whisper-server готов (прогрет)"));
    };
    child_.onFailure = [this](const ChildServer::Failure& failure) { childFailed(failure); };
}

WhisperServer::~WhisperServer() = default;

void WhisperServer::start(const QString& modelPath, const QString& language, const QString& prompt)
{
    stop();
    const QString executable = program();
    if (qEnvironmentVariableIsEmpty("TOLVAN_WHISPER_BIN") && !QFileInfo(executable).isFile()) {
        setState(State::failure(QStringLiteral("в бандле нет whisper-server")));
        return;
    }
    prompt_ = prompt;
    ChildServer::Launch launch;
    launch.name = QStringLiteral("whisper-server");
    launch.program = executable;
    launch.arguments = [=, threads = ChildProcess::recognizerThreadCount()](const QString& socketPath) {
        return arguments(modelPath, socketPath, threads, language);
    };
    launch.logPath = Log::childLog(QStringLiteral("server.log"));
    child_.start(launch, [this](const std::function<void(bool)>& answer) { probe(answer); });
    if (child_.isStarting())
        Log::info(QStringLiteral("whisper-server: модель %1, язык %2, %3")
                      .arg(QFileInfo(modelPath).fileName(), language, QFileInfo(executable).fileName()));
}

void WhisperServer::stop()
{
    child_.stop();
    setState(State{State::stopped, {}});
}

void WhisperServer::transcribe(const QByteArray& wav, Completion<TranscriptionResult> completion)
{
    transcribe(wav, QString(), std::move(completion));
}

void WhisperServer::transcribe(const QByteArray& wav, const QString& prompt, Completion<TranscriptionResult> completion)
{
    const QByteArray boundary = "tolvan-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
    LocalHttp::Request request;
    request.method = "POST";
    request.path = "/inference";
    request.contentType = "multipart/form-data; boundary=" + boundary;
    request.body = multipartParts(boundary, wav, prompt.isEmpty() ? prompt_ : prompt);
    // A recognizer as slow as speech takes as long as the audio lasts.
    const auto audioMs = static_cast<int>(std::max<qsizetype>(wav.size() - WavWriter::headerSize, 0) / 32);
    request.idleTimeoutMs = timing_.requestTimeoutMs + audioMs;
    request.totalTimeoutMs = timing_.requestTotalTimeoutMs + audioMs;
    child_.send(request, [completion = std::move(completion)](const Result<LocalHttp::Answer>& answer) {
        if (!answer)
            completion(answer.error());
        else
            completion(interpretAnswer(answer.value().status, answer.value().body));
    });
}

void WhisperServer::endStrays()
{
    for (const QString& bundled : {Resources::bundledWhisperServer(), Resources::bundledWhisperServerVulkan()})
        ChildServer::endStrays(bundled, QStringLiteral("Остановлено оставшихся whisper-server: %1"));
}

QString WhisperServer::program()
{
    if (!qEnvironmentVariableIsEmpty("TOLVAN_WHISPER_BIN"))
        return Resources::whisperServer();
    return WhisperGpu::accelerated() ? Resources::bundledWhisperServerVulkan() : Resources::bundledWhisperServer();
}

QStringList WhisperServer::arguments(const QString& modelPath, const QString& socketPath, int threads,
                                     const QString& language)
{
    return {QStringLiteral("-m"),       modelPath,
            QStringLiteral("--socket"), socketPath,
            QStringLiteral("-t"),       QString::number(threads),
            QStringLiteral("-l"),       language,
            QStringLiteral("-sns")};
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
        std::vector<SpeechSegment> segments = Segments::parseSegments(answer);
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
    MainThread::post(this, [this, state] { emit stateChanged(state); });
}

void WhisperServer::probe(const std::function<void(bool)>& answer)
{
    LocalHttp::Request page;
    page.idleTimeoutMs = timing_.server.probeTimeoutMs;
    page.totalTimeoutMs = timing_.server.probeTimeoutMs;
    child_.send(page, [this, answer](const Result<LocalHttp::Answer>& reply) {
        if (!reply) {
            answer(false);
            return;
        }
        // Whatever the warm-up brings, the model has been loaded into memory and run once.
        const std::vector<int16_t> silence(16000, 0);
        transcribe(WavWriter::data(silence, 16000), [answer](const Result<TranscriptionResult>&) { answer(true); });
    });
}

void WhisperServer::childFailed(const ChildServer::Failure& failure)
{
    switch (failure.kind) {
    case ChildServer::Failure::exited:
        Log::info(QStringLiteral("whisper-server упал, код %1").arg(failure.exitCode));
        setState(State::failure(QStringLiteral("процесс завершился, код %1").arg(failure.exitCode)));
        break;
    case ChildServer::Failure::launchFailed:
        setState(State::failure(failure.description));
        break;
    case ChildServer::Failure::silent:
        setState(State::failure(QStringLiteral("сервер не отвечает")));
        break;
    case ChildServer::Failure::overflowed:
        setState(State::failure(QStringLiteral("сервер прислал слишком большой ответ")));
        break;
    }
}
