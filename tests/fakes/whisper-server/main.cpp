// Behaves like whisper.cpp's whisper-server as captured from a real build, with Tolvan's patch (it listens on the
// Unix socket that --socket names, and has no /load route): loads the model before it listens, answers GET / with its
// HTML page, unknown paths with a text 404, POST /inference with a multipart form by the recorded verbose_json answer
// or 400 "Invalid request", ends with 0 on SIGTERM, and ends with status 0 on an unknown flag or language.
// FAKE_WHISPER_* variables script failures (FakeProgram reads RECORD_DIR, EXIT_AFTER_MS and EXIT_CODE):
//   START_DELAY_MS    model loading time before the port opens (SIGTERM is only noted meanwhile)
//   LOADED_WHEN_FILE  the model loads until this file exists (after START_DELAY_MS), so that a test can act
//                     while the port is still closed
//   WARMUP_STATUS     status of the first POST /inference (an inference failure, JSON body)
//   ANSWER_FILE, ANSWER_STATUS  the body and status of every other POST /inference
//   DELAY_PER_AUDIO_SECOND_MS  time one recognition takes per second of audio (nothing is sent meanwhile)
//   BUSY=1            that time is spent working, half of it on the processor, as a recognizer that is slow
//                     but alive is seen from outside; otherwise it is slept
//   SEGMENTS_FROM_AUDIO=1  answer with one segment per stretch of sound in the WAV (stretches apart by 0.5 s
//                     of silence), "Фраза около N с.", with its times, so that the answer depends only on the audio
//   FAIL_REQUESTS     comma-separated numbers of POST /inference requests (the warm-up is 1) answered with 500
//   CHAOS=SEED        every recognition after the warm-up, chosen at random from SEED: the recorded answer,
//                     a 500, JSON cut short, no answer at all, or the process dying before it answers
// The record directory gets args.txt, pid.txt and the body of every inference request (request-N.body).
#include "support/FakeProgram.h"
#include "support/LocalHttpServer.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <utility>

namespace
{

const FakeProgram fake("WHISPER");

// Flag → how many values follow it: the real program's flags that Tolvan passes.
const QHash<QString, int> knownFlags{{"-m", 1}, {"--socket", 1}, {"-t", 1}, {"-l", 1}, {"-sns", 0}};

const QStringList languages = QStringLiteral("auto en ru uk be kk de fr es it pl pt zh ja").split(u' ');

// The part of a multipart form named "file"; empty when there is none.
QByteArray uploadedFile(const HttpRequest& request)
{
    const QByteArray type = request.header("content-type");
    const QByteArray& body = request.body;
    const qsizetype part = body.indexOf("name=\"file\"");
    const qsizetype start = body.indexOf("\r\n\r\n", part) + 4;
    const qsizetype end = body.indexOf("\r\n--" + type.mid(type.indexOf("boundary=") + 9), start);
    if (!type.startsWith("multipart/form-data; boundary=") || part < 0 || end < 0)
        return {};
    return body.mid(start, end - start);
}

HttpResponse failure(int status)
{
    return HttpResponse::json(R"({"error":"failed to process audio"})", status);
}

HttpResponse segmentsOfSound(const QByteArray& wav)
{
    constexpr qsizetype silenceBetween = 8000;
    const auto* samples = reinterpret_cast<const qint16*>(wav.constData() + 44);
    const qsizetype count = (wav.size() - 44) / 2;
    QJsonArray segments;
    QStringList texts;
    qsizetype start = -1, lastLoud = -1;
    const auto close = [&] {
        // Whole seconds: a stretch captured twice through the sound server may differ by a few ms.
        const QString text =
            QStringLiteral(" Фраза около %1 с.").arg(qRound(double((lastLoud + 1 - start) / 16) / 1000.0));
        texts << text;
        segments.append(QJsonObject{{"id", segments.size()},
                                    {"text", text},
                                    {"start", double(start) / 16000.0},
                                    {"end", double(lastLoud + 1) / 16000.0},
                                    {"avg_logprob", -0.2},
                                    {"no_speech_prob", 0.01}});
    };
    for (qsizetype index = 0; index < count; ++index) {
        if (std::abs(int(samples[index])) < 300)
            continue;
        if (start >= 0 && index - lastLoud > silenceBetween)
            close();
        if (start < 0 || index - lastLoud > silenceBetween)
            start = index;
        lastLoud = index;
    }
    if (start >= 0)
        close();
    const QJsonObject answer{{"task", "transcribe"}, {"text", texts.join(QString())}, {"segments", segments}};
    return HttpResponse::json(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

void work(int ms)
{
    QElapsedTimer spent;
    spent.start();
    while (spent.elapsed() < ms) {
        QElapsedTimer spin;
        spin.start();
        while (spin.nsecsElapsed() < 5000000) {
        }
        QThread::msleep(5);
    }
}

HttpResponse inference(const HttpRequest& request, std::optional<QRandomGenerator>& chaos)
{
    static int number = 0;
    ++number;
    fake.record(QStringLiteral("request-%1.body").arg(number), request.body);
    const QByteArray file = uploadedFile(request);
    if (file.size() < 44 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return HttpResponse::text(400, "Invalid request");
    if (number == 1 && fake.number("WARMUP_STATUS", 200) != 200)
        return failure(fake.number("WARMUP_STATUS"));
    if (chaos && number > 1) {
        switch (chaos->bounded(5)) {
        case 1:
            return failure(500);
        case 2:
            return HttpResponse::text(200, R"({"text":" Обрыв)", "application/json");
        case 3:
            return HttpResponse{.delayMs = -1};
        case 4:
            std::_Exit(134);
        default:
            break;
        }
    }
    if (fake.text("FAIL_REQUESTS").split(u',').contains(QString::number(number)))
        return failure(500);
    const QString answer =
        fake.text("ANSWER_FILE", QStringLiteral(FAKE_WHISPER_FIXTURES "/scripted_verbose_speech.json"));
    HttpResponse response = fake.isOn("SEGMENTS_FROM_AUDIO") && number > 1
                                ? segmentsOfSound(file)
                                : HttpResponse::json(TestFiles::read(answer), fake.number("ANSWER_STATUS", 200));
    const qint64 audioMs = (file.size() - 44) / 32;
    response.delayMs = int(audioMs * fake.number("DELAY_PER_AUDIO_SECOND_MS") / 1000);
    if (fake.isOn("BUSY"))
        work(std::exchange(response.delayMs, 0));
    return response;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    fake.recordArguments(arguments);
    fake.record(QStringLiteral("pid.txt"), QByteArray::number(QCoreApplication::applicationPid()));
    FakeProgram::countTerminations();
    // Like the real server, a flag or language it does not know ends it with the usage and status 0.
    const std::optional<QHash<QString, QString>> flags =
        FakeProgram::parseFlags(arguments, knownFlags, "error: unknown argument");
    if (!flags)
        return 0;
    const QString model = flags->value("-m", QStringLiteral("models/ggml-base.en.bin"));
    const QString socketPath = flags->value("--socket");
    const QString language = flags->value("-l", QStringLiteral("en"));
    if (!languages.contains(language)) {
        std::fprintf(stderr, "error: unknown language '%s'\n", qPrintable(language));
        return 0;
    }

    std::fprintf(stderr, "whisper_init_from_file_with_params_no_state: loading model from '%s'\n", qPrintable(model));
    QThread::msleep(static_cast<unsigned long>(fake.number("START_DELAY_MS")));
    const QString loadedWhen = fake.text("LOADED_WHEN_FILE");
    while (!loadedWhen.isEmpty() && !QFileInfo::exists(loadedWhen) && FakeProgram::terminations() == 0)
        QThread::msleep(5);
    if (!QFileInfo(model).isFile()) {
        std::fprintf(stderr, "whisper_init_from_file_with_params_no_state: failed to open '%s'\n", qPrintable(model));
        std::fprintf(stderr, "error: failed to initialize whisper context\n");
        return 3;
    }
    if (FakeProgram::terminations() > 0)
        return 0;

    std::optional<QRandomGenerator> chaos;
    if (!fake.text("CHAOS").isEmpty())
        chaos.emplace(quint32(fake.number("CHAOS")) + quint32(QCoreApplication::applicationPid()));
    LocalHttpServer server([&](const HttpRequest& request) {
        if (request.method == "GET" && request.path == "/")
            return HttpResponse::text(200, "<html><head><title>Whisper.cpp Server</title></head></html>", "text/html");
        if (request.method == "POST" && request.path == "/inference")
            return inference(request, chaos);
        return HttpResponse::text(404, "File Not Found (" + request.path + ")");
    });
    if (!server.listenOn(socketPath)) {
        std::fprintf(stderr, "\ncouldn't bind to server socket: hostname=%s port=8080\n\n", qPrintable(socketPath));
        return 1;
    }
    // Block-buffered, as when the real server's output goes to a file: it appears at exit.
    std::cout << "\nwhisper server listening at http://" << socketPath.toStdString() << ":8080\n\n";
    fake.whileRunning(10, [] {
        std::cout << "Caught signal 15, shutting down gracefully...\n";
        QCoreApplication::exit(0);
    });
    return application.exec();
}
