#include "app/Log.h"
#include "app/Paths.h"
#include "engines/FileDownload.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace
{

QByteArray pattern(qint64 size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 index = 0; index < size; ++index)
        bytes[index] = static_cast<char>(seed + index % 97);
    return bytes;
}

// A whisper model of one nominal megabyte: complete above 800 000 bytes.
WhisperModel smallWhisper()
{
    WhisperModel model;
    model.id = QStringLiteral("test-whisper");
    model.file = QStringLiteral("ggml-test.bin");
    model.sizeMB = 1;
    model.engine = EngineKind::whisper;
    model.repository = QStringLiteral("test/whisper");
    return model;
}

// A GigaAM-shaped model, a hundredth of the real one's size with the same proportions.
WhisperModel smallGigaam()
{
    WhisperModel model;
    model.id = QStringLiteral("test-gigaam");
    model.file = QStringLiteral("test-gigaam/encoder.int8.onnx");
    model.sizeMB = 2;
    model.engine = EngineKind::gigaam;
    model.files = {"encoder.int8.onnx", "decoder.onnx", "joiner.onnx", "tokens.txt"};
    model.fileSizesMB = {2.143, 0.044, 0.026, 0.0001};
    model.repository = QStringLiteral("test/gigaam");
    return model;
}

QByteArray fileBody(const WhisperModel& model, int index, char seed)
{
    return pattern(static_cast<qint64>(model.downloadFileSizeMB(index) * 1000000), seed);
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class ModelDownload : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnvironment::freshHome();
        ASSERT_TRUE(hub.listen());
        ASSERT_TRUE(mirror.listen());
        qputenv("TOLVAN_MODEL_HUB", hub.url().toString().toUtf8());
        qputenv("TOLVAN_MODEL_MIRROR", mirror.url().toString().toUtf8());
        manager.onProgress = [this](const QString& id, double fraction) {
            EXPECT_EQ(id, expectedID);
            fractions.append(fraction);
        };
        manager.onFinished = [this](const QString& id, const std::optional<Error>& error) {
            EXPECT_EQ(id, expectedID);
            ++finishedCount;
            outcome = error;
        };
    }

    void TearDown() override
    {
        qunsetenv("TOLVAN_MODEL_HUB");
        qunsetenv("TOLVAN_MODEL_MIRROR");
    }

    bool waitForFinish()
    {
        return QTest::qWaitFor([this] { return finishedCount > 0; }, 20000);
    }

    // Names of the files in the model directory, temporary ones included.
    static QStringList filesIn(const QString& directory)
    {
        return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    LocalHttpServer hub;
    LocalHttpServer mirror;
    ModelManager manager;
    QString expectedID = QStringLiteral("test-whisper");
    QList<double> fractions;
    int finishedCount = 0;
    std::optional<Error> outcome;
};

} // namespace

TEST_F(ModelDownload, WhisperFileArrivesFromTheHubWithProgress)
{
    const WhisperModel model = smallWhisper();
    const QByteArray body = pattern(900000, 'a');
    hub.setHandler([&](const HttpRequest&) {
        HttpResponse response = HttpResponse::text(200, body, "application/octet-stream");
        response.chunkSize = 100000;
        response.chunkIntervalMs = 5;
        return response;
    });
    manager.download(model);
    EXPECT_TRUE(manager.progress().contains(model.id));
    ASSERT_TRUE(waitForFinish());

    EXPECT_FALSE(outcome.has_value()) << outcome->description().toStdString();
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(TestFiles::read(Paths::modelsDir() + "/ggml-test.bin"), body);
    EXPECT_EQ(filesIn(Paths::modelsDir()), QStringList{"ggml-test.bin"});
    ASSERT_EQ(hub.requests().size(), 1);
    EXPECT_EQ(hub.requests().front().path, QByteArray("/test/whisper/resolve/main/ggml-test.bin"));
    EXPECT_TRUE(mirror.requests().isEmpty());
    ASSERT_GE(fractions.size(), 3);
    EXPECT_DOUBLE_EQ(fractions.front(), 0);
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_FALSE(manager.progress().contains(model.id));
    EXPECT_TRUE(ModelManager::isDownloaded(model));
    const QString log = readAll(Log::directory() + "/app.log");
    EXPECT_TRUE(log.contains("Загрузка test-whisper: ggml-test.bin из HF"));
    EXPECT_TRUE(log.contains("Модель test-whisper: файл ggml-test.bin загружен (900000 байт)"));
}

TEST_F(ModelDownload, WithoutContentLengthProgressCountsAgainstTheNominalSize)
{
    const QByteArray body = pattern(900000, 'b');
    hub.setHandler([&](const HttpRequest&) {
        HttpResponse response = HttpResponse::text(200, body, "application/octet-stream");
        response.sendContentLength = false;
        response.chunkSize = 300000;
        response.chunkIntervalMs = 5;
        return response;
    });
    manager.download(smallWhisper());
    ASSERT_TRUE(waitForFinish());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_EQ(TestFiles::read(smallWhisper().location()), body);
    ASSERT_FALSE(fractions.isEmpty());
    // 900 000 of a nominal 1 000 000 bytes.
    EXPECT_NEAR(fractions.back(), 0.9, 1e-9);
}

TEST_F(ModelDownload, NotFoundOnBothEndsWithTheMirrorsHttpStatus)
{
    hub.setHandler(
        [](const HttpRequest& request) { return HttpResponse::text(404, "File Not Found " + request.path); });
    mirror.setHandler([](const HttpRequest&) { return HttpResponse::text(404, "Entry not found"); });
    manager.download(smallWhisper());
    ASSERT_TRUE(waitForFinish());
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->code(), 404);
    EXPECT_EQ(outcome->description(), QStringLiteral("сервер моделей вернул HTTP 404"));
    EXPECT_EQ(hub.requests().size(), 1);
    ASSERT_EQ(mirror.requests().size(), 1);
    EXPECT_EQ(mirror.requests().front().path, QByteArray("/test/whisper/resolve/main/ggml-test.bin"));
    EXPECT_TRUE(filesIn(Paths::modelsDir()).isEmpty());
    EXPECT_FALSE(manager.progress().contains("test-whisper"));
    EXPECT_TRUE(readAll(Log::directory() + "/app.log")
                    .contains("HF недоступен (сервер моделей вернул HTTP 404) — пробую зеркало"));
}

TEST_F(ModelDownload, FileOfExactlyEightyPercentIsRejectedAndRetriedFromTheMirror)
{
    const QByteArray good = pattern(950000, 'c');
    hub.setHandler([](const HttpRequest&) { return HttpResponse::text(200, pattern(800000, 'x')); });
    mirror.setHandler([&](const HttpRequest&) { return HttpResponse::text(200, good); });
    manager.download(smallWhisper());
    ASSERT_TRUE(waitForFinish());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_EQ(TestFiles::read(smallWhisper().location()), good);
    EXPECT_EQ(filesIn(Paths::modelsDir()), QStringList{"ggml-test.bin"});
    EXPECT_TRUE(readAll(Log::directory() + "/app.log").contains("HF недоступен (файл модели неполный)"));
}

TEST_F(ModelDownload, BrokenTransfersNeverReplaceTheFileInPlace)
{
    const QString destination = smallWhisper().location();
    QDir().mkpath(Paths::modelsDir());
    QFile old(destination);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("previous model");
    old.close();

    hub.setHandler([](const HttpRequest&) {
        HttpResponse response = HttpResponse::text(200, pattern(900000, 'd'));
        response.dropAfterBytes = 400000;
        return response;
    });
    mirror.setHandler([](const HttpRequest&) {
        HttpResponse response = HttpResponse::text(200, pattern(900000, 'e'));
        response.sendContentLength = false;
        response.dropAfterBytes = 500000;
        return response;
    });
    manager.download(smallWhisper());
    ASSERT_TRUE(waitForFinish());
    ASSERT_TRUE(outcome.has_value());
    // The mirror's short file (no length, closed early) is caught by the size check.
    EXPECT_EQ(outcome->code(), 1);
    EXPECT_EQ(outcome->description(), QStringLiteral("файл модели неполный"));
    EXPECT_EQ(TestFiles::read(destination), QByteArray("previous model"));
    EXPECT_EQ(filesIn(Paths::modelsDir()), QStringList{"ggml-test.bin"});
}

TEST_F(ModelDownload, UnreachableHubFallsBackToTheMirror)
{
    quint16 closedPort = 0;
    {
        LocalHttpServer probe;
        ASSERT_TRUE(probe.listen());
        closedPort = probe.port();
    }
    qputenv("TOLVAN_MODEL_HUB", QByteArray("http://127.0.0.1:") + QByteArray::number(closedPort));
    const QByteArray body = pattern(850000, 'f');
    mirror.setHandler([&](const HttpRequest&) { return HttpResponse::text(200, body); });
    manager.download(smallWhisper());
    ASSERT_TRUE(waitForFinish());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_EQ(TestFiles::read(smallWhisper().location()), body);
    EXPECT_TRUE(readAll(Log::directory() + "/app.log").contains("Загрузка test-whisper: ggml-test.bin из зеркала"));
}

TEST_F(ModelDownload, SecondRequestWhileDownloadingStartsNothing)
{
    hub.setHandler([](const HttpRequest&) {
        HttpResponse response = HttpResponse::text(200, pattern(900000, 'g'));
        response.delayMs = 300;
        return response;
    });
    manager.download(smallWhisper());
    manager.download(smallWhisper());
    ASSERT_TRUE(waitForFinish());
    QTest::qWait(100);
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(hub.requests().size(), 1);
    EXPECT_FALSE(outcome.has_value());
}

TEST_F(ModelDownload, GigaamFilesComeInOrderAndStayWithTheMirrorOnceUsed)
{
    expectedID = QStringLiteral("test-gigaam");
    const WhisperModel model = smallGigaam();
    hub.setHandler([&](const HttpRequest& request) {
        if (request.path.endsWith("/encoder.int8.onnx"))
            return HttpResponse::text(200, fileBody(model, 0, 'h'));
        return HttpResponse::text(404, "File Not Found");
    });
    mirror.setHandler([&](const HttpRequest& request) {
        const int index = model.files.indexOf(QString::fromUtf8(request.path.mid(request.path.lastIndexOf('/') + 1)));
        HttpResponse response = HttpResponse::text(200, fileBody(model, index, 'i'));
        response.chunkSize = 11000;
        response.chunkIntervalMs = 20;
        return response;
    });
    manager.download(model);
    ASSERT_TRUE(waitForFinish());
    EXPECT_FALSE(outcome.has_value()) << outcome->description().toStdString();
    EXPECT_TRUE(ModelManager::isDownloaded(model));
    EXPECT_EQ(filesIn(model.location()),
              (QStringList{"decoder.onnx", "encoder.int8.onnx", "joiner.onnx", "tokens.txt"}));
    EXPECT_EQ(TestFiles::read(model.filePath(1)), fileBody(model, 1, 'i'));
    ASSERT_EQ(hub.requests().size(), 2);
    EXPECT_TRUE(hub.requests().at(1).path.endsWith("/decoder.onnx"));
    ASSERT_EQ(mirror.requests().size(), 3);
    EXPECT_TRUE(mirror.requests().at(2).path.endsWith("/tokens.txt"));

    // The decoder (file 1) half done sits at about 0.978 of the whole; the hub's 404 page for it counts
    // for nothing, so every step moves forward.
    const double halfOfDecoder = (2.143 + 0.044 * 0.5) / 2.2131;
    EXPECT_TRUE(std::any_of(fractions.begin(), fractions.end(),
                            [&](double value) { return std::abs(value - halfOfDecoder) < 0.003; }));
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
}

TEST_F(ModelDownload, FileDownloadReportsWhichSourceDeliveredTheFile)
{
    const QByteArray body = pattern(5000, 'j');
    hub.setHandler([](const HttpRequest&) { return HttpResponse::text(500, "busy"); });
    mirror.setHandler([&](const HttpRequest&) { return HttpResponse::text(200, body); });
    QNetworkAccessManager network;
    const QString destination = TestEnvironment::makeDirectory("advisor") + "/model.gguf";
    FileDownload download(&network, {hub.url("/big.gguf"), mirror.url("/big.gguf")}, destination, 4000);
    QList<int> started;
    std::optional<Error> failure;
    std::optional<Result<FileDownload::Arrived>> result;
    download.onSourceStarted = [&](int index) { started.append(index); };
    download.onSourceFailed = [&](int, const Error& error) { failure = error; };
    download.onFinished = [&](const Result<FileDownload::Arrived>& arrived) { result = arrived; };
    download.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    ASSERT_TRUE(result->ok());
    EXPECT_EQ(result->value().sourceIndex, 1);
    EXPECT_EQ(result->value().bytes, 5000);
    EXPECT_EQ(started, (QList<int>{0, 1}));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->code(), 500);
    EXPECT_EQ(TestFiles::read(destination), body);
}
