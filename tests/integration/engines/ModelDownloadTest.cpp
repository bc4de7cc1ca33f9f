#include "children/ChildServer.h"
#include "core/Paths.h"
#include "core/SystemErrors.h"
#include "engines/ModelCatalog.h"
#include "engines/ModelManager.h"
#include "engines/ModelVerification.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QNetworkProxy>
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

// The digest of `bytes` as the catalog writes it.
QString digest(const QByteArray& bytes, QCryptographicHash::Algorithm algorithm = QCryptographicHash::Sha256)
{
    const QString tag = algorithm == QCryptographicHash::Sha1 ? "sha1:" : "sha256:";
    return tag + QString::fromLatin1(QCryptographicHash::hash(bytes, algorithm).toHex());
}

// Every request gets this answer; `response.body` is the file.
LocalHttpServer::Handler serving(const HttpResponse& response)
{
    return [response](const HttpRequest&) { return response; };
}

// Names of the files in a directory, temporary ones included.
QStringList filesIn(const QString& directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class ModelDownload : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A whisper model of one nominal megabyte: complete above 800 000 bytes.
        model.id = QStringLiteral("test-whisper");
        model.file = QStringLiteral("ggml-test.bin");
        model.sizeMB = 1;
        model.repository = QStringLiteral("test/whisper");
        ASSERT_TRUE(hub.listen());
        ASSERT_TRUE(mirror.listen());
        qputenv("TOLVAN_MODEL_HUB", hub.url().toString().toUtf8());
        qputenv("TOLVAN_MODEL_MIRROR", mirror.url().toString().toUtf8());
        QObject::connect(&manager, &ModelManager::progressChanged, [this](const QString& id, double fraction) {
            EXPECT_EQ(id, model.id);
            fractions.append(fraction);
        });
        QObject::connect(&manager, &ModelManager::downloadFinished,
                         [this](const QString& id, const std::optional<Error>& error) {
                             EXPECT_EQ(id, model.id);
                             ++finishedCount;
                             outcome = error;
                         });
    }

    // Downloads the model; true when the download finished in time.
    bool download()
    {
        manager.download(model);
        return QTest::qWaitFor([this] { return finishedCount > 0; }, 20000);
    }

    LocalHttpServer hub;
    LocalHttpServer mirror;
    ModelManager manager;
    RecognitionModel model;
    QList<double> fractions;
    int finishedCount = 0;
    std::optional<Error> outcome;
};

} // namespace

TEST_F(ModelDownload, WhisperFileArrivesFromTheHubWithProgressOnce)
{
    const QByteArray body = pattern(900000, 'a');
    hub.setHandler(serving({.body = body, .chunkSize = 100000, .chunkIntervalMs = 5}));
    manager.download(model);
    EXPECT_TRUE(manager.progress().contains(model.id));
    // A second request while it downloads starts nothing.
    ASSERT_TRUE(download());

    EXPECT_FALSE(outcome.has_value()) << outcome->description().toStdString();
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(TestFiles::read(Paths::modelsDir() + "/ggml-test.bin"), body);
    ASSERT_EQ(hub.requests().size(), 1);
    EXPECT_EQ(hub.requests().front().path, QByteArray("/test/whisper/resolve/main/ggml-test.bin"));
    EXPECT_TRUE(mirror.requests().isEmpty());
    ASSERT_GE(fractions.size(), 3);
    EXPECT_DOUBLE_EQ(fractions.front(), 0);
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
}

TEST_F(ModelDownload, FailedUnreachableAndShortTransfersGoToTheMirrorAndNeverReplaceTheFileInPlace)
{
    const QByteArray good = pattern(950000, 'c');
    model.hashes = {digest(good)};
    const struct
    {
        HttpResponse hub;
        HttpResponse mirror;
        QString outcome;
        QByteArray file;
    } rows[] = {
        {HttpResponse::text(404, "File Not Found"), HttpResponse::text(404, "Entry not found"),
         "404 сервер 127.0.0.1 не нашёл файл (HTTP 404) — повторите позже или обновите Толван.", "previous model"},
        // Cut short with a length, and without one (the size check catches that).
        {{.body = pattern(900000, 'd'), .dropAfterBytes = 400000},
         {.body = pattern(900000, 'e'), .sendContentLength = false, .dropAfterBytes = 500000},
         "1 файл модели неполный",
         "previous model"},
        // A file of exactly 80 % of the nominal size is incomplete too.
        {{.body = pattern(800000, 'x')}, {.body = good}, "", good},
    };
    for (const auto& row : rows) {
        TestFiles::write(model.location(), "previous model");
        hub.setHandler(serving(row.hub));
        mirror.setHandler(serving(row.mirror));
        finishedCount = 0;
        ASSERT_TRUE(download());
        EXPECT_EQ(outcome ? QString::number(outcome->code()) + ' ' + outcome->description() : QString(), row.outcome);
        EXPECT_EQ(TestFiles::read(model.location()), row.file);
        EXPECT_EQ(filesIn(Paths::modelsDir()), QStringList{"ggml-test.bin"});
        EXPECT_FALSE(manager.progress().contains(model.id));
    }
    EXPECT_EQ(mirror.requests().front().path, QByteArray("/test/whisper/resolve/main/ggml-test.bin"));

    // A hub on a port that nothing listens on; the mirror's length is unknown, so progress counts against the
    // nominal size: 900 000 of 1 000 000 bytes.
    qputenv("TOLVAN_MODEL_HUB", "http://127.0.0.1:" + QByteArray::number(LocalHttpServer::closedPort()));
    const QByteArray body = pattern(900000, 'f');
    model.hashes = {digest(body)};
    mirror.setHandler(serving({.body = body, .sendContentLength = false, .chunkSize = 300000, .chunkIntervalMs = 5}));
    finishedCount = 0;
    ASSERT_TRUE(download());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_EQ(TestFiles::read(model.location()), body);
    EXPECT_NEAR(fractions.back(), 0.9, 1e-9);
}

TEST_F(ModelDownload, GigaamFilesComeInOrderAndStayWithTheMirrorOnceUsed)
{
    // A GigaAM-shaped model, a hundredth of the real one's size with the same proportions.
    model.id = QStringLiteral("test-gigaam");
    model.file = QStringLiteral("test-gigaam/encoder.int8.onnx");
    model.sizeMB = 2;
    model.engine = EngineKind::gigaam;
    model.files = {"encoder.int8.onnx", "decoder.onnx", "joiner.onnx", "tokens.txt"};
    model.fileSizesMB = {2.143, 0.044, 0.026, 0.0001};
    model.repository = QStringLiteral("test/gigaam");
    const auto fileBody = [this](int index, char seed) {
        return pattern(static_cast<qint64>(model.downloadFileSizeMB(index) * 1000000), seed);
    };
    model.hashes = {digest(fileBody(0, 'h')), digest(fileBody(1, 'i')), digest(fileBody(2, 'i')),
                    digest(fileBody(3, 'i'))};
    hub.setHandler([&](const HttpRequest& request) {
        if (request.path.endsWith("/encoder.int8.onnx"))
            return HttpResponse::text(200, fileBody(0, 'h'));
        return HttpResponse::text(404, "File Not Found");
    });
    mirror.setHandler([&](const HttpRequest& request) {
        const int index = model.files.indexOf(QString::fromUtf8(request.path.mid(request.path.lastIndexOf('/') + 1)));
        return HttpResponse{.body = fileBody(index, 'i'), .chunkSize = 11000, .chunkIntervalMs = 20};
    });
    ASSERT_TRUE(download());
    EXPECT_FALSE(outcome.has_value()) << outcome->description().toStdString();
    EXPECT_TRUE(ModelManager::isDownloaded(model));
    EXPECT_EQ(filesIn(model.location()),
              (QStringList{"decoder.onnx", "encoder.int8.onnx", "joiner.onnx", "tokens.txt"}));
    EXPECT_EQ(TestFiles::read(model.filePath(1)), fileBody(1, 'i'));
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

// A download that fails says what went wrong and what to do, in Russian; the technical text goes to the log.
TEST_F(ModelDownload, FailuresAreToldInRussianWordsThatSayWhatToDo)
{
    const QString closed = QStringLiteral("http://127.0.0.1:%1").arg(LocalHttpServer::closedPort());
    // Too long a name for DNS: the resolver refuses it without asking any server.
    const QString unknownHost = QStringList(4, QString(63, u'x')).join(u'.');
    const QNetworkProxy direct(QNetworkProxy::NoProxy);
    const QNetworkProxy closedProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"),
                                    LocalHttpServer::closedPort());
    hub.setHandler(serving(HttpResponse::text(404, "Entry not found")));
    mirror.setHandler(serving(HttpResponse::text(503, "Busy")));
    const QString hubAddress = hub.url().toString(), mirrorAddress = mirror.url().toString();
    model.hashes = {digest("the model")};
    const struct
    {
        QString hub, mirror;
        QNetworkProxy proxy;
        QString outcome, logged;
    } rows[] = {
        {closed, hubAddress, direct, "сервер 127.0.0.1 не нашёл файл (HTTP 404) — повторите позже или обновите Толван.",
         "HTTP 404"},
        {closed, mirrorAddress, direct, "сервер 127.0.0.1 временно не работает (HTTP 503) — повторите позже.",
         "HTTP 503"},
        {hubAddress, closed, direct,
         "сервер 127.0.0.1 не принимает соединения — проверьте подключение к интернету или повторите позже.",
         "Connection refused"},
        {"http://" + unknownHost, "http://" + unknownHost, direct,
         "сервер " + unknownHost + " не найден — проверьте подключение к интернету.", unknownHost + " not found"},
        // The hub and its mirror are reached through a proxy's tunnel, as their https addresses are.
        {"https://" + unknownHost, "https://" + unknownHost, closedProxy,
         "прокси-сервер не пропускает запрос — проверьте настройки прокси.", "Proxy connection refused"},
    };
    for (const auto& row : rows) {
        qputenv("TOLVAN_MODEL_HUB", row.hub.toUtf8());
        qputenv("TOLVAN_MODEL_MIRROR", row.mirror.toUtf8());
        QNetworkProxy::setApplicationProxy(row.proxy);
        finishedCount = 0;
        ASSERT_TRUE(download()) << row.outcome.toStdString();
        ASSERT_TRUE(outcome.has_value()) << row.outcome.toStdString();
        EXPECT_EQ(outcome->description(), row.outcome);
        EXPECT_TRUE(TestEnvironment::appLog().contains(row.logged)) << row.logged.toStdString();
    }

    // A file where the models folder should be; a disk that is full.
    QNetworkProxy::setApplicationProxy(direct);
    ASSERT_TRUE(QDir(Paths::modelsDir()).removeRecursively());
    TestFiles::write(Paths::modelsDir(), "not a folder");
    finishedCount = 0;
    ASSERT_TRUE(download());
    EXPECT_EQ(outcome->description(), QStringLiteral("не удалось создать папку %1: на её месте лежит файл %1 — "
                                                     "переименуйте или удалите его.")
                                          .arg(Paths::modelsDir()));
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    EXPECT_EQ(full.write("x"), -1);
    EXPECT_EQ(SystemErrors::ofFile(full).description(),
              QStringLiteral("на диске не хватает места (папка /dev) — освободите место и повторите."));
}

// No server can fill the disk: a body larger than the model's size, announced or not, is stopped and thrown away,
// from the hub and its mirror alike.
TEST_F(ModelDownload, ABodyLargerThanTheModelIsStoppedAndNothingIsKept)
{
    const QByteArray endless = pattern(8 << 20, 'e');
    // With a digest the mirror is asked too.
    model.hashes = {digest(endless.left(900000))};
    hub.setHandler(serving({.body = endless, .chunkSize = 1 << 20}));
    mirror.setHandler(serving({.body = endless, .sendContentLength = false, .chunkSize = 1 << 20}));
    ASSERT_TRUE(download());
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->description(), QStringLiteral("файл модели больше ожидаемого — загрузка остановлена"));
    EXPECT_EQ(mirror.requests().size(), 1);
    EXPECT_TRUE(filesIn(Paths::modelsDir()).isEmpty()) << filesIn(Paths::modelsDir()).join(' ').toStdString();
    EXPECT_FALSE(ModelManager::isDownloaded(model));
}

// A file already on disk from before its digest was pinned is hashed once: kept and remembered when it matches,
// removed when it does not; a file just downloaded was checked as it arrived.
TEST_F(ModelDownload, FilesFromBeforeTheirDigestsWerePinnedAreCheckedOnceAndRemovedWhenTheyDiffer)
{
    const QByteArray good = pattern(900000, 'g');
    QByteArray changed = good;
    changed[1000] = static_cast<char>(changed[1000] ^ 1);
    model.hashes = {digest(good, QCryptographicHash::Sha1)};
    RecognitionModel intact = model;
    intact.id = QStringLiteral("test-intact");
    intact.file = QStringLiteral("ggml-intact.bin");
    TestFiles::write(model.location(), changed);
    TestFiles::write(intact.location(), good);

    QObject context;
    QStringList mismatched;
    const auto collect = [&](const RecognitionModel& found) { mismatched << found.id; };
    EXPECT_EQ(ModelVerification::checkOnce({model, intact}, &context, collect), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(model.location()); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return mismatched == QStringList{model.id}; }, 5000));
    EXPECT_EQ(TestFiles::read(intact.location()), good);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return ModelVerification::checkOnce({model, intact}, &context, collect) == 0;
        },
        5000))
        << "checked once, not at every start";

    hub.setHandler(serving({.body = good}));
    ASSERT_TRUE(download());
    EXPECT_FALSE(outcome.has_value());
    EXPECT_EQ(ModelVerification::checkOnce({model, intact}, &context, collect), 0);
}

// Only the bytes the catalog names take the model's name: a file of the right size with other bytes is refused
// and removed, whichever server sends it, and without a digest the mirror is never asked.
TEST_F(ModelDownload, OnlyTheCatalogsBytesAreKeptWhicheverServerSendsThem)
{
    TestEnvironment::freshHome();
    model.revision = QStringLiteral("5359861c739e955e79d9a303bcbc70fb988958b1");
    const QByteArray right = pattern(900000, 'k');
    QByteArray other = right;
    other[450000] = static_cast<char>(other[450000] ^ 1);
    const HttpResponse notFound = HttpResponse::text(404, "Entry not found");
    const QString refused = "6 файл модели повреждён или подменён: контрольная сумма не совпадает";
    const struct
    {
        QString hash;
        HttpResponse hub, mirror;
        QString outcome;
        QByteArray file;
        qsizetype mirrorRequests;
    } rows[] = {
        {digest(right), {.body = other}, {.body = other, .chunkSize = 50000}, refused, {}, 1},
        {digest(right, QCryptographicHash::Sha1), notFound, {.body = other}, refused, {}, 1},
        {digest(right, QCryptographicHash::Sha1), notFound, {.body = right}, "", right, 1},
        {digest(right), {.body = right, .sendContentLength = false}, notFound, "", right, 0},
        {{},
         notFound,
         {.body = right},
         "404 сервер 127.0.0.1 не нашёл файл (HTTP 404) — повторите позже или обновите Толван.",
         {},
         0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hash.toStdString() + " " + row.outcome.toStdString());
        ASSERT_TRUE(QDir(Paths::modelsDir()).removeRecursively());
        model.hashes = {row.hash};
        hub.setHandler(serving(row.hub));
        mirror.setHandler(serving(row.mirror));
        const qsizetype mirrorBefore = mirror.requests().size();
        finishedCount = 0;
        ASSERT_TRUE(download());
        EXPECT_EQ(outcome ? QString::number(outcome->code()) + ' ' + outcome->description() : QString(), row.outcome);
        EXPECT_EQ(filesIn(Paths::modelsDir()), row.file.isNull() ? QStringList() : QStringList{"ggml-test.bin"});
        EXPECT_EQ(TestFiles::read(model.location()), row.file);
        EXPECT_EQ(ModelManager::isDownloaded(model), !row.file.isNull());
        EXPECT_EQ(mirror.requests().size() - mirrorBefore, row.mirrorRequests);
    }
    const QByteArray pinned = "/test/whisper/resolve/5359861c739e955e79d9a303bcbc70fb988958b1/ggml-test.bin";
    EXPECT_EQ(hub.requests().front().path, pinned);
    EXPECT_EQ(mirror.requests().front().path, pinned);
}
