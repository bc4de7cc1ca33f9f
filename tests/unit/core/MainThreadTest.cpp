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
    QObject* goneRaw = gone.get();
    std::unique_ptr<QThread> worker(QThread::create([&] {
        EXPECT_FALSE(MainThread::isCurrent());
        MainThread::post(owner.get(), [&] { ranOnMain = MainThread::isCurrent(); });
        MainThread::post(goneRaw, [&] { ranForGone = true; });
    }));
    worker->start();
    worker->wait();
    gone.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ranOnMain; }, 2000));
    QTest::qWait(20);
    EXPECT_FALSE(ranForGone);
}
