#include "copy/BandwidthThrottle.h"

#include <gtest/gtest.h>

#include <optional>

using namespace larkfold;
using platform::FakeIdleTime;
using namespace std::chrono_literals;

namespace {

// Records the sleeps asked of it instead of sleeping.
class RecordingClock final : public platform::ContinuousClock {
public:
    Duration now() const override { return {}; }
    bool sleepFor(Duration duration, const platform::CancelToken& cancel) override
    {
        slept.push_back(duration);
        return !cancel.isCancelled();
    }
    std::vector<Duration> slept;
};

class BandwidthThrottleTest : public ::testing::Test {
protected:
    ~BandwidthThrottleTest() override { currentBandwidthMode = 0; }
};

} // namespace

TEST_F(BandwidthThrottleTest, StartsInAutoAndACancelledRunDoesNotSleep)
{
    FakeIdleTime active(1s);
    EXPECT_EQ(pauseBeforeFile(active), 10ms);

    platform::CancelSource cancel;
    cancel.cancel();
    RecordingClock clock;
    throttleForBandwidthMode(cancel.token(), active, clock);
    EXPECT_TRUE(clock.slept.empty());
}

TEST_F(BandwidthThrottleTest, PausesByModeAndUserActivity)
{
    struct Case {
        std::uint8_t mode;
        std::optional<FakeIdleTime::Duration> idle; // none: no source answers
        std::chrono::nanoseconds beforeFile;
        std::chrono::nanoseconds afterChunk;
        bool asksIdleTime;
    };
    const Case cases[] = {
        {0, 30s, 10ms, 2ms, true},       // auto, active
        {0, 119999ms, 10ms, 2ms, true},  // auto, just short of idle
        {0, 120s, 0ms, 0ms, true},       // auto, idle from 120 s on
        {0, std::nullopt, 10ms, 2ms, true}, // auto, unknown counts as active
        {1, 3600s, 30ms, 2ms, false},    // quiet, whatever the user does
        {1, 0s, 30ms, 2ms, false},
        {2, 0s, 0ms, 0ms, false},        // full
        {7, 0s, 0ms, 0ms, false},        // unknown values behave as full
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode));
        currentBandwidthMode = c.mode;
        FakeIdleTime idle(c.idle);
        EXPECT_EQ(pauseBeforeFile(idle), c.beforeFile);
        EXPECT_EQ(pauseAfterChunk(idle), c.afterChunk);
        EXPECT_EQ(idle.queryCount() > 0, c.asksIdleTime);

        RecordingClock clock;
        throttleForBandwidthMode(platform::CancelToken(), idle, clock);
        const std::vector<std::chrono::nanoseconds> expected =
            c.beforeFile > 0ns ? std::vector{c.beforeFile} : std::vector<std::chrono::nanoseconds>{};
        EXPECT_EQ(clock.slept, expected);
    }
}
