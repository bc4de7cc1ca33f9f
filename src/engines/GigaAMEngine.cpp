#include "engines/GigaAMEngine.h"

#include "children/ChildProcess.h"
#include "core/MainThread.h"
#include "core/PrivateFiles.h"
#include "core/Resources.h"
#include "core/Utf8.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "platform/Processes.h"
#include "transcript/Segments.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace
{

constexpr double tailSeconds = 0.24;

Error engineError(const QString& message)
{
    return Error::tolvan(40, message);
}

Error unparsable()
{
    return engineError(QStringLiteral("не удалось разобрать ответ sherpa-onnx"));
}

QString trimmedSpacesAndTabs(const QString& text)
{
    const auto isBlank = [](QChar character) { return character == u' ' || character == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QStringList stringsOf(const QJsonValue& value)
{
    QStringList strings;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        if (!element.isString())
            return {};
        strings.append(element.toString());
    }
    return strings;
}

std::vector<double> numbersOf(const QJsonValue& value)
{
    std::vector<double> numbers;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        if (!element.isDouble())
            return {};
        numbers.push_back(element.toDouble());
    }
    return numbers;
}

Error modelMissing()
{
    return engineError(QStringLiteral("модель GigaAM не загружена"));
}

// The recognizer: TOLVAN_SHERPA_BIN as given, else the bundled one when it exists.
std::optional<QString> recognizerProgram()
{
    const QString program = Resources::sherpaOffline();
    if (!qEnvironmentVariableIsEmpty("TOLVAN_SHERPA_BIN") || QFileInfo(program).isFile())
        return program;
    return std::nullopt;
}

} // namespace

GigaAMEngine& GigaAMEngine::shared()
{
    // Kept for the life of the process: its worker never outlives the objects it uses.
    static GigaAMEngine* const instance = new GigaAMEngine;
    return *instance;
}

GigaAMEngine::GigaAMEngine() : GigaAMEngine(Timing{}) {}

GigaAMEngine::GigaAMEngine(Timing timing) : timing_(timing), worker_([this] { work(); }) {}

GigaAMEngine::~GigaAMEngine()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void GigaAMEngine::start()
{
    started_ = true;
    startProblem_ = modelProblem();
    // Only our own program serves; a copy named by TOLVAN_SHERPA_BIN is run once per recording.
    const QString program = Resources::bundledSherpaOffline();
    if (startProblem_ || !qEnvironmentVariableIsEmpty("TOLVAN_SHERPA_BIN") || !QFileInfo(program).isFile()) {
        server_.reset();
        return;
    }
    QStringList serving = arguments(ModelCatalog::byID(QStringLiteral("gigaam-v3")).location(),
                                    ChildProcess::recognizerThreadCount(), QString());
    serving.last() = QStringLiteral("--serve");
    if (server_ && server_->isStarted() && server_->arguments() == serving)
        return;
    if (!server_) {
        server_ = std::make_unique<GigaAMServer>();
        GigaAMServer::Timing timing;
        timing.watchdogMs = timing_.watchdogMs;
        timing.server.terminationGraceMs = timing_.terminationGraceMs;
        server_->setTiming(timing);
    }
    server_->start(program, serving);
}

void GigaAMEngine::stop()
{
    started_ = false;
    startProblem_.reset();
    server_.reset();
}

qint64 GigaAMEngine::servingProcessId() const
{
    return server_ ? server_->processId() : 0;
}

void GigaAMEngine::endStrays()
{
    ChildServer::endStrays(Resources::bundledSherpaOffline(),
                           QStringLiteral("Остановлено оставшихся sherpa-onnx-offline: %1"));
}

std::optional<Error> GigaAMEngine::modelProblem()
{
    const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
    if (model.engine != EngineKind::gigaam || !ModelManager::isDownloaded(model))
        return modelMissing();
    // Each line "symbol number"; a list the library cannot read would fail every recording.
    QFile tokens(model.filePath(model.files.indexOf(QStringLiteral("tokens.txt"))));
    static const QRegularExpression entry(QStringLiteral("^.* [0-9]+\r?$"));
    if (!tokens.open(QIODevice::ReadOnly) ||
        !entry.match(QString::fromUtf8(tokens.readLine()).remove(QLatin1Char('\n'))).hasMatch())
        return engineError(QStringLiteral("файл tokens.txt модели GigaAM повреждён (загрузите модель заново)"));
    return std::nullopt;
}

void GigaAMEngine::transcribe(QByteArray wav, Completion<TranscriptionResult> completion)
{
    if (MainThread::isCurrent() && started_) {
        if (startProblem_)
            completion(*startProblem_);
        else if (server_)
            server_->transcribe(wav, std::move(completion));
        else
            queue(std::move(wav), std::move(completion));
        return;
    }
    queue(std::move(wav), std::move(completion));
}

void GigaAMEngine::queue(QByteArray wav, Completion<TranscriptionResult> completion)
{
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back([this, wav = std::move(wav), completion = std::move(completion)] { completion(run(wav)); });
    }
    wake_.notify_one();
}

void GigaAMEngine::work()
{
    QThread::currentThread()->setObjectName(QStringLiteral("tolvan.gigaam"));
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

QStringList GigaAMEngine::arguments(const QString& modelDirectory, int threads, const QString& wavPath)
{
    const QString base = modelDirectory + QLatin1Char('/');
    return {QStringLiteral("--encoder=") + base + QStringLiteral("encoder.int8.onnx"),
            QStringLiteral("--decoder=") + base + QStringLiteral("decoder.onnx"),
            QStringLiteral("--joiner=") + base + QStringLiteral("joiner.onnx"),
            QStringLiteral("--tokens=") + base + QStringLiteral("tokens.txt"),
            QStringLiteral("--model-type=nemo_transducer"),
            QStringLiteral("--num-threads=") + QString::number(threads),
            wavPath};
}

Result<TranscriptionResult> GigaAMEngine::run(const QByteArray& wav) const
{
    const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
    if (model.engine != EngineKind::gigaam || !ModelManager::isDownloaded(model))
        return modelMissing();

    // The user's speech: in a directory of its own that only the user can enter, gone (with the file) when
    // the recognition ends, on every path.
    const std::unique_ptr<QTemporaryDir> directory = PrivateFiles::temporaryDirectory(QStringLiteral("gigaam"));
    if (!directory->isValid())
        return Error::system(QStringLiteral("QTemporaryDir"), QFileDevice::OpenError, directory->errorString());
    const QString wavPath =
        directory->filePath(QStringLiteral("tolvan-gigaam-") +
                            QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".wav"));
    if (const Result<Done> written = PrivateFiles::writeNew(wavPath, wav); !written)
        return written.error();

    const std::optional<QString> program = recognizerProgram();
    if (!program)
        return engineError(QStringLiteral("в бандле нет sherpa-onnx (переустановите приложение)"));
    const Result<QByteArray> output = recognize(*program, wavPath);
    if (!output)
        return output.error();
    return parseOutput(output.value());
}

Result<QByteArray> GigaAMEngine::recognize(const QString& program, const QString& wavPath) const
{
    const RecognitionModel model = ModelCatalog::byID(QStringLiteral("gigaam-v3"));
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments(model.location(), ChildProcess::recognizerThreadCount(), wavPath));
    process.setStandardErrorFile(QProcess::nullDevice());
    // The worker thread that starts it lives as long as the engine, which waits for every recognition.
    Processes::endWithParent(process);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return Error::system(QStringLiteral("QProcess"), process.error(), process.errorString());
    if (!process.waitForFinished(timing_.watchdogMs)) {
        process.terminate();
        if (!process.waitForFinished(timing_.terminationGraceMs)) {
            process.kill();
            process.waitForFinished(-1);
        }
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return engineError(QStringLiteral("sherpa-onnx завершился с кодом %1").arg(process.exitCode()));
    return process.readAllStandardOutput();
}

Result<TranscriptionResult> GigaAMEngine::parseOutput(const QByteArray& output)
{
    const std::optional<QString> text = Utf8::decode(output);
    if (!text)
        return engineError(QStringLiteral("пустой вывод sherpa-onnx"));
    const QStringList lines = text->split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [](const QString& candidate) { return candidate.contains(u"\"text\""); });
    if (line == lines.end())
        return unparsable();
    const QJsonDocument document = QJsonDocument::fromJson(line->toUtf8());
    const QJsonValue recognized = document.object().value(QLatin1String("text"));
    if (!document.isObject() || !recognized.isString())
        return unparsable();
    const QJsonObject object = document.object();
    return TranscriptionResult{recognized.toString(),
                               segments(stringsOf(object.value(QLatin1String("tokens"))),
                                        numbersOf(object.value(QLatin1String("timestamps"))), segmentGapMs)};
}

std::vector<SpeechSegment> GigaAMEngine::segments(const QStringList& tokens, const std::vector<double>& timestamps,
                                                  int gapMs)
{
    std::vector<SpeechSegment> result;
    if (tokens.isEmpty() || static_cast<size_t>(tokens.size()) != timestamps.size())
        return result;
    QString current = tokens.front();
    double segmentStart = timestamps.front();
    // A piece whose times do not fit in milliseconds, start before the recording or go back is left out, as
    // the segment parser does.
    const auto close = [&](double endSeconds) {
        const QString text = trimmedSpacesAndTabs(current);
        const std::optional<int64_t> startMs = Segments::scaledTime(segmentStart, 1000);
        const std::optional<int64_t> endMs = Segments::scaledTime(endSeconds, 1000);
        if (!text.isEmpty() && startMs && endMs && *startMs >= 0 && *endMs >= *startMs)
            result.push_back(SpeechSegment{text, *startMs, *endMs, 0, 0});
        current.clear();
    };
    for (qsizetype index = 1; index < tokens.size(); ++index) {
        const double now = timestamps[index];
        const double before = timestamps[index - 1];
        const QString& token = tokens.at(index);
        // In whole milliseconds: 1.0 − 0.4 is a hair under 0.6 in binary.
        if (std::round(now * 1000) - std::round(before * 1000) >= gapMs && !current.isEmpty() &&
            token.startsWith(QLatin1Char(' '))) {
            close(before + tailSeconds);
            segmentStart = now;
        }
        current += token;
    }
    close(timestamps.back() + tailSeconds);
    return result;
}
