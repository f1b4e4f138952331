#pragma once

#include "platform/CancelToken.h"
#include "platform/Clock.h"

#include <QUuid>

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

namespace larkfold {

// The one job queue of the program: one backup job at a time, in order of arrival, at most one
// waiting job per pair, and a time limit per job on the continuous clock.
class BackupQueue {
public:
    enum class JobOutcome {
        completed, // the work ran to its end without being cancelled
        timedOut, // the time limit expired while the work was running
        cancelled, // dropped before it ran, or cancelled while it ran
    };

    // The job. It runs on a thread of its own and should return soon after the token is cancelled.
    using Work = std::function<void(const platform::CancelToken&)>;

    struct Options {
        std::chrono::nanoseconds timeLimit = std::chrono::seconds(3600);
        platform::ContinuousClock* clock = nullptr; // the process's CLOCK_BOOTTIME clock when null
    };

    BackupQueue();
    explicit BackupQueue(Options options);
    // Drops the waiting jobs (cancelled), cancels the running one and waits for it to return.
    ~BackupQueue();
    BackupQueue(const BackupQueue&) = delete;
    BackupQueue& operator=(const BackupQueue&) = delete;

    // Queues the pair's job behind every job already waiting; a waiting job of the same pair is dropped
    // and answered `cancelled` at once. The future is set exactly once: when the job has ended (after its
    // work returned) or has been dropped. Callable from any thread; wait on the future off the main thread.
    std::future<JobOutcome> enqueue(const QUuid& pairId, Work work);

    // Withdraws the pair's waiting job and cancels its running one (answered when its work returns).
    void cancel(const QUuid& pairId);

private:
    struct Entry {
        QUuid pairId;
        Work work;
        std::promise<JobOutcome> promise;
    };

    void processQueue();
    JobOutcome runJob(Entry& entry);
    void handleTimeout(const QUuid& pairId);
    // Removes the pair's first waiting entry, if any; its promise is left for the caller to answer.
    std::optional<Entry> takePending(const QUuid& pairId);

    const std::chrono::nanoseconds m_timeLimit;
    platform::ContinuousClock& m_clock;

    std::mutex m_mutex;
    std::deque<Entry> m_pending;
    bool m_isRunning = false;
    bool m_closing = false;
    std::optional<QUuid> m_currentPairId;
    std::optional<platform::CancelSource> m_runningCancel;
    JobOutcome m_currentOutcome = JobOutcome::completed;
    std::jthread m_processor;
};

} // namespace larkfold
