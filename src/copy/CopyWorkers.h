#pragma once

// The threads a backup run copies its small files on, when its backup folder's drive takes
// several files at once.

#include "copy/FileCopierRun.h"
#include "copy/FileOperationError.h"
#include "platform/CancelToken.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace larkfold {

// What copying one entry came to, before it is counted in the run's result.
struct EntryOutcome {
    bool copied = false;
    std::int64_t bytes = 0; // the source size the copy read, when copied
    std::optional<FileOperationError> error;
    // Something the program did not make at one of its own names (below the backup folder).
    std::optional<std::string> foreignItem;
};

// Copies entries on threads of their own and hands their outcomes back in the order the entries
// were given, however the copies overlap, so that a run's result does not depend on which copy
// ended first. Each thread owns the entry it copies and its own open folders; nothing of the run
// is written from them.
class CopyWorkers {
public:
    // Runs on a worker's thread with that thread's folders below the source and the backup folder
    // (made as they are needed); `entry` is what add() was given.
    using Copy = std::function<EntryOutcome(FolderCache& sources, FolderCache& copies, std::size_t entry)>;
    // Called on the thread that calls handBack(), in the order the entries were added.
    using Take = std::function<void(std::size_t entry, EntryOutcome& outcome)>;

    // An entry queued once `cancel` is set is handed back without being copied, with no outcome.
    CopyWorkers(std::size_t threads, platform::FileSystem& fileSystem, const platform::Directory& sourceDir,
                const platform::Directory& backupDir, Copy copy, const platform::CancelToken& cancel);
    // Lets the copies under way end and stops the threads; outcomes not handed back are dropped.
    ~CopyWorkers();
    CopyWorkers(const CopyWorkers&) = delete;
    CopyWorkers& operator=(const CopyWorkers&) = delete;

    // Queues `entry` for the next free thread.
    void add(std::size_t entry);
    // Puts an outcome the caller came to on its own thread in the entry's place in the order.
    void addOutcome(std::size_t entry, EntryOutcome outcome);
    // Hands the outcomes ready at the front to `take`, waiting until no more than `keepAtMost`
    // entries are left. An exception a copy threw is thrown here, in its entry's turn.
    void handBack(const Take& take, std::size_t keepAtMost);

private:
    struct Slot {
        std::size_t entry = 0;
        bool done = false;
        EntryOutcome outcome;
        std::exception_ptr failure;
    };

    void work(const platform::Directory& sourceDir, const platform::Directory& backupDir);

    platform::FileSystem& m_fileSystem;
    const Copy m_copy;
    const platform::CancelToken& m_cancel;

    std::mutex m_mutex;
    std::condition_variable m_queued;   // a slot was queued, or the threads are to stop
    std::condition_variable m_finished; // a slot is done
    // Every entry not yet handed back, in order. A deque keeps each slot in place while others are
    // added at the back or taken from the front, so a thread can hold on to the slot it fills.
    std::deque<Slot> m_slots;
    std::deque<Slot*> m_waiting; // queued and not yet taken by a thread
    bool m_stopping = false;
    std::vector<std::jthread> m_threads;
};

} // namespace larkfold
