#include "copy/CopyWorkers.h"

#include <system_error>

namespace larkfold {

CopyWorkers::CopyWorkers(std::size_t threads, platform::FileSystem& fileSystem, const platform::Directory& sourceDir,
                         const platform::Directory& backupDir, Copy copy, const platform::CancelToken& cancel)
    : m_fileSystem(fileSystem), m_copy(std::move(copy)), m_cancel(cancel)
{
    m_threads.reserve(threads);
    try {
        for (std::size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this, &sourceDir, &backupDir] { work(sourceDir, backupDir); });
    } catch (const std::system_error&) {
        // Out of threads: those started do the work.
        if (m_threads.empty())
            throw;
    }
}

CopyWorkers::~CopyWorkers()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    m_threads.clear(); // joins
}

void CopyWorkers::add(std::size_t entry)
{
    {
        const std::lock_guard lock(m_mutex);
        Slot& slot = m_slots.emplace_back();
        slot.entry = entry;
        m_waiting.push_back(&slot);
    }
    m_queued.notify_one();
}

void CopyWorkers::addOutcome(std::size_t entry, EntryOutcome outcome)
{
    const std::lock_guard lock(m_mutex);
    Slot& slot = m_slots.emplace_back();
    slot.entry = entry;
    slot.outcome = std::move(outcome);
    slot.done = true;
}

void CopyWorkers::handBack(const Take& take, std::size_t keepAtMost)
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [&] { return m_slots.size() <= keepAtMost || m_slots.front().done; });
        if (m_slots.empty() || !m_slots.front().done)
            return;
        Slot slot = std::move(m_slots.front());
        m_slots.pop_front();
        lock.unlock();
        if (slot.failure)
            std::rethrow_exception(slot.failure);
        take(slot.entry, slot.outcome);
    }
}

void CopyWorkers::work(const platform::Directory& sourceDir, const platform::Directory& backupDir)
{
    FolderCache sources(m_fileSystem, sourceDir);
    FolderCache copies(m_fileSystem, backupDir, true);
    for (;;) {
        Slot* slot = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait(lock, [&] { return m_stopping || !m_waiting.empty(); });
            if (m_stopping)
                return;
            slot = m_waiting.front();
            m_waiting.pop_front();
        }
        EntryOutcome outcome;
        std::exception_ptr failure;
        if (!m_cancel.isCancelled()) {
            try {
                outcome = m_copy(sources, copies, slot->entry);
            } catch (...) {
                failure = std::current_exception();
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            slot->outcome = std::move(outcome);
            slot->failure = failure;
            slot->done = true;
        }
        m_finished.notify_one();
    }
}

} // namespace larkfold
