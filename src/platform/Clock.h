#pragma once

#include "platform/CancelToken.h"

#include <QDateTime>
#include <QTime>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace larkfold::platform {

// Wall-clock time, injectable so tests can jump it.
class WallClock {
public:
    virtual ~WallClock() = default;
    virtual QDateTime now() const = 0;
};

class SystemWallClock final : public WallClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

// The process-wide wall clock; tests may replace it (nullptr restores the system clock).
WallClock& wallClock();
void setWallClock(WallClock* clock);

// The first moment after `now` at which the local time of day is `time`.
QDateTime nextLocalTimeOfDay(const QDateTime& now, QTime time);

// A clock that keeps counting while the computer sleeps (CLOCK_BOOTTIME), with a sleep
// that a cancel token ends early.
class ContinuousClock {
public:
    using Duration = std::chrono::nanoseconds;
    virtual ~ContinuousClock() = default;
    virtual Duration now() const = 0;
    // Sleeps for `duration` of this clock; returns false when cancelled first.
    virtual bool sleepFor(Duration duration, const CancelToken& cancel) = 0;
};

class BootTimeClock final : public ContinuousClock {
public:
    Duration now() const override;
    bool sleepFor(Duration duration, const CancelToken& cancel) override;
};

ContinuousClock& continuousClock();

// A clock that moves only when a test advances it; sleepers on any thread wake as it passes their deadline.
class FakeContinuousClock final : public ContinuousClock {
public:
    Duration now() const override;
    bool sleepFor(Duration duration, const CancelToken& cancel) override;
    void advance(Duration by);
    // Number of threads currently blocked in sleepFor.
    int sleeperCount() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable_any m_changed;
    Duration m_now{0};
    int m_sleepers = 0;
};

class FakeWallClock final : public WallClock {
public:
    explicit FakeWallClock(QDateTime start) : m_now(std::move(start)) {}
    QDateTime now() const override;
    void set(QDateTime to);
    void advance(qint64 seconds);

private:
    mutable std::mutex m_mutex;
    QDateTime m_now;
};

} // namespace larkfold::platform
