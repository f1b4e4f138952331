#include "copy/BandwidthThrottle.h"

#include "store/AppConfig.h"

#include <thread>

namespace larkfold {

std::atomic<std::uint8_t> currentBandwidthMode{0};

namespace {

constexpr auto kModeAuto = static_cast<std::uint8_t>(AppConfig::BandwidthMode::automatic);
constexpr auto kModeQuiet = static_cast<std::uint8_t>(AppConfig::BandwidthMode::quiet);

constexpr auto kIdleThreshold = std::chrono::seconds(120);
constexpr auto kActivePauseBeforeFile = std::chrono::milliseconds(10);
constexpr auto kQuietPauseBeforeFile = std::chrono::milliseconds(30);
constexpr auto kPauseAfterChunk = std::chrono::milliseconds(2);

std::uint8_t mode()
{
    return currentBandwidthMode.load(std::memory_order_relaxed);
}

} // namespace

bool isUserIdle(platform::IdleTime& idle)
{
    const auto idleFor = idle.sessionIdleTime();
    return idleFor && *idleFor >= kIdleThreshold;
}

std::chrono::nanoseconds pauseBeforeFile(platform::IdleTime& idle)
{
    if (mode() == kModeQuiet)
        return kQuietPauseBeforeFile;
    if (mode() != kModeAuto || isUserIdle(idle))
        return {};
    // The coordinator may have switched to quiet while the idle time was asked.
    return mode() == kModeQuiet ? kQuietPauseBeforeFile : kActivePauseBeforeFile;
}

void throttleForBandwidthMode(const platform::CancelToken& cancel, platform::IdleTime& idle,
                              platform::ContinuousClock& clock)
{
    const auto pause = pauseBeforeFile(idle);
    if (pause > std::chrono::nanoseconds::zero() && !cancel.isCancelled())
        clock.sleepFor(pause, cancel);
}

std::chrono::nanoseconds pauseAfterChunk(platform::IdleTime& idle)
{
    const std::uint8_t current = mode();
    if (current == kModeQuiet || (current == kModeAuto && !isUserIdle(idle)))
        return kPauseAfterChunk;
    return {};
}

void throttleAfterChunk(platform::IdleTime& idle)
{
    const auto pause = pauseAfterChunk(idle);
    if (pause > std::chrono::nanoseconds::zero())
        std::this_thread::sleep_for(pause);
}

} // namespace larkfold
