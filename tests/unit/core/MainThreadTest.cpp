#include "core/MainThread.h"

#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

TEST(MainThread, PostFromAWorkerRunsOnTheMainThreadAndNotForAVanishedOwner)
{
    auto owner = std::make_unique<QObject>();
    auto gone = std::make_unique<QObject>();
    bool ranOnMain = false;
    bool ranForGone = false;
    bool ranLast = false;
    QObject* goneRaw = gone.get();
    std::unique_ptr<QThread> worker(QThread::create([&] {
        EXPECT_FALSE(MainThread::isCurrent());
        MainThread::post(owner.get(), [&] { ranOnMain = MainThread::isCurrent(); });
        MainThread::post(goneRaw, [&] { ranForGone = true; });
        MainThread::post(owner.get(), [&] { ranLast = true; });
    }));
    worker->start();
    worker->wait();
    gone.reset();
    // Posts run in order: the last one running means the one for the vanished owner had its turn.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ranLast; }, 2000));
    EXPECT_TRUE(ranOnMain);
    EXPECT_FALSE(ranForGone);
}
