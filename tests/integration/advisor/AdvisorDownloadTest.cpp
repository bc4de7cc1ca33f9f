#include "core/Paths.h"
#include "quality/AdvisorEngine.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

using State = AdvisorEngine::State;

const QByteArray modelPath = "/unsloth/Qwen3-4B-Instruct-2507-GGUF/resolve/a06e946bb6b655725eafa393f4a9745d460374c9/"
                             "Qwen3-4B-Instruct-2507-Q4_K_M.gguf";

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 index = 0; index < size; ++index)
        bytes[index] = static_cast<char>('a' + index % 23);
    return bytes;
}

HttpResponse fileAnswer(const QByteArray& body)
{
    HttpResponse response = HttpResponse::text(200, body, "application/octet-stream");
    response.chunkSize = 4000;
    response.chunkIntervalMs = 2;
    return response;
}

class AdvisorDownload : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnvironment::freshHome();
        ASSERT_TRUE(hub.listen());
        ASSERT_TRUE(mirror.listen());
        qputenv("TOLVAN_MODEL_HUB", hub.url().toString().toUtf8());
        qputenv("TOLVAN_MODEL_MIRROR", mirror.url().toString().toUtf8());
        expectModel({});
    }

    // A new engine that takes `body` for the model.
    void expectModel(const QByteArray& body)
    {
        const QString hash = "sha256:" + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
        engine = std::make_unique<AdvisorEngine>(
            AdvisorEngine::Timing{},
            AdvisorEngine::ModelSizes{
                .presentAbove = 20000, .acceptedAbove = 10000, .assumedTotal = 100000, .hash = hash});
        QObject::connect(engine.get(), &AdvisorEngine::stateChanged,
                         [this](const State& state) { states.append(state); });
    }

    bool waitForSettled()
    {
        return QTest::qWaitFor([this] { return !states.isEmpty() && states.back().kind != State::downloading; }, 20000);
    }

    QList<State::Kind> kinds() const
    {
        QList<State::Kind> list;
        for (const State& state : states) {
            if (list.isEmpty() || list.back() != state.kind)
                list.append(state.kind);
        }
        return list;
    }

    QList<double> fractions() const
    {
        QList<double> list;
        for (const State& state : states) {
            if (state.kind == State::downloading)
                list.append(state.progress);
        }
        return list;
    }

    QString modelFile() const { return Paths::advisorModelsDir() + "/" + AdvisorEngine::modelFileName; }

    LocalHttpServer hub;
    LocalHttpServer mirror;
    std::unique_ptr<AdvisorEngine> engine;
    QList<State> states;
};

} // namespace

TEST_F(AdvisorDownload, HubRefusesThenTheMirrorDeliversOnceEvenWhenSwitchedOffAndOnAgain)
{
    // Without a Content-Length progress counts against the assumed model size.
    const QByteArray body = pattern(60000);
    expectModel(body);
    hub.setHandler([](const HttpRequest&) { return HttpResponse::text(404, "Entry not found"); });
    mirror.setHandler([&](const HttpRequest&) {
        HttpResponse response = fileAnswer(body);
        response.chunkSize = 2000;
        response.chunkIntervalMs = 25;
        response.sendContentLength = false;
        return response;
    });
    EXPECT_EQ(engine->state().kind, State::noModel);
    engine->downloadModel();
    EXPECT_EQ(engine->state(), State::downloadingAt(0));
    engine->downloadModel();
    ASSERT_TRUE(QTest::qWaitFor([this] { return fractions().size() > 3; }, 10000));

    // Switched off: the server stops, the download goes on and still shows.
    engine->shutdown();
    EXPECT_EQ(engine->state().kind, State::downloading);
    const qsizetype seen = fractions().size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fractions().size() > seen + 3; }, 10000));
    // Switched on again: the same download.
    engine->downloadModel();
    EXPECT_EQ(engine->state().kind, State::downloading);
    ASSERT_TRUE(waitForSettled());

    EXPECT_EQ(TestFiles::read(modelFile()), body);
    EXPECT_EQ(QDir(Paths::advisorModelsDir()).entryList(QDir::Files | QDir::Hidden),
              QStringList{AdvisorEngine::modelFileName});
    for (const LocalHttpServer* server : {&hub, &mirror}) {
        ASSERT_EQ(server->requests().size(), 1);
        EXPECT_EQ(server->requests().front().path, modelPath);
    }
    EXPECT_EQ(kinds(), (QList<State::Kind>{State::downloading, State::noModel, State::downloading, State::idle}));
    const QList<double> progress = fractions();
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    // 60 000 of an assumed 100 000 bytes.
    EXPECT_DOUBLE_EQ(progress.back(), 0.6);
}

TEST_F(AdvisorDownload, ShortOrCutFilesAreNotKeptAndLaterTriesGoToTheMirror)
{
    // The hub's answer breaks off half-way; the mirror's is whole but too small to be the model.
    const QByteArray body = pattern(25000);
    expectModel(body);
    hub.setHandler([](const HttpRequest&) {
        HttpResponse response = fileAnswer(pattern(30000));
        response.dropAfterBytes = 12000;
        return response;
    });
    mirror.setHandler([](const HttpRequest&) { return fileAnswer(pattern(9000)); });
    engine->downloadModel();
    ASSERT_TRUE(waitForSettled());
    EXPECT_EQ(engine->state(), State::failure("не удалось загрузить модель: файл модели неполный (HTTP 200)"));
    EXPECT_TRUE(QDir(Paths::advisorModelsDir()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // The second failure was final for the hub: it is not asked again during this run.
    mirror.setHandler([&](const HttpRequest&) { return fileAnswer(body); });
    states.clear();
    engine->downloadModel();
    ASSERT_TRUE(waitForSettled());
    EXPECT_EQ(engine->state().kind, State::idle);
    EXPECT_EQ(TestFiles::read(modelFile()), body);
    EXPECT_EQ(hub.requests().size(), 1);
    EXPECT_EQ(mirror.requests().size(), 2);
    EXPECT_EQ(kinds(), (QList<State::Kind>{State::downloading, State::idle}));
    // Progress climbs to the whole announced size.
    EXPECT_DOUBLE_EQ(fractions().back(), 1.0);
}

TEST_F(AdvisorDownload, AFileOfExactlyTheThresholdSizeIsNotTheModel)
{
    TestFiles::write(modelFile(), pattern(20000));
    EXPECT_FALSE(engine->modelDownloaded());
    TestFiles::write(modelFile(), pattern(20001));
    EXPECT_TRUE(engine->modelDownloaded());
}
