#pragma once

// The engine's backup task, shared by its sources; not part of the engine's interface.

#include "copy/BackupResult.h"
#include "copy/FileCopier.h"
#include "engine/BackupEngine.h"
#include "engine/IntegrityVerifier.h"
#include "engine/OffsiteSyncer.h"
#include "platform/CancelToken.h"
#include "store/BackupEvent.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>

namespace larkfold {

// What the engine and its backup tasks share; it outlives the engine while a task still runs.
struct BackupEngine::Shared {
    Shared(const QUuid& pairId, const Environment& environment);

    const QUuid pairId;
    platform::VolumeInfo& volumes;
    platform::PowerSource& power;
    platform::MountSource& mounts;
    platform::Bookmarks& bookmarks;
    platform::FileSystem& fileSystem;
    const std::function<std::unique_ptr<platform::FileEvents>()> fileEvents;
    const std::chrono::milliseconds finishedStatusDelay;
    const FileCopier fileCopier;
    IntegrityVerifier integrityVerifier;
    const OffsiteSyncer offsiteSyncer;
    // Seconds on the steady clock of the last progress report passed on.
    std::atomic<double> lastProgressTickTime{0};
    // Items at the names of the program's own files already reported to the user, so each is told
    // once. Touched only by the job holding the slot below.
    std::set<std::string> reportedForeignItems;

    // Only one task of the engine is past its start at a time, so two runs of a pair never overlap.
    std::mutex slotMutex;
    std::condition_variable_any slotFreed;
    bool slotTaken = false;
};

struct BackupEngine::TaskState {
    enum class Phase {
        starting, // waiting for the engine's previous task, checking and resolving
        inQueue, // waiting for its turn in the shared queue
        withdrawn, // given up before its turn came
        running, // the job runs; only stop() or the time limit ends it
        finishing, // showing the outcome before the status returns to idle
        done,
    };
    std::atomic<Phase> phase{Phase::starting};
};

// One backup of one pair, from the trigger to the end of its job. Runs on the task's own thread.
class BackupEngine::Job {
public:
    Job(std::shared_ptr<Shared> shared, std::shared_ptr<TaskState> state, QPointer<BackupEngine> engine,
        std::uint64_t generation, std::shared_ptr<BackupQueue> queue, BackupPair pair, std::stop_token taskStop);

    void run();

private:
    // Where a job's files go, fixed when the job starts.
    struct Folders {
        std::filesystem::path source;
        std::filesystem::path destination;
        std::filesystem::path backup;
        std::filesystem::path trash;
        std::optional<std::uint64_t> destinationDevice;
    };

    void perform(const platform::CancelToken& jobCancel);
    void performSteps(const platform::CancelToken& jobCancel);
    // The run could not start: the pair's status, one event and the failures it keeps say why.
    void failRun(const FileOperationError& failure);
    // The run ends on `error`: the pair's status, the user told once, one event, and `kept` as
    // the failure "Show Details…" lists.
    void stopRun(const BackupError& error, const FileOperationError& kept);
    // The pair's status becomes `error`, and the user is told once (BackupEngine::reportFailure).
    void reportFailure(const BackupError& error);
    // What the run leaves for the user to look at: its failures, and the held deletions when the
    // run got as far as archival.
    void setRunOutcome(RunFileErrors errors, std::optional<std::vector<std::string>> heldDeletions = std::nullopt);
    std::optional<BackupError> sharedBackupFolder(const Folders& folders);
    bool checkFreeSpace(const Folders& folders, const platform::CancelToken& jobCancel);
    // The destination is still the drive the run started on.
    bool destinationStillThere(const Folders& folders) const;
    // `backup` is the backup folder the run opened; every step works through it.
    void afterRun(BackupResult result, const Folders& folders, const platform::Directory& backup,
                  const platform::CancelToken& jobCancel);
    // Tells the user, once for each, of items the program did not make found at its own names.
    void reportForeignItems(const std::vector<BackupResult::ForeignItem>& items);
    void logPackageCatchUpIfNeeded(const std::vector<std::filesystem::path>& copiedPaths);
    void suggestProfileIfNeeded(const BackupResult& result);
    void runOffsiteStep(const platform::Directory& backup, const platform::CancelToken& jobCancel);
    void waitThenResetStatus(const platform::CancelToken& jobCancel);
    void onProgress(double fraction, const QString& label);

    // Main-thread hops. Each does nothing once the engine is gone.
    bool withEngine(const std::function<void(BackupEngine&)>& work);
    void postToEngine(std::function<void(BackupEngine&)> work);
    // Dropped when the engine was stopped after this job began.
    void setStatus(const BackupStatus& status);
    void recordEvent(BackupEvent::EventType type, std::optional<QString> message, std::int64_t filesAffected = 0,
                     std::int64_t bytesTransferred = 0, double duration = 0);
    void notify(std::function<void(NotificationManager&)> send);
    // Sets fields on the store's current record of the pair and saves it; waits until done.
    void savePairFields(const std::function<void(BackupPair&)>& set);

    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<TaskState> m_state;
    QPointer<BackupEngine> m_engine; // read on the main thread only
    const std::uint64_t m_generation;
    std::shared_ptr<BackupQueue> m_queue;
    BackupPair m_pair;
    std::stop_token m_taskStop;
    // The deletions the user confirmed, taken from the engine when the job starts its run.
    std::vector<std::string> m_confirmedDeletions;
};

} // namespace larkfold
