#pragma once

#include <QDBusConnection>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace larkfold::platform {

// How long the session has gone without a mouse move, key press or click.
class IdleTime {
public:
    using Duration = std::chrono::milliseconds;
    virtual ~IdleTime() = default;
    // None when no source could tell; callers then treat the user as active.
    virtual std::optional<Duration> sessionIdleTime() = 0;
};

// Asks, in this order, GNOME's Mutter idle monitor, the freedesktop screen saver, then the X11
// screen-saver extension (X11 sessions only). Safe to call from any thread.
class SessionIdleTime final : public IdleTime {
public:
    explicit SessionIdleTime(QDBusConnection bus = QDBusConnection::sessionBus());
    ~SessionIdleTime() override;
    std::optional<Duration> sessionIdleTime() override;

private:
    std::optional<Duration> askMutter();
    std::optional<Duration> askScreenSaver();
    std::optional<Duration> askX11();

    QDBusConnection m_bus;
    bool m_useX11 = false;
    std::mutex m_x11Mutex;
    struct X11;
    std::unique_ptr<X11> m_x11;
};

// A settable idle time for tests; counts the queries it answers.
class FakeIdleTime final : public IdleTime {
public:
    explicit FakeIdleTime(std::optional<Duration> idle = std::nullopt) { set(idle); }
    std::optional<Duration> sessionIdleTime() override;
    void set(std::optional<Duration> idle);
    int queryCount() const { return m_queries.load(); }

private:
    std::mutex m_mutex;
    std::optional<Duration> m_idle;
    std::atomic<int> m_queries{0};
};

// The process-wide idle source; tests may replace it (nullptr restores the session's).
IdleTime& idleTime();
void setIdleTime(IdleTime* source);

} // namespace larkfold::platform
