// Behaves like llama.cpp's llama-server as captured from a real build: takes exactly the flags of its help
// text (anything else ends it with "error: invalid argument: …" and status 1), opens its port (or the Unix socket
// that a --host ending in ".sock" names) before the
// model is loaded and answers 503 "Loading model" until it is, then GET /health {"status":"ok"} and
// POST /v1/chat/completions with an OpenAI-style answer; the request body is recorded, not checked. With API keys
// (--api-key KEY[,KEY…], else the LLAMA_API_KEY variable) every path but /health and /v1/health wants one of them as
// "Authorization: Bearer KEY" (or X-Api-Key) and answers 401 without it. SIGTERM ends an
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
// The record directory gets args.txt, pids.txt (the process id appended), api-keys.txt (the keys of each start
// appended, a line each start) and each chat request (request-N.json).
#include "support/FakeProgram.h"
#include "support/LocalHttpServer.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDateTime>
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

void log(const QString& message)
{
    std::fprintf(stderr, "srv  %s\n", qPrintable(message));
}

// Flag name → how many values follow it, read from the real program's help text.
QHash<QString, int> knownFlags()
{
    static const QRegularExpression flagsAndPlaceholder(
        QStringLiteral("^((?:-[^ ,]+, *)*-[^ ,]+)(?: ([^ ].*?))?(?:  |$)"));
    static const QRegularExpression upperCaseWords(QStringLiteral("^[A-Z_]+( [A-Z_]+)+$"));
    QHash<QString, int> flags;
    for (const QByteArray& bytes : TestFiles::read(QStringLiteral(FAKE_LLAMA_HELP)).split('\n')) {
        const QRegularExpressionMatch match = flagsAndPlaceholder.match(QString::fromUtf8(bytes));
        if (!bytes.startsWith('-') || bytes.startsWith("-----") || !match.hasMatch())
            continue;
        const QString placeholder = match.captured(2);
        const int values = placeholder.isEmpty()                          ? 0
                           : upperCaseWords.match(placeholder).hasMatch() ? int(placeholder.count(' ')) + 1
                                                                          : 1;
        for (const QString& name : match.captured(1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            flags.insert(name.trimmed(), values);
    }
    return flags;
}

// The keys of --api-key, else of LLAMA_API_KEY: comma-separated, empty ones left out.
QStringList apiKeys(const QHash<QString, QString>& flags)
{
    const QString keys = flags.value("--api-key", qEnvironmentVariable("LLAMA_API_KEY"));
    return keys.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

bool authorized(const HttpRequest& request, const QStringList& keys)
{
    if (keys.isEmpty() || request.path == "/health" || request.path == "/v1/health")
        return true;
    QByteArray given = request.header("authorization");
    if (given.isEmpty())
        given = request.header("x-api-key");
    if (given.startsWith("Bearer "))
        given = given.mid(7);
    return keys.contains(QString::fromUtf8(given));
}

HttpResponse chatAnswer(const QString& model)
{
    const QString reply = fake.text("REPLY", QStringLiteral("content"));
    if (reply == QLatin1String("server-error"))
        return HttpResponse::json(
            R"({"error":{"code":500,"message":"failed to decode: out of memory","type":"server_error"}})", 500);
    if (reply == QLatin1String("garbage"))
        return HttpResponse::text(200, "\x01\x02 Gateway: upstream said \xD0\x9F\xD1\x80\xD0\xB8 nothing");
    const QString contentFile = fake.text("CONTENT_FILE");
    const QString content = contentFile.isEmpty()
                                ? fake.text("CONTENT", QStringLiteral(" ОЦЕНКА: 4\nТЕКСТ: Добрый день."))
                                : QString::fromUtf8(TestFiles::read(contentFile));
    const QJsonObject message{{"role", "assistant"}, {"content", content}};
    const QJsonObject choice{{"finish_reason", "stop"}, {"index", 0}, {"message", message}};
    const QJsonObject answer{{"choices", QJsonArray{choice}}, {"model", model}, {"object", "chat.completion"}};
    return HttpResponse::json(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    FakeProgram::countTerminations();
    const std::optional<QHash<QString, QString>> flags =
        FakeProgram::parseFlags(arguments, knownFlags(), "error: invalid argument");
    if (!flags)
        return 1;
    fake.recordArguments(arguments);
    fake.record(QStringLiteral("pids.txt"), QByteArray::number(QCoreApplication::applicationPid()) + '\n', true);
    const QString model = flags->value("-m", flags->value("--model"));
    const int port = flags->value("--port", QStringLiteral("8080")).toInt();
    const QString host = flags->value("--host", QStringLiteral("127.0.0.1"));
    const QStringList keys = apiKeys(*flags);
    fake.record(QStringLiteral("api-keys.txt"), keys.join(QLatin1Char(',')).toUtf8() + '\n', true);

    bool loaded = false;
    int requests = 0;
    qint64 busyUntil = 0;
    LocalHttpServer server([&](const HttpRequest& request) {
        if (!loaded)
            return HttpResponse::json(R"({"error":{"message":"Loading model","type":"unavailable_error","code":503}})",
                                      503);
        if (!authorized(request, keys)) {
            log(QStringLiteral("operator(): unauthorized: Invalid API Key"));
            return HttpResponse::json(
                R"({"error":{"message":"Invalid API Key","type":"authentication_error","code":401}})", 401);
        }
        if (request.method == "GET" && request.path == "/health")
            return HttpResponse::json(R"({"status":"ok"})");
        if (request.method != "POST" || request.path != "/v1/chat/completions")
            return HttpResponse::json(R"({"error":{"message":"File Not Found","type":"not_found_error","code":404}})",
                                      404);
        fake.record(QStringLiteral("request-%1.json").arg(++requests), request.body);
        HttpResponse response = chatAnswer(model);
        response.delayMs = fake.number("GENERATE_MS");
        busyUntil = QDateTime::currentMSecsSinceEpoch() + response.delayMs;
        return response;
    });
    const bool listening =
        host.endsWith(QLatin1String(".sock")) ? server.listenOn(host) : server.listen(static_cast<quint16>(port));
    if (!listening) {
        log(QStringLiteral("start: couldn't bind HTTP server socket, hostname: %1, port: %2").arg(host).arg(port));
        return 1;
    }
    const auto finishLoading = [&] {
        QFile file(model);
        if (!file.open(QIODevice::ReadOnly) || file.read(4) != "GGUF") {
            log(QStringLiteral("llama_server: exiting due to model loading error"));
            QCoreApplication::exit(1);
            return;
        }
        loaded = true;
        log(QStringLiteral("llama_server: model loaded"));
    };
    if (!fake.isOn("NEVER_READY"))
        QTimer::singleShot(fake.number("LOAD_MS", 20), &application, finishLoading);
    fake.whileRunning(5, [&] {
        log(QStringLiteral("operator(): cleaning up before exit..."));
        // Asked to stop while it generates, the real server waits for an answer that never comes.
        if (QDateTime::currentMSecsSinceEpoch() < busyUntil) {
            while (FakeProgram::terminations() < 2)
                QThread::msleep(5);
            std::fprintf(stderr, "Received second interrupt, terminating immediately.\n");
            std::fflush(stderr);
            std::_Exit(1);
        }
        QCoreApplication::exit(0);
    });
    return application.exec();
}
