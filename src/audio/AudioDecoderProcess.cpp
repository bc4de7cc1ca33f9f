#include "audio/AudioDecoderProcess.h"

#include "audio/AudioFileDecoder.h"
#include "children/ChildProcess.h"
#include "core/Log.h"
#include "platform/Processes.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace
{

bool writeAll(const QByteArray& bytes)
{
    QFile output;
    return output.open(stdout, QIODevice::WriteOnly) && output.write(bytes) == bytes.size() && output.flush();
}

} // namespace

int AudioDecoderProcess::runChild(const QString& path)
{
    const Result<QByteArray> wav = AudioFileDecoder::decode(path);
    if (wav)
        return writeAll(wav.value()) ? 0 : 1;
    return writeAll(wav.error().description().toUtf8()) ? reasonStatus : 1;
}

AudioDecoderProcess::AudioDecoderProcess(QObject* parent) : QObject(parent) {}

AudioDecoderProcess::~AudioDecoderProcess()
{
    cancel();
}

void AudioDecoderProcess::start(const QString& path, Completion<QByteArray> done)
{
    cancel();
    done_ = std::move(done);
    name_ = QFileInfo(path).fileName();
    auto* process = new QProcess(this);
    // The app itself, in its decoding mode; a program that embeds the recognition (a test) names the app to run.
    process->setProgram(qEnvironmentVariable("TOLVAN_DECODER_BIN", QCoreApplication::applicationFilePath()));
    process->setArguments({QString::fromLatin1(flag), path});
    process->setStandardInputFile(QProcess::nullDevice());
    // Its log lines, as the decoder in this process would write them.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process, &QProcess::finished, this, &AudioDecoderProcess::finished);
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        Log::info(QStringLiteral("Декодер аудиофайла не запустился: ") + process->errorString());
        complete(
            Error::tolvan(AudioFileDecoder::errorCode,
                          QStringLiteral("не удалось прочитать аудиофайл «%1»: декодер не запустился").arg(name_)));
    });
    // Nothing to save: the decoder goes with the app, whatever ends it.
    Processes::killWithParent(*process);
    process_ = process;
    process->start();
}

void AudioDecoderProcess::cancel()
{
    done_ = nullptr;
    ChildProcess::release(process_, this);
}

void AudioDecoderProcess::finished(int exitCode, QProcess::ExitStatus status)
{
    const QByteArray output = process_ ? process_->readAllStandardOutput() : QByteArray();
    if (status == QProcess::NormalExit && exitCode == 0) {
        complete(output);
        return;
    }
    if (status == QProcess::NormalExit && exitCode == reasonStatus) {
        complete(Error::tolvan(AudioFileDecoder::errorCode, QString::fromUtf8(output)));
        return;
    }
    Log::info(QStringLiteral("Декодер аудиофайла «%1» завершился аварийно (статус %2)").arg(name_).arg(exitCode));
    complete(Error::tolvan(
        AudioFileDecoder::errorCode,
        QStringLiteral("не удалось прочитать аудиофайл «%1»: декодер не справился с ним, файл повреждён").arg(name_)));
}

void AudioDecoderProcess::complete(Result<QByteArray> result)
{
    const Completion<QByteArray> done = std::exchange(done_, nullptr);
    ChildProcess::release(process_, this);
    if (done)
        done(std::move(result));
}
