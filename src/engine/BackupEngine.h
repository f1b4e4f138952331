#pragma once

#include "copy/ExclusionFilter.h"
#include "copy/FileOperationError.h"
#include "engine/Debouncer.h"
#include "engine/RunFileErrors.h"
#include "store/BackupError.h"
#include "store/BackupPair.h"
#include "store/BackupStatus.h"
#include "store/BookmarkError.h"

#include <QObject>
#include <QPointer>
#include <QUuid>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace larkfold {

class BackupQueue;
class ConfigStore;
class FileWatching;
class NotificationManager;

namespace platform {
class Bookmarks;
class FileEvents;
class Directory;
class FileSystem;
class MountSource;
class PowerSource;
class VolumeInfo;
} // namespace platform

// The worker of one backup pair: watches its source folder, turns file changes and requests into
// backup jobs on the shared queue, and publishes the pair's status and the destination's free
// space. Lives on the main thread; each backup runs on a thread of its own and comes back to the
// main thread for every write of shared state.
class BackupEngine : public QObject {
    Q_OBJECT

public:
    // The parts of the computer the engine asks; tests hand in fakes. Null means the system's own.
    struct Environment {
        platform::VolumeInfo* volumes = nullptr; // free space and volume identity
        platform::PowerSource* power = nullptr;
        platform::MountSource* mounts = nullptr;
        platform::Bookmarks* bookmarks = nullptr;
        platform::FileSystem* fileSystem = nullptr; // what the copy runs and the offsite copy go through
        // Makes the event stream of each watcher; none: inotify.
        std::function<std::unique_ptr<platform::FileEvents>()> fileEvents;
        // How long a finished run's outcome stays on show before the status returns to idle.
        std::chrono::milliseconds finishedStatusDelay = std::chrono::seconds(5);
        // Files a run copies at once; 0: as many as the backup folder's drive takes.
        std::size_t copyWorkers = 0;
    };

    explicit BackupEngine(const QUuid& pairId, QObject* parent = nullptr);
    BackupEngine(const QUuid& pairId, Environment environment, QObject* parent = nullptr);
    // Stops all work first.
    ~BackupEngine() override;

    const QUuid& pairId() const { return m_pairId; }

    // Set by the coordinator before start(). The store and the notification manager are held weakly.
    void setConfigStore(ConfigStore* store);
    void setBackupQueue(std::shared_ptr<BackupQueue> queue);
    void setNotificationManager(NotificationManager* manager);

    // Watches the pair's source and backs it up once: unless it is disabled (paused), its
    // destination is missing (destinationUnreachable), or its folders cannot be resolved (error).
    // A source that cannot be watched (or not wholly) is still backed up, now and on the
    // schedule, with a watch warning. A watcher still running from an earlier start is stopped first.
    void start(const BackupPair& pair);
    // Ends all work: pending trigger, backup task, queued or running job, watcher. Work already
    // under way no longer writes the status; a status of work in progress becomes idle.
    void stop();
    // Starts a backup of `pair`. A previous backup that has not reached the front of the queue is
    // given up; one that is running finishes first, and this one follows it.
    void triggerBackup(const BackupPair& pair);
    // The watcher's callback: a backup of the store's current pair once changes have paused.
    void handleFileEvents(const BackupPair& pair);
    // Whether a backup task of this engine has not ended yet. Whoever destroys the shared queue
    // waits, with the event loop running, until no task of the process is left (BackupTasks).
    bool hasRunningTask() const;
    // The coordinator cancels it before triggering a backup itself.
    Debouncer& debouncer() { return m_debouncer; }

    const BackupStatus& status() const { return m_status; }
    void setStatus(const BackupStatus& status);
    // Free bytes on the destination's volume after the last copy run; none before the first.
    std::optional<std::int64_t> destinationFreeSpace() const { return m_destinationFreeSpace; }
    // Why changes in the source are not all seen as they happen, with what to do; empty while
    // they are. The pair is then backed up on the schedule.
    const QString& watchWarning() const { return m_watchWarning; }

    // The failures of the last run that tried anything: each file that failed, or what stopped
    // the run before it copied. Empty before the first run and after one without failures.
    const RunFileErrors& lastRunErrors() const { return m_lastRunErrors; }
    // Backup files (paths below the backup folder, bytes) that vanished from the source in
    // numbers that made the last run keep them where they are.
    const std::vector<std::string>& heldDeletions() const { return m_heldDeletions; }
    // The user confirmed those deletions: a backup of `pair` starts now, and its run moves those
    // still gone from the source to the backup trash, whatever their number; nothing else it
    // would hold back goes with them.
    void confirmHeldDeletions(const BackupPair& pair);
    // The pair's status becomes `error`; the user is told, unless this very error was told
    // already and the pair has had no other outcome since.
    void reportFailure(const BackupError& error, const QString& pairName);

    // Resolves the pair's bookmarks; a refreshed bookmark is saved on the store's current record.
    // The coordinator calls it when a destination comes back.
    std::optional<BackupError> resolveURLs(const BackupPair& pair);
    const std::optional<std::filesystem::path>& resolvedSourceURL() const { return m_resolvedSourceURL; }
    const std::optional<std::filesystem::path>& resolvedDestinationURL() const { return m_resolvedDestinationURL; }

    // Whether a backup can be written at `destination` (or a source read): the one reachability
    // rule of the program, deciding by the folder's bookmark (platform::isFolderReachable). Any thread.
    static bool isDestinationAvailable(const std::filesystem::path& destination,
                                       const std::optional<QByteArray>& bookmark,
                                       const platform::MountSource& mounts);
    // Both paths are on one known volume.
    static bool isSameVolume(const std::filesystem::path& a, const std::filesystem::path& b,
                             const platform::VolumeInfo& volumes);
    // Room a destination must keep free beyond what a run will copy.
    static constexpr std::int64_t kFreeSpaceMarginBytes = 524288000;
    // The free-space rule of a run with `available` bytes free: room for `need` bytes (what goes
    // to another volume; 0 when nothing does or the volume is the source's) plus the margin, and
    // always the margin. None when there is enough.
    static std::optional<BackupError> spaceShortfall(std::int64_t available, std::int64_t need);
    // Logs one line when the network share holding `destination` is mounted more than once.
    static void logDuplicateMounts(const std::filesystem::path& destination, const platform::MountSource& mounts);

    // The failure as the pair's error: a copy engine's failure keeps its own message.
    static BackupError backupError(const BackupError& error) { return error; }
    static BackupError backupError(const BookmarkError& error);
    static BackupError backupError(const FileOperationError& error);
    static BackupError backupError(const QString& otherFailure);

    static ExclusionFilter exclusionFilter(const BackupPair& pair);
    // "Larkfold" in the destination (the destination itself when it is so named), then the pair's folder.
    static std::filesystem::path backupFolder(const std::filesystem::path& destination, const QString& pairName);
    // ".Larkfold-Trash" in the destination, shared by its pairs.
    static std::filesystem::path trashFolder(const std::filesystem::path& destination);
    // Bytes of the files below `folder`, hidden items left out and no link below it followed;
    // none when it does not exist or cannot be read.
    static std::optional<std::int64_t> directorySize(const std::filesystem::path& folder);
    // The same of a folder already open: a link at its path is never measured through.
    static std::optional<std::int64_t> directorySize(const platform::Directory& folder);

signals:
    void statusChanged();
    void destinationFreeSpaceChanged();
    // lastRunErrors() or heldDeletions() changed.
    void runOutcomeChanged();
    void watchWarningChanged();
    // A backup profile other than standard fits the pair's files; offered once per pair.
    void profileSuggested(const QUuid& pairId, const QString& pairName, BackupProfile recommendedProfile,
                          qint64 approximateBytes);

private:
    struct Shared;
    struct TaskState;
    class Job;
    struct TaskHandle {
        std::shared_ptr<TaskState> state;
        std::jthread thread;
    };
    // Resolved folders, and the bookmarks that came back refreshed.
    struct Resolution {
        std::optional<std::filesystem::path> source;
        std::optional<std::filesystem::path> destination;
        std::optional<QByteArray> refreshedSourceBookmark;
        std::optional<QByteArray> refreshedDestinationBookmark;
    };
    using ResolutionOutcome = std::variant<Resolution, BackupError>;

    // Any thread: the bookmark work, without touching the engine.
    static ResolutionOutcome resolveBookmarks(const platform::Bookmarks& bookmarks, const BackupPair& pair);
    void applyResolution(const Resolution& resolution);
    // The store's current record of the pair; none without a store or a record.
    std::optional<BackupPair> storedPair() const;
    // Sets fields on the store's current record and saves it, so no other field is undone.
    void updateStoredPair(const std::function<void(BackupPair&)>& set);
    void setDestinationFreeSpace(std::optional<std::int64_t> bytes);
    void setRunOutcome(RunFileErrors errors, std::optional<std::vector<std::string>> heldDeletions);
    // Tells the user of `error` once, as reportFailure does.
    void notifyFailureOnce(const BackupError& error, const QString& pairName);
    void setWatchWarning(const QString& warning);
    void handleWatchesIncomplete(const BackupPair& pair);
    void resetFinishedStatus();
    void stopAccessingSecurityScopedURLs();
    void reapFinishedTasks();
    // Where a job reads its folders: the resolved ones, else the pair's own.
    std::filesystem::path sourceFor(const BackupPair& pair) const;
    std::filesystem::path destinationFor(const BackupPair& pair) const;

    const QUuid m_pairId;
    BackupStatus m_status;
    std::optional<std::int64_t> m_destinationFreeSpace;
    RunFileErrors m_lastRunErrors;
    std::vector<std::string> m_heldDeletions;
    // Taken by the next run that reaches its copy.
    std::vector<std::string> m_confirmedDeletions;
    // The failure the user was last told of, until the pair has another outcome.
    std::optional<BackupError> m_toldFailure;
    QString m_watchWarning;
    // The watch limit is told once for the engine's life, not at every start.
    bool m_watchLimitNotified = false;
    QPointer<ConfigStore> m_configStore;
    std::shared_ptr<BackupQueue> m_backupQueue;
    QPointer<NotificationManager> m_notificationManager;
    std::unique_ptr<FileWatching> m_fileWatcher;
    Debouncer m_debouncer;
    std::shared_ptr<Shared> m_shared;
    std::optional<TaskHandle> m_backupTask;
    std::vector<TaskHandle> m_finishingTasks;
    // Moves on at every stop(): work of an older generation drops its status writes.
    std::uint64_t m_generation = 0;
    std::optional<std::filesystem::path> m_resolvedSourceURL;
    std::optional<std::filesystem::path> m_resolvedDestinationURL;
};

} // namespace larkfold
