#include "core/DelayedCall.h"

#include "core/MainThread.h"

#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

TEST(DelayedCall, OnlyTheLastScheduledCallRunsAndNotWhenCancelledOrDestroyed)
{
    QStringList fired;
    {
        DelayedCall destroyed;
        destroyed.schedule(5, [&] { fired.append(QStringLiteral("destroyed")); });
    }
    DelayedCall cancelled;
    cancelled.schedule(5, [&] { fired.append(QStringLiteral("cancelled")); });
    cancelled.cancel();
    EXPECT_FALSE(cancelled.isPending());
    DelayedCall call;
    call.schedule(30, [&] { fired.append(QStringLiteral("first")); });
    call.schedule(10, [&] { fired.append(QStringLiteral("second")); });
    EXPECT_TRUE(call.isPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !call.isPending(); }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(fired, QStringList{QStringLiteral("second")});
}

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
