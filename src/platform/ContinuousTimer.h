#pragma once

#include "platform/Clock.h"

#include <QObject>

#include <memory>
#include <optional>

class QSocketNotifier;

namespace larkfold::platform {

// A one-shot alarm on the continuous clock's timeline: a deadline that passed while the computer
// slept fires right after wake, where a QTimer would still wait out the time asleep.
class ContinuousTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Fires `fired()` once, on this object's thread, when continuousClock() reaches `deadline`;
    // replaces any earlier deadline.
    virtual void startAt(ContinuousClock::Duration deadline) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void fired();
};

// A timerfd on CLOCK_BOOTTIME, the clock BootTimeClock reads.
class BootTimeTimer final : public ContinuousTimer {
    Q_OBJECT
public:
    explicit BootTimeTimer(QObject* parent = nullptr);
    ~BootTimeTimer() override;
    void startAt(ContinuousClock::Duration deadline) override;
    void stop() override;
    bool isActive() const override { return m_active; }

private:
    void drain();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_active = false;
};

// Follows a FakeContinuousClock: fires when a test has advanced it past the deadline and calls poll().
class FakeContinuousTimer final : public ContinuousTimer {
    Q_OBJECT
public:
    explicit FakeContinuousTimer(const FakeContinuousClock& clock, QObject* parent = nullptr)
        : ContinuousTimer(parent), m_clock(clock)
    {
    }
    void startAt(ContinuousClock::Duration deadline) override { m_deadline = deadline; }
    void stop() override { m_deadline.reset(); }
    bool isActive() const override { return m_deadline.has_value(); }
    const std::optional<ContinuousClock::Duration>& deadline() const { return m_deadline; }
    // Fires once when the clock has reached the deadline.
    void poll()
    {
        if (m_deadline && m_clock.now() >= *m_deadline) {
            m_deadline.reset();
            emit fired();
        }
    }

private:
    const FakeContinuousClock& m_clock;
    std::optional<ContinuousClock::Duration> m_deadline;
};

} // namespace larkfold::platform
