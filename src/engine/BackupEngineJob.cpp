#include "engine/BackupEngineJob.h"

#include "copy/CopyErrors.h"
#include "engine/BackupQueue.h"
#include "engine/NotificationManager.h"
#include "engine/PowerConditions.h"
#include "platform/Bookmark.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/FreedMemory.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/VolumeInfo.h"
#include "store/ConfigStore.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

// Progress reaches the main thread at most this often.
constexpr double kProgressIntervalSeconds = 0.05;

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

fs::path comparable(const fs::path& path)
{
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : resolved;
}

} // namespace

BackupEngine::Job::Job(std::shared_ptr<Shared> shared, std::shared_ptr<TaskState> state, QPointer<BackupEngine> engine,
                       std::uint64_t generation, std::shared_ptr<BackupQueue> queue, BackupPair pair,
                       std::stop_token taskStop)
    : m_shared(std::move(shared)), m_state(std::move(state)), m_engine(std::move(engine)), m_generation(generation),
      m_queue(std::move(queue)), m_pair(std::move(pair)), m_taskStop(std::move(taskStop))
{
}

void BackupEngine::Job::run()
{
    struct MarkDone {
        TaskState& state;
        ~MarkDone() { state.phase = TaskState::Phase::done; }
    } markDone{*m_state};

    {
        std::unique_lock lock(m_shared->slotMutex);
        if (!m_shared->slotFreed.wait(lock, m_taskStop, [&] { return !m_shared->slotTaken; }))
            return; // a newer trigger or stop() came first
        m_shared->slotTaken = true;
    }
    struct ReleaseSlot {
        Shared& shared;
        ~ReleaseSlot()
        {
            std::lock_guard lock(shared.slotMutex);
            shared.slotTaken = false;
            shared.slotFreed.notify_all();
        }
    } releaseSlot{*m_shared};

    std::optional<fs::path> resolvedSource;
    std::optional<fs::path> resolvedDestination;
    if (m_taskStop.stop_requested() || !withEngine([&](BackupEngine& engine) {
            resolvedSource = engine.m_resolvedSourceURL;
            resolvedDestination = engine.m_resolvedDestinationURL;
        }))
        return;

    if (!isDestinationAvailable(resolvedDestination.value_or(m_pair.destinationURL), m_pair.destinationBookmark,
                                m_shared->mounts)) {
        setStatus(BackupStatus::destinationUnreachable());
        return;
    }
    if (m_taskStop.stop_requested())
        return;
    if (!resolvedSource || !resolvedDestination) {
        auto outcome = resolveBookmarks(m_shared->bookmarks, m_pair);
        if (auto* error = std::get_if<BackupError>(&outcome)) {
            reportFailure(*error);
            return;
        }
        withEngine([&, generation = m_generation](BackupEngine& engine) {
            if (engine.m_generation == generation)
                engine.applyResolution(std::get<Resolution>(outcome));
        });
    }
    if (m_taskStop.stop_requested())
        return;
    setStatus(BackupStatus::queued());

    if (!m_queue) {
        m_state->phase = TaskState::Phase::running;
        perform(platform::CancelToken(m_taskStop));
        return;
    }
    m_state->phase = TaskState::Phase::inQueue;
    // Given up while waiting: the job leaves the queue. Once it runs, only stop() or the time limit end it.
    std::stop_callback withdraw(m_taskStop, [this] {
        TaskState::Phase expected = TaskState::Phase::inQueue;
        if (m_state->phase.compare_exchange_strong(expected, TaskState::Phase::withdrawn))
            m_queue->cancel(m_shared->pairId);
    });
    const BackupQueue::JobOutcome outcome = m_queue
                                                ->enqueue(m_shared->pairId,
                                                          [this](const platform::CancelToken& jobCancel) {
                                                              TaskState::Phase expected = TaskState::Phase::inQueue;
                                                              if (m_state->phase.compare_exchange_strong(
                                                                      expected, TaskState::Phase::running))
                                                                  perform(jobCancel);
                                                          })
                                                .get();
    if (outcome == BackupQueue::JobOutcome::timedOut) {
        const BackupError timedOut = BackupError::timedOut();
        QString description = timedOut.errorDescription();
        setStatus(BackupStatus::error(timedOut));
        recordEvent(BackupEvent::EventType::error, description);
        if (description.isEmpty())
            description = QStringLiteral("Backup timed out.");
        notify([name = m_pair.name, description](NotificationManager& manager) {
            manager.notifyError(name, description);
        });
    }
}

void BackupEngine::Job::perform(const platform::CancelToken& jobCancel)
{
    // A damaged or planted file on the drive, or a tree far larger than memory, must cost one
    // run, not the whole program: the next run starts afresh.
    try {
        performSteps(jobCancel);
    } catch (const std::bad_alloc&) {
        qCCritical(lcBackupEngine, "A backup ran out of memory and was stopped");
        const BackupError error = BackupError::copyFailed(
            QStringLiteral("There wasn't enough memory to finish this backup. It will be tried again at the next backup."));
        stopRun(error, FileOperationError::larkfold(0, error.errorDescription(), m_pair.sourceURL, QStringLiteral("backup")));
    }
    // The scans, lists and databases of a large run are freed by now; the C library would keep
    // their memory in its arenas for as long as the program rests.
    platform::releaseFreedMemory();
}

void BackupEngine::Job::performSteps(const platform::CancelToken& jobCancel)
{
    if (jobCancel.isCancelled()) {
        setStatus(BackupStatus::idle());
        return;
    }
    if (auto reason = powerPauseReason(m_shared->power)) {
        setStatus(BackupStatus::paused());
        recordEvent(BackupEvent::EventType::error, *reason);
        return;
    }
    setStatus(BackupStatus::scanning());

    Folders folders;
    if (!withEngine([&](BackupEngine& engine) {
            folders.source = engine.sourceFor(m_pair);
            folders.destination = engine.destinationFor(m_pair);
        }))
        return;
    // The drive may have gone while the job waited its turn; the copy would rebuild the path on the disk below.
    if (!isDestinationAvailable(folders.destination, m_pair.destinationBookmark, m_shared->mounts)) {
        setStatus(BackupStatus::destinationUnreachable());
        return;
    }
    folders.backup = backupFolder(folders.destination, m_pair.name);
    folders.trash = trashFolder(folders.destination);
    if (auto status = m_shared->fileSystem.statusAtPath(folders.destination))
        folders.destinationDevice = status->device;

    if (auto error = sharedBackupFolder(folders)) {
        stopRun(*error, FileOperationError::larkfold(0, error->errorDescription(), folders.backup,
                                                     QStringLiteral("validateDestination")));
        return;
    }
    // The run refuses a linked backup folder itself; the "Larkfold" folder made above it would
    // lead the whole backup into the link's target the same way.
    const fs::path base = folders.backup.parent_path();
    fs::path chosen = folders.destination;
    if (!chosen.has_filename())
        chosen = chosen.parent_path();
    if (base != chosen) {
        if (const auto status = m_shared->fileSystem.statusAtPath(base);
            status && status->type == platform::FileType::symlink) {
            failRun(copyError(copyerror::kDestinationIsLink, base, QStringLiteral("validateDestination")));
            return;
        }
    }
    if (!checkFreeSpace(folders, jobCancel))
        return;
    if (jobCancel.isCancelled()) {
        setStatus(BackupStatus::idle());
        return;
    }
    // Opened and locked once for the whole job: the clean-up, the run and every step after it
    // work on this folder, and no other run writes it meanwhile.
    auto opened = m_shared->fileCopier.openBackupFolder(folders.source, folders.backup, folders.trash);
    if (auto* failure = std::get_if<FileOperationError>(&opened)) {
        failRun(*failure);
        return;
    }
    const BackupFolder& backupFolder = std::get<BackupFolder>(opened);
    if (!backupFolder.isLocked())
        qCWarning(lcBackupEngine, "The backup folder's file system keeps no locks; this run is not guarded against "
                                  "another one writing the same folder");
    m_shared->fileCopier.removeStaleTemporaryFiles(backupFolder.directory(), jobCancel);
    m_shared->lastProgressTickTime = 0;
    withEngine([&](BackupEngine& engine) { m_confirmedDeletions = engine.m_confirmedDeletions; });

    auto outcome = m_shared->fileCopier.backup(
        folders.source, backupFolder, folders.trash, exclusionFilter(m_pair),
        [this](double fraction, const QString& label) { onProgress(fraction, label); }, jobCancel,
        m_confirmedDeletions, SourceMounts{&m_shared->mounts, m_pair.sourceMountPoints});
    if (auto* failure = std::get_if<FileOperationError>(&outcome)) {
        failRun(*failure);
        return;
    }
    BackupResult result = std::move(std::get<BackupResult>(outcome));
    // A drive swapped or unplugged at the end of the run: whatever stands at its path now is not the backup.
    if (!destinationStillThere(folders))
        result.abortedDueToVolumeLoss = true;
    // Kept even when the run was stopped: a drive unmounted before the next one must not empty its
    // part of the backup then.
    if (result.sourceMountPoints != m_pair.sourceMountPoints) {
        m_pair.sourceMountPoints = result.sourceMountPoints;
        savePairFields([&](BackupPair& current) { current.sourceMountPoints = m_pair.sourceMountPoints; });
    }

    if (jobCancel.isCancelled()) {
        // Stopped or out of time: the run ends now. Its copies get their fingerprints from a later
        // run, which fingerprints backup files without one first.
        setStatus(BackupStatus::idle());
        return;
    }
    // The confirmation was used; one given while the run went on waits for the next run.
    postToEngine([taken = m_confirmedDeletions](BackupEngine& engine) {
        if (engine.m_confirmedDeletions == taken)
            engine.m_confirmedDeletions.clear();
    });

    const QDateTime now = platform::wallClock().now();
    m_pair.lastBackupAt = now;
    m_pair.lastBackupFileCount = result.copiedFiles;
    m_pair.lastBackupByteCount = result.bytesTransferred;
    savePairFields([&](BackupPair& current) {
        current.lastBackupAt = m_pair.lastBackupAt;
        current.lastBackupFileCount = m_pair.lastBackupFileCount;
        current.lastBackupByteCount = m_pair.lastBackupByteCount;
    });
    afterRun(std::move(result), folders, backupFolder.directory(), jobCancel);
}

void BackupEngine::Job::failRun(const FileOperationError& failure)
{
    stopRun(backupError(failure), failure);
}

void BackupEngine::Job::stopRun(const BackupError& error, const FileOperationError& kept)
{
    QString description = error.errorDescription();
    if (description.isEmpty())
        description = QStringLiteral("An unexpected error occurred.");
    RunFileErrors errors;
    errors.add(kept);
    setRunOutcome(std::move(errors));
    reportFailure(error);
    recordEvent(BackupEvent::EventType::error, description);
}

void BackupEngine::Job::reportFailure(const BackupError& error)
{
    postToEngine([error, name = m_pair.name, generation = m_generation](BackupEngine& engine) {
        if (engine.m_generation == generation)
            engine.reportFailure(error, name);
    });
}

void BackupEngine::Job::setRunOutcome(RunFileErrors errors, std::optional<std::vector<std::string>> heldDeletions)
{
    postToEngine([errors = std::move(errors), held = std::move(heldDeletions),
                  generation = m_generation](BackupEngine& engine) mutable {
        if (engine.m_generation == generation)
            engine.setRunOutcome(std::move(errors), std::move(held));
    });
}

std::optional<BackupError> BackupEngine::Job::sharedBackupFolder(const Folders& folders)
{
    std::vector<BackupPair> pairs;
    if (!withEngine([&](BackupEngine& engine) {
            if (engine.m_configStore)
                pairs = engine.m_configStore->pairs();
        }))
        return std::nullopt;
    const fs::path mine = comparable(folders.backup);
    // The pair listed first keeps the folder; any later one would mirror a different source into it.
    for (const BackupPair& other : pairs) {
        if (other.id == m_pair.id)
            return std::nullopt;
        if (comparable(backupFolder(other.destinationURL, other.name)) == mine)
            return BackupError::copyFailed(
                QStringLiteral("Another backup already uses the folder “%1” on this drive — rename this backup or "
                               "choose another destination.")
                    .arg(BackupPair::sanitizedFolderName(m_pair.name)));
    }
    return std::nullopt;
}

bool BackupEngine::Job::checkFreeSpace(const Folders& folders, const platform::CancelToken& jobCancel)
{
    const auto space = m_shared->volumes.space(folders.destination);
    if (!space)
        return true;
    const auto available = static_cast<std::int64_t>(space->availableBytes);
    std::int64_t need = 0;
    if (!isSameVolume(folders.source, folders.destination, m_shared->volumes)) {
        need = m_shared->fileCopier.estimateBytesToCopy(folders.source, folders.backup, exclusionFilter(m_pair),
                                                        jobCancel);
        // Cut short, the estimate says nothing; the job ends at its next check.
        if (jobCancel.isCancelled())
            return true;
    }
    const std::optional<BackupError> low = spaceShortfall(available, need);
    if (!low)
        return true;
    setStatus(BackupStatus::error(*low));
    recordEvent(BackupEvent::EventType::error, low->errorDescription());
    notify([name = m_pair.name, available](NotificationManager& manager) {
        manager.notifyDriveAlmostFull(name, available);
    });
    return false;
}

bool BackupEngine::Job::destinationStillThere(const Folders& folders) const
{
    const auto status = m_shared->fileSystem.statusAtPath(folders.destination);
    return status && folders.destinationDevice && status->device == *folders.destinationDevice;
}

void BackupEngine::Job::onProgress(double fraction, const QString& label)
{
    const double now = steadySeconds();
    if (now - m_shared->lastProgressTickTime.load() < kProgressIntervalSeconds)
        return;
    m_shared->lastProgressTickTime = now;
    setStatus(BackupStatus::syncing(fraction, label));
}

// --- Main-thread hops ---

bool BackupEngine::Job::withEngine(const std::function<void(BackupEngine&)>& work)
{
    bool found = false;
    platform::runOnMainThreadAndWait([&] {
        if (m_engine) {
            work(*m_engine);
            found = true;
        }
    });
    return found;
}

void BackupEngine::Job::postToEngine(std::function<void(BackupEngine&)> work)
{
    platform::postToMainThread([engine = m_engine, work = std::move(work)] {
        if (engine)
            work(*engine);
    });
}

void BackupEngine::Job::setStatus(const BackupStatus& status)
{
    postToEngine([status, generation = m_generation](BackupEngine& engine) {
        if (engine.m_generation == generation)
            engine.setStatus(status);
    });
}

void BackupEngine::Job::recordEvent(BackupEvent::EventType type, std::optional<QString> message,
                                    std::int64_t filesAffected, std::int64_t bytesTransferred, double duration)
{
    BackupEvent event;
    event.id = QUuid::createUuid();
    event.pairId = m_pair.id;
    event.timestamp = platform::wallClock().now();
    event.type = type;
    event.filesAffected = filesAffected;
    event.bytesTransferred = bytesTransferred;
    event.duration = duration;
    event.message = std::move(message);
    postToEngine([event = std::move(event)](BackupEngine& engine) {
        if (engine.m_configStore)
            engine.m_configStore->addEvent(event);
    });
}

void BackupEngine::Job::notify(std::function<void(NotificationManager&)> send)
{
    postToEngine([send = std::move(send)](BackupEngine& engine) {
        if (engine.m_notificationManager)
            send(*engine.m_notificationManager);
    });
}

void BackupEngine::Job::savePairFields(const std::function<void(BackupPair&)>& set)
{
    withEngine([&](BackupEngine& engine) { engine.updateStoredPair(set); });
}

} // namespace larkfold
