#include "platform/ContinuousTimer.h"

#include "platform/Log.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace larkfold::platform {

BootTimeTimer::BootTimeTimer(QObject* parent) : ContinuousTimer(parent)
{
    m_fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0) {
        qCCritical(lcApp).noquote() << QStringLiteral("Could not create the schedule's timer: %1")
                                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        drain();
        if (!m_active)
            return;
        m_active = false;
        emit fired();
    });
}

BootTimeTimer::~BootTimeTimer()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void BootTimeTimer::startAt(ContinuousClock::Duration deadline)
{
    if (m_fd < 0)
        return;
    drain();
    // A deadline of zero would disarm the timer; anything past is due at once.
    const auto nanoseconds = std::max<std::int64_t>(deadline.count(), 1);
    itimerspec spec{};
    spec.it_value.tv_sec = time_t(nanoseconds / 1'000'000'000);
    spec.it_value.tv_nsec = long(nanoseconds % 1'000'000'000);
    m_active = ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr) == 0;
}

void BootTimeTimer::stop()
{
    if (m_fd < 0)
        return;
    const itimerspec disarmed{};
    ::timerfd_settime(m_fd, 0, &disarmed, nullptr);
    drain();
    m_active = false;
}

void BootTimeTimer::drain()
{
    std::uint64_t expirations = 0;
    while (::read(m_fd, &expirations, sizeof expirations) > 0) {
    }
}

} // namespace larkfold::platform
