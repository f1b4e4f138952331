#include "platform/Clock.h"

#include <atomic>
#include <ctime>

namespace larkfold::platform {
namespace {

// Sleeps are cut into slices so time spent suspended (which steady_clock does not count) is noticed.
constexpr auto kSleepSlice = std::chrono::seconds(1);

std::atomic<WallClock*> g_wallClock{nullptr};

} // namespace

WallClock& wallClock()
{
    static SystemWallClock system;
    WallClock* clock = g_wallClock.load();
    return clock ? *clock : system;
}

void setWallClock(WallClock* clock)
{
    g_wallClock.store(clock);
}

QDateTime nextLocalTimeOfDay(const QDateTime& now, QTime time)
{
    const QDateTime local = now.toLocalTime();
    QDateTime candidate(local.date(), time, Qt::LocalTime);
    if (candidate <= local)
        candidate = QDateTime(local.date().addDays(1), time, Qt::LocalTime);
    return candidate;
}

ContinuousClock::Duration BootTimeClock::now() const
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

bool BootTimeClock::sleepFor(Duration duration, const CancelToken& cancel)
{
    const Duration deadline = now() + duration;
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    while (!cancel.isCancelled()) {
        const Duration left = deadline - now();
        if (left <= Duration::zero())
            return true;
        const auto slice = std::min<Duration>(left, kSleepSlice);
        wake.wait_for(lock, cancel.stopToken(), slice, [] { return false; });
    }
    return false;
}

ContinuousClock& continuousClock()
{
    static BootTimeClock clock;
    return clock;
}

ContinuousClock::Duration FakeContinuousClock::now() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

bool FakeContinuousClock::sleepFor(Duration duration, const CancelToken& cancel)
{
    std::unique_lock lock(m_mutex);
    const Duration deadline = m_now + duration;
    ++m_sleepers;
    m_changed.notify_all();
    const bool reached = m_changed.wait(lock, cancel.stopToken(), [&] { return m_now >= deadline; });
    --m_sleepers;
    return reached;
}

void FakeContinuousClock::advance(Duration by)
{
    std::lock_guard lock(m_mutex);
    m_now += by;
    m_changed.notify_all();
}

int FakeContinuousClock::sleeperCount() const
{
    std::lock_guard lock(m_mutex);
    return m_sleepers;
}

QDateTime FakeWallClock::now() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

void FakeWallClock::set(QDateTime to)
{
    std::lock_guard lock(m_mutex);
    m_now = std::move(to);
}

void FakeWallClock::advance(qint64 seconds)
{
    std::lock_guard lock(m_mutex);
    m_now = m_now.addSecs(seconds);
}

} // namespace larkfold::platform
