#include "engine/BackupQueue.h"

#include "platform/Log.h"

namespace larkfold {
namespace {

QString secondsText(std::chrono::nanoseconds duration)
{
    const double seconds = std::chrono::duration<double>(duration).count();
    return QString::number(seconds, 'f', 1) + QStringLiteral(" seconds");
}

} // namespace

BackupQueue::BackupQueue() : BackupQueue(Options{}) {}

BackupQueue::BackupQueue(Options options)
    : m_timeLimit(options.timeLimit), m_clock(options.clock ? *options.clock : platform::continuousClock())
{
}

BackupQueue::~BackupQueue()
{
    std::deque<Entry> dropped;
    std::jthread processor;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        dropped.swap(m_pending);
        if (m_currentPairId) {
            m_currentOutcome = JobOutcome::cancelled;
            if (m_runningCancel)
                m_runningCancel->cancel();
        }
        processor = std::move(m_processor);
    }
    for (Entry& entry : dropped)
        entry.promise.set_value(JobOutcome::cancelled);
    if (processor.joinable())
        processor.join();
}

std::future<BackupQueue::JobOutcome> BackupQueue::enqueue(const QUuid& pairId, Work work)
{
    std::jthread finished;
    std::optional<Entry> replaced;
    std::future<JobOutcome> future;
    {
        std::lock_guard lock(m_mutex);
        Entry entry{pairId, std::move(work), {}};
        future = entry.promise.get_future();
        if (m_closing) {
            entry.promise.set_value(JobOutcome::cancelled);
            return future;
        }
        // The replacing job joins the end of the line; it does not take the place of the one it replaces.
        replaced = takePending(pairId);
        m_pending.push_back(std::move(entry));
        if (!m_isRunning) {
            // Set before the thread starts, so two processors never drain the queue at once.
            m_isRunning = true;
            finished = std::move(m_processor); // a processor that found the queue empty; joined below
            m_processor = std::jthread([this] { processQueue(); });
        }
    }
    if (replaced)
        replaced->promise.set_value(JobOutcome::cancelled);
    return future;
}

void BackupQueue::cancel(const QUuid& pairId)
{
    std::optional<Entry> withdrawn;
    {
        std::lock_guard lock(m_mutex);
        withdrawn = takePending(pairId);
        if (m_currentPairId == pairId) {
            m_currentOutcome = JobOutcome::cancelled;
            if (m_runningCancel)
                m_runningCancel->cancel();
        }
    }
    if (withdrawn)
        withdrawn->promise.set_value(JobOutcome::cancelled);
}

std::optional<BackupQueue::Entry> BackupQueue::takePending(const QUuid& pairId)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->pairId == pairId) {
            Entry entry = std::move(*it);
            m_pending.erase(it);
            return entry;
        }
    }
    return std::nullopt;
}

void BackupQueue::processQueue()
{
    for (;;) {
        Entry entry;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty()) {
                m_isRunning = false;
                return;
            }
            entry = std::move(m_pending.front());
            m_pending.pop_front();
            m_currentPairId = entry.pairId;
            // In the same step as the job becomes current, so a cancel from now on reaches its work.
            m_currentOutcome = JobOutcome::completed;
            m_runningCancel.emplace();
        }
        const JobOutcome outcome = runJob(entry);
        {
            std::lock_guard lock(m_mutex);
            m_currentPairId.reset();
        }
        entry.promise.set_value(outcome);
    }
}

BackupQueue::JobOutcome BackupQueue::runJob(Entry& entry)
{
    platform::CancelSource workCancel;
    platform::CancelSource watchdogCancel;
    {
        std::lock_guard lock(m_mutex);
        // A queue being destroyed has already cancelled the job it knew as current.
        if (m_closing) {
            m_currentOutcome = JobOutcome::cancelled;
            m_runningCancel->cancel();
        }
        workCancel = *m_runningCancel;
    }
    std::jthread work([&entry, workToken = workCancel.token(), watchdogCancel]() mutable {
        entry.work(workToken);
        watchdogCancel.cancel();
    });
    // The watchdog: this thread sleeps on the continuous clock, so time asleep counts toward the limit.
    if (m_clock.sleepFor(m_timeLimit, watchdogCancel.token()) && !watchdogCancel.isCancelled())
        handleTimeout(entry.pairId);
    // Cancellation is cooperative: the next job never starts before this work has returned.
    work.join();

    std::lock_guard lock(m_mutex);
    m_runningCancel.reset();
    return m_currentOutcome;
}

void BackupQueue::handleTimeout(const QUuid& pairId)
{
    std::lock_guard lock(m_mutex);
    if (m_currentPairId != pairId)
        return;
    qCCritical(lcBackupEngine).noquote()
        << QStringLiteral("Backup job for pair %1 exceeded the %2 limit — cancelling.")
               .arg(platform::hashedName(pairId.toString(QUuid::WithoutBraces).toUpper()), secondsText(m_timeLimit));
    m_currentOutcome = JobOutcome::timedOut;
    if (m_runningCancel)
        m_runningCancel->cancel();
}

} // namespace larkfold
