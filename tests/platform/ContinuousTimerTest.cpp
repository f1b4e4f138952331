#include "platform/ContinuousTimer.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;
using namespace std::chrono_literals;

TEST(ContinuousTimer, TheBootTimeTimerFiresOnceAtItsDeadline)
{
    BootTimeTimer timer;
    int fired = 0;
    QObject::connect(&timer, &ContinuousTimer::fired, [&] { ++fired; });

    // A deadline already behind (as after a long sleep) is due at once.
    timer.startAt(continuousClock().now() - 1h);
    EXPECT_TRUE(timer.isActive());
    ASSERT_TRUE(spinUntil([&] { return fired == 1; }));
    EXPECT_FALSE(timer.isActive());

    timer.startAt(continuousClock().now() + 20ms);
    ASSERT_TRUE(spinUntil([&] { return fired == 2; }));
    spinFor(100);
    EXPECT_EQ(fired, 2) << "one-shot";

    // Replaced, then stopped: the old deadline never fires.
    timer.startAt(continuousClock().now() - 1h);
    timer.startAt(continuousClock().now() + 1h);
    spinFor(100);
    EXPECT_EQ(fired, 2);
    timer.stop();
    EXPECT_FALSE(timer.isActive());
}

TEST(ContinuousTimer, TheFakeFiresWhenItsClockHasPassedTheDeadline)
{
    FakeContinuousClock clock;
    FakeContinuousTimer timer(clock);
    int fired = 0;
    QObject::connect(&timer, &ContinuousTimer::fired, [&] { ++fired; });
    timer.startAt(clock.now() + 10s);
    clock.advance(9s);
    timer.poll();
    EXPECT_EQ(fired, 0);
    clock.advance(1s);
    timer.poll();
    timer.poll();
    EXPECT_EQ(fired, 1);
}
