#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

namespace larkfold {

// Runs an action once changes have paused: `defaultDelay` after the last request, or `burstDelay`
// while more than `burstThreshold` requests fell within the last `burstWindow`. Main thread only;
// a call from another thread stops the process.
class Debouncer {
public:
    struct Settings {
        double defaultDelaySeconds = 2.0;
        double burstDelaySeconds = 10.0;
        int burstThreshold = 500;
        double burstWindowSeconds = 5.0;
    };

    Debouncer();
    explicit Debouncer(Settings settings);

    // Restarts the wait and makes `action` the one to run when it ends.
    void schedule(std::function<void()> action);
    // Drops the pending action. Requests already counted still count toward a burst.
    void cancel();

private:
    const Settings m_settings;
    QTimer m_timer;
    std::function<void()> m_action;
    // Wall-clock times of the requests within the window, oldest first.
    std::deque<QDateTime> m_eventTimestamps;
};

} // namespace larkfold
