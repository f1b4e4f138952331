#include "engine/Debouncer.h"
#include "platform/Clock.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

using larkfold::Debouncer;
using larkfold::platform::FakeWallClock;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;

namespace {

// The real delays shrunk so the event loop can show them; the burst rule keeps its real counts, on a
// wall clock the test moves.
constexpr Debouncer::Settings kSettings{.defaultDelaySeconds = 0.05, .burstDelaySeconds = 0.6,
                                        .burstThreshold = 500, .burstWindowSeconds = 5.0};
// Long enough for the short delay to pass many times over, far short of the burst delay.
constexpr int kBetweenDelaysMs = 200;

class DebouncerTest : public ::testing::Test {
protected:
    void SetUp() override { larkfold::platform::setWallClock(&clock); }
    void TearDown() override { larkfold::platform::setWallClock(nullptr); }

    void request(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            debouncer.schedule([this] { ++runs; });
    }

    FakeWallClock clock{QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC)};
    Debouncer debouncer{kSettings};
    int runs = 0;
};

} // namespace

TEST_F(DebouncerTest, RunsTheLatestActionOnceAfterRequestsPause)
{
    QString ran;
    for (int i = 0; i < 8; ++i) {
        debouncer.schedule([&ran, i] { ran += QString::number(i); });
        clock.advance(1);
        spinFor(10); // shorter than the delay: every request restarts the wait
    }
    EXPECT_TRUE(ran.isEmpty());
    ASSERT_TRUE(spinUntil([&] { return !ran.isEmpty(); }, 2000));
    spinFor(kBetweenDelaysMs);
    EXPECT_EQ(ran, QStringLiteral("7"));
}

TEST_F(DebouncerTest, LongDelayWhileMoreThanThresholdRequestsFellWithinTheWindow)
{
    struct Case {
        const char* name;
        int earlier; // requests at the start
        int msLater; // when the last request comes
        bool burst;
    };
    const Case cases[] = {
        {"500 requests in all", 499, 0, false},
        {"501 requests in all", 500, 0, true},
        {"a request exactly one window after 500 still counts them", 500, 5000, true},
        {"a request just over one window later counts only itself", 500, 5001, false},
        {"6 s after a burst of 600", 600, 6000, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Debouncer fresh{kSettings};
        int ran = 0;
        for (int i = 0; i < test.earlier; ++i)
            fresh.schedule([&] { ++ran; });
        clock.set(clock.now().addMSecs(test.msLater));
        fresh.schedule([&] { ++ran; });

        spinFor(kBetweenDelaysMs);
        EXPECT_EQ(ran, test.burst ? 0 : 1);
        if (test.burst) {
            EXPECT_TRUE(spinUntil([&] { return ran == 1; }, 3000));
        }
        clock.advance(60);
    }
}

TEST_F(DebouncerTest, CancelDropsThePendingActionButKeepsTheBurstCount)
{
    request();
    debouncer.cancel();
    spinFor(kBetweenDelaysMs);
    EXPECT_EQ(runs, 0);

    request();
    ASSERT_TRUE(spinUntil([&] { return runs == 1; }, 2000));

    // 502 requests in the window after the cancel: still a burst.
    request(499);
    debouncer.cancel();
    request();
    spinFor(kBetweenDelaysMs);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(spinUntil([&] { return runs == 2; }, 3000));
}
