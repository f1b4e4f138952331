#include "engine/Debouncer.h"

#include "platform/Clock.h"
#include "platform/MainThread.h"

#include <cmath>

namespace larkfold {

Debouncer::Debouncer() : Debouncer(Settings{}) {}

Debouncer::Debouncer(Settings settings) : m_settings(settings)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // A copy, so the action may schedule or cancel again while it runs.
        if (auto action = m_action)
            action();
    });
}

void Debouncer::schedule(std::function<void()> action)
{
    platform::requireMainThread("Debouncer::schedule");
    const QDateTime now = platform::wallClock().now();
    m_eventTimestamps.push_back(now);
    // A request exactly one window old still counts.
    const QDateTime windowStart = now.addMSecs(-std::llround(m_settings.burstWindowSeconds * 1000.0));
    std::erase_if(m_eventTimestamps, [&](const QDateTime& t) { return t < windowStart; });
    const bool inBurst = m_eventTimestamps.size() > static_cast<std::size_t>(m_settings.burstThreshold);
    const double delay = inBurst ? m_settings.burstDelaySeconds : m_settings.defaultDelaySeconds;
    m_action = std::move(action);
    m_timer.start(static_cast<int>(std::llround(delay * 1000.0)));
}

void Debouncer::cancel()
{
    platform::requireMainThread("Debouncer::cancel");
    m_timer.stop();
    m_action = nullptr;
}

} // namespace larkfold
