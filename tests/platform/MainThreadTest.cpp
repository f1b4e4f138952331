#include "platform/Clock.h"
#include "platform/MainThread.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace larkfold::platform;
using larkfold::test::spinUntil;

TEST(MainThread, WorkerRunsOnMainThreadAndWaits)
{
    std::atomic<bool> ranOnMain{false};
    std::atomic<int> result{-1};
    std::jthread worker([&] { result = runOnMainThreadAndWait([&] { ranOnMain = isMainThread(); }) ? 1 : 0; });
    ASSERT_TRUE(spinUntil([&] { return result.load() != -1; }));
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(ranOnMain.load());
    EXPECT_TRUE(isMainThread());
}

TEST(ContinuousClock, FakeWakesSleepersAndCancelEndsSleep)
{
    FakeContinuousClock clock;
    std::atomic<int> woke{-1};
    std::jthread sleeper([&] { woke = clock.sleepFor(std::chrono::seconds(3600), CancelToken()) ? 1 : 0; });
    while (clock.sleeperCount() == 0)
        std::this_thread::yield();
    clock.advance(std::chrono::seconds(3599));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(woke.load(), -1);
    clock.advance(std::chrono::seconds(1));
    sleeper.join();
    EXPECT_EQ(woke.load(), 1);

    CancelSource cancel;
    std::atomic<int> cancelled{-1};
    std::jthread second([&] { cancelled = clock.sleepFor(std::chrono::seconds(10), cancel.token()) ? 1 : 0; });
    while (clock.sleeperCount() == 0)
        std::this_thread::yield();
    cancel.cancel();
    second.join();
    EXPECT_EQ(cancelled.load(), 0);
}

TEST(ContinuousClock, BootTimeSleepEndsOnCancel)
{
    BootTimeClock clock;
    CancelSource cancel;
    std::atomic<int> outcome{-1};
    std::jthread sleeper([&] { outcome = clock.sleepFor(std::chrono::hours(1), cancel.token()) ? 1 : 0; });
    cancel.cancel();
    sleeper.join();
    EXPECT_EQ(outcome.load(), 0);
    EXPECT_TRUE(clock.sleepFor(std::chrono::milliseconds(5), CancelToken()));
}

TEST(WallClock, NextLocalTimeOfDay)
{
    const QDateTime morning(QDate(2026, 12, 10), QTime(9, 0), Qt::LocalTime);
    EXPECT_EQ(nextLocalTimeOfDay(morning, QTime(20, 0)), QDateTime(QDate(2026, 12, 10), QTime(20, 0), Qt::LocalTime));
    const QDateTime evening(QDate(2026, 12, 10), QTime(20, 0), Qt::LocalTime);
    EXPECT_EQ(nextLocalTimeOfDay(evening, QTime(20, 0)), QDateTime(QDate(2026, 12, 11), QTime(20, 0), Qt::LocalTime));
}

// Last: quitting is for the rest of the process.
TEST(MainThread, QuittingReleasesWaitingWorkers)
{
    std::atomic<int> result{-1};
    std::jthread worker([&] { result = runOnMainThreadAndWait([] {}) ? 1 : 0; });
    // The worker is blocked until the main thread turns; quitting must release it with false.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    beginQuitting();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    std::atomic<int> late{-1};
    std::jthread after([&] { late = runOnMainThreadAndWait([] {}) ? 1 : 0; });
    after.join();
    EXPECT_EQ(late.load(), 0);
}
