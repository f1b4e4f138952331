#pragma once

#include "platform/CancelToken.h"
#include "platform/Clock.h"
#include "platform/IdleTime.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace larkfold {

// The bandwidth mode as its raw position (0 auto, 1 quiet, 2 full). The coordinator writes it
// on the main thread; copy loops read it, so a relaxed atomic byte is enough. Any other value
// behaves as full.
extern std::atomic<std::uint8_t> currentBandwidthMode;

// The user counts as idle after 120 s without input; an unknown idle time counts as active.
bool isUserIdle(platform::IdleTime& idle = platform::idleTime());

// The pause before a file the copy loop is about to copy: 10 ms in auto while the user is
// active, 30 ms in quiet, none otherwise.
std::chrono::nanoseconds pauseBeforeFile(platform::IdleTime& idle = platform::idleTime());

// Sleeps for pauseBeforeFile(); a cancel ends the sleep early, without an error.
void throttleForBandwidthMode(const platform::CancelToken& cancel,
                              platform::IdleTime& idle = platform::idleTime(),
                              platform::ContinuousClock& clock = platform::continuousClock());

// The pause after each chunk of a streamed copy: 2 ms in auto while the user is active and in
// quiet, none otherwise.
std::chrono::nanoseconds pauseAfterChunk(platform::IdleTime& idle = platform::idleTime());

// Blocks the thread for pauseAfterChunk().
void throttleAfterChunk(platform::IdleTime& idle = platform::idleTime());

} // namespace larkfold
