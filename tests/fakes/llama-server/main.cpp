// Behaves like llama.cpp's llama-server as captured from a real build: takes exactly the flags of its help
// text (anything else ends it with "error: invalid argument: …" and status 1), opens its port before the
// model is loaded and answers 503 "Loading model" until it is, then GET /health {"status":"ok"} and
// POST /v1/chat/completions with an OpenAI-style answer; the request body is recorded, not checked. SIGTERM ends an
// idle server with 0; during a generation it is ignored (the server hangs, like the real one) until a second SIGTERM
// ends it with 1. Logs go to stderr only. FAKE_LLAMA_* variables script its behaviour (FakeProgram reads RECORD_DIR,
// EXIT_AFTER_MS and EXIT_CODE):
//   LOAD_MS        time the model takes to load (default 20)
//   NEVER_READY=1  the model never finishes loading
//   CONTENT        the assistant's answer text (default a two-line answer with a leading space)
//   CONTENT_FILE   a file holding that text, read anew for every answer
//   REPLY          "content" (default), "server-error" (HTTP 500 with a JSON error) or "garbage" (200 with a
//                  body that is not JSON)
//   GENERATE_MS    time one answer takes
// The record directory gets args.txt, pids.txt (the process id appended) and each chat request (request-N.json).
#include "support/FakeProgram.h"
#include "support/LocalHttpServer.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace
{

const FakeProgram fake("LLAMA");
QElapsedTimer clock_;

void log(char level, const char* component, const QString& message)
{
    const qint64 us = clock_.nsecsElapsed() / 1000;
    std::fprintf(stderr, "%lld.%02lld.%03lld.%03lld %c %s %s\n", us / 60000000, us / 1000000 % 60, us / 1000 % 1000,
                 us % 1000, level, component, qPrintable(message));
}

// Flag name → how many values follow it, read from the real program's help text.
QHash<QString, int> knownFlags()
{
    static const QRegularExpression flagsAndPlaceholder(
        QStringLiteral("^((?:-[^ ,]+, *)*-[^ ,]+)(?: ([^ ].*?))?(?:  |$)"));
    static const QRegularExpression upperCaseWords(QStringLiteral("^[A-Z_]+( [A-Z_]+)+$"));
    QHash<QString, int> flags;
    const QList<QByteArray> lines = TestFiles::read(QStringLiteral(FAKE_LLAMA_HELP)).split('\n');
    for (const QByteArray& bytes : lines) {
        const QString line = QString::fromUtf8(bytes);
        if (!line.startsWith(QLatin1Char('-')) || line.startsWith(QLatin1String("-----")))
            continue;
        const QRegularExpressionMatch match = flagsAndPlaceholder.match(line);
        if (!match.hasMatch())
            continue;
        const QString placeholder = match.captured(2);
        const int values = placeholder.isEmpty()                          ? 0
                           : upperCaseWords.match(placeholder).hasMatch() ? static_cast<int>(placeholder.count(' ')) + 1
                                                                          : 1;
        for (const QString& name : match.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            flags.insert(name.trimmed(), values);
    }
    return flags;
}

struct Options
{
    QString model;
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080;
};

// Nothing when the program ends at once; the status is then in `exitCode`.
std::optional<Options> parse(const QStringList& arguments, int& exitCode)
{
    const QHash<QString, int> flags = knownFlags();
    Options options;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& flag = arguments.at(index);
        if (!flags.contains(flag)) {
            std::fprintf(stderr, "error: invalid argument: %s\n", qPrintable(flag));
            exitCode = 1;
            return std::nullopt;
        }
        const int values = flags.value(flag);
        if (index + values >= arguments.size()) {
            std::fprintf(stderr, "error while handling argument \"%s\": expected value for argument\n",
                         qPrintable(flag));
            exitCode = 1;
            return std::nullopt;
        }
        const QString value = values > 0 ? arguments.at(index + 1) : QString();
        index += values;
        if (flag == "-m" || flag == "--model")
            options.model = value;
        else if (flag == "--host")
            options.host = value;
        else if (flag == "--port")
            options.port = value.toInt();
    }
    return options;
}

bool isModelFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "GGUF";
}

HttpResponse jsonAnswer(const QByteArray& body, int status)
{
    HttpResponse response = HttpResponse::json(body, status);
    response.headers = {{"Server", "llama.cpp"},
                        {"Access-Control-Allow-Origin", ""},
                        {"Content-Type", "application/json; charset=utf-8"}};
    if (status != 200)
        response.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    return response;
}

HttpResponse errorAnswer(int status, const QString& message, const char* type)
{
    const QJsonObject error{{"code", status}, {"message", message}, {"type", QLatin1String(type)}};
    return jsonAnswer(QJsonDocument(QJsonObject{{"error", error}}).toJson(QJsonDocument::Compact), status);
}

class FakeServer
{
public:
    explicit FakeServer(Options options) : options_(std::move(options))
    {
        server_.setHandler([this](const HttpRequest& request) { return answer(request); });
    }

    bool listen() { return server_.listen(static_cast<quint16>(options_.port)); }
    void setLoaded() { loaded_ = true; }
    bool isGenerating() const { return QDateTime::currentMSecsSinceEpoch() < busyUntil_; }

private:
    HttpResponse answer(const HttpRequest& request)
    {
        if (!loaded_) {
            const QByteArray loading = R"({"error":{"message":"Loading model","type":"unavailable_error","code":503}})";
            return jsonAnswer(loading, 503);
        }
        if (request.method == "GET" && request.path == "/health")
            return jsonAnswer(R"({"status":"ok"})", 200);
        if (request.method == "POST" && (request.path == "/v1/chat/completions" || request.path == "/chat/completions"))
            return chat(request);
        const QByteArray missing = R"({"error":{"message":"File Not Found","type":"not_found_error","code":404}})";
        return jsonAnswer(missing, 404);
    }

    HttpResponse chat(const HttpRequest& request)
    {
        fake.record(QStringLiteral("request-%1.json").arg(++requests_), request.body);
        HttpResponse response = scriptedReply();
        response.delayMs = fake.number("GENERATE_MS");
        busyUntil_ = QDateTime::currentMSecsSinceEpoch() + response.delayMs;
        return response;
    }

    HttpResponse scriptedReply() const
    {
        const QString reply = fake.text("REPLY", QStringLiteral("content"));
        if (reply == QLatin1String("server-error"))
            return errorAnswer(500, QStringLiteral("failed to decode: out of memory"), "server_error");
        if (reply == QLatin1String("garbage"))
            return HttpResponse::text(200, "\x01\x02 Gateway: upstream said \xD0\x9F\xD1\x80\xD0\xB8 nothing");
        const QString contentFile = fake.text("CONTENT_FILE");
        const QString content = contentFile.isEmpty()
                                    ? fake.text("CONTENT", QStringLiteral(" ОЦЕНКА: 4\nТЕКСТ: Добрый день."))
                                    : QString::fromUtf8(TestFiles::read(contentFile));
        const QJsonObject message{{"role", "assistant"}, {"content", content}};
        const QJsonObject choice{{"finish_reason", "stop"}, {"index", 0}, {"message", message}};
        const QJsonObject usage{{"completion_tokens", 12}, {"prompt_tokens", 186}, {"total_tokens", 198}};
        const QJsonObject answer{{"choices", QJsonArray{choice}},
                                 {"created", QDateTime::currentSecsSinceEpoch()},
                                 {"model", options_.model},
                                 {"system_fingerprint", "b0-unknown"},
                                 {"object", "chat.completion"},
                                 {"usage", usage},
                                 {"id", QStringLiteral("chatcmpl-%1").arg(++answers_, 32, 10, QLatin1Char('0'))}};
        return jsonAnswer(QJsonDocument(answer).toJson(QJsonDocument::Compact), 200);
    }

    Options options_;
    LocalHttpServer server_;
    bool loaded_ = false;
    qint64 busyUntil_ = 0;
    int requests_ = 0;
    mutable int answers_ = 0;
};

// The real server, asked to stop while it generates, waits for an answer that never comes.
[[noreturn]] void hangUntilSecondInterrupt()
{
    log('I', "srv ", QStringLiteral("   operator(): operator(): cleaning up before exit..."));
    while (FakeProgram::terminations() < 2)
        QThread::msleep(5);
    std::fprintf(stderr, "Received second interrupt, terminating immediately.\n");
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    clock_.start();
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    FakeProgram::countTerminations(true);

    int exitCode = 0;
    const std::optional<Options> options = parse(arguments, exitCode);
    if (!options)
        return exitCode;
    fake.recordArguments(arguments);
    fake.record(QStringLiteral("pids.txt"), QByteArray::number(QCoreApplication::applicationPid()) + '\n', true);

    std::fprintf(stderr, "warning: no usable GPU found, --gpu-layers option will be ignored\n");
    log('W', "srv ", QStringLiteral("llama_server: CORS is set to allow all origins ('*') and no API key is set"));
    FakeServer server(*options);
    if (options->host != QLatin1String("127.0.0.1") || !server.listen()) {
        log('E', "srv ",
            QStringLiteral("       start: couldn't bind HTTP server socket, hostname: %1, port: %2")
                .arg(options->host)
                .arg(options->port));
        log('E', "srv ", QStringLiteral("llama_server: exiting due to HTTP server error"));
        return 1;
    }
    log('I', "srv ", QStringLiteral("  load_model: loading model '%1'").arg(options->model));

    const auto finishLoading = [&server, &options] {
        if (!isModelFile(options->model)) {
            log('E', "srv ", QStringLiteral("  load_model: failed to load model, '%1'").arg(options->model));
            log('E', "srv ", QStringLiteral("llama_server: exiting due to model loading error"));
            QCoreApplication::exit(1);
            return;
        }
        server.setLoaded();
        log('I', "srv ", QStringLiteral("llama_server: model loaded"));
        log('I', "srv ",
            QStringLiteral("llama_server: listening on http://%1:%2").arg(options->host).arg(options->port));
    };
    if (!fake.isOn("NEVER_READY"))
        QTimer::singleShot(fake.number("LOAD_MS", 20), &application, finishLoading);
    fake.whileRunning(5, [&server] {
        if (server.isGenerating())
            hangUntilSecondInterrupt();
        log('I', "srv ", QStringLiteral("   operator(): operator(): cleaning up before exit..."));
        QCoreApplication::exit(0);
    });
    return application.exec();
}
