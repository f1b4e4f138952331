#include "engine/BackupEngine.h"

#include "engine/BackupEngineJob.h"
#include "engine/BackupQueue.h"
#include "engine/BackupTasks.h"
#include "engine/FileWatcher.h"
#include "engine/MountTable.h"
#include "engine/NotificationManager.h"
#include "platform/Bookmark.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/MountSource.h"
#include "platform/Paths.h"
#include "platform/PowerSource.h"
#include "platform/Reachability.h"
#include "platform/TreeWalker.h"
#include "platform/VolumeInfo.h"
#include "store/ConfigStore.h"

#include <QStringList>

#include <algorithm>
#include <system_error>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBackupRootName = "Larkfold";

// Bytes of the regular files below `root`, hidden items left out; no link below it is followed.
template <class Root>
std::optional<std::int64_t> sizeOfTree(const Root& root)
{
    std::int64_t total = 0;
    const auto outcome = platform::TreeWalker::walk(root, [&](const platform::TreeEntry& entry) {
        if (entry.name().starts_with('.'))
            return false;
        if (entry.type() == platform::EntryType::regularFile) {
            if (const auto& status = entry.status(); status && status->type == platform::EntryType::regularFile)
                total += status->size;
        }
        return entry.type() == platform::EntryType::directory;
    });
    if (!outcome.rootOpened)
        return std::nullopt;
    return total;
}

FileCopier copierFor(platform::FileSystem& fileSystem, std::size_t copyWorkers)
{
    FileCopier copier(fileSystem);
    copier.setCopyWorkers(copyWorkers);
    return copier;
}

const QString kWatchLimitWarning =
    QStringLiteral("Some folders here can't be watched for changes, so they're backed up on the schedule. Raise the "
                   "fs.inotify.max_user_watches setting to watch them all.");

} // namespace

BackupEngine::Shared::Shared(const QUuid& id, const Environment& environment)
    : pairId(id),
      volumes(environment.volumes ? *environment.volumes : platform::systemVolumeInfo()),
      power(environment.power ? *environment.power : platform::systemPowerSource()),
      mounts(environment.mounts ? *environment.mounts : platform::systemMountSource()),
      bookmarks(environment.bookmarks ? *environment.bookmarks : platform::systemBookmarks()),
      fileSystem(environment.fileSystem ? *environment.fileSystem : platform::systemFileSystem()),
      fileEvents(environment.fileEvents), finishedStatusDelay(environment.finishedStatusDelay),
      fileCopier(copierFor(fileSystem, environment.copyWorkers)), integrityVerifier(fileSystem),
      offsiteSyncer(fileSystem)
{
}

BackupEngine::BackupEngine(const QUuid& pairId, QObject* parent) : BackupEngine(pairId, Environment{}, parent) {}

BackupEngine::BackupEngine(const QUuid& pairId, Environment environment, QObject* parent)
    : QObject(parent), m_pairId(pairId), m_shared(std::make_shared<Shared>(pairId, environment))
{
}

BackupEngine::~BackupEngine()
{
    stop();
    // A task may be waiting for this thread right now; it finds the engine gone and ends by itself.
    for (TaskHandle& task : m_finishingTasks)
        if (task.thread.joinable())
            task.thread.detach();
}

void BackupEngine::setConfigStore(ConfigStore* store)
{
    m_configStore = store;
}

void BackupEngine::setBackupQueue(std::shared_ptr<BackupQueue> queue)
{
    m_backupQueue = std::move(queue);
}

void BackupEngine::setNotificationManager(NotificationManager* manager)
{
    m_notificationManager = manager;
}

void BackupEngine::start(const BackupPair& pair)
{
    platform::requireMainThread("BackupEngine::start");
    if (!pair.isEnabled) {
        setStatus(BackupStatus::paused());
        return;
    }
    if (!isDestinationAvailable(destinationFor(pair), pair.destinationBookmark, m_shared->mounts)) {
        setStatus(BackupStatus::destinationUnreachable());
        return;
    }
    if (auto error = resolveURLs(pair)) {
        reportFailure(*error, pair.name);
        return;
    }
    if (m_fileWatcher) {
        m_fileWatcher->stop();
        m_fileWatcher.reset();
    }
    auto watcher = m_shared->fileEvents ? std::make_unique<FileWatcher>(m_shared->fileEvents())
                                        : std::make_unique<FileWatcher>();
    watcher->setOnEventsDetected([engine = QPointer<BackupEngine>(this), pair] {
        if (engine)
            engine->handleFileEvents(pair);
    });
    watcher->setOnWatchesIncomplete([engine = QPointer<BackupEngine>(this), pair] {
        if (engine)
            engine->handleWatchesIncomplete(pair);
    });
    setWatchWarning({});
    if (auto error = watcher->start(sourceFor(pair))) {
        // Unwatched is not unprotected: the pair is backed up now and on the schedule.
        const auto* failed = std::get_if<BackupError::WatcherFailed>(&error->value());
        qCWarning(lcBackupEngine).noquote() << QStringLiteral("Could not watch %1: %2")
                                                   .arg(platform::privateArg(sourceFor(pair)),
                                                        failed ? failed->detail : error->errorDescription());
        setWatchWarning(QStringLiteral("Changes here can't be watched, so they're backed up on the schedule."));
        triggerBackup(pair);
        return;
    }
    m_fileWatcher = std::move(watcher);
    triggerBackup(pair);
}

void BackupEngine::stop()
{
    platform::requireMainThread("BackupEngine::stop");
    ++m_generation;
    m_debouncer.cancel();
    if (m_backupTask) {
        m_backupTask->thread.request_stop();
        m_finishingTasks.push_back(std::move(*m_backupTask));
        m_backupTask.reset();
    }
    if (m_backupQueue)
        m_backupQueue->cancel(m_pairId);
    if (m_fileWatcher) {
        m_fileWatcher->stop();
        m_fileWatcher.reset();
    }
    stopAccessingSecurityScopedURLs();
    const auto& value = m_status.value();
    if (std::holds_alternative<BackupStatus::Syncing>(value) || std::holds_alternative<BackupStatus::Scanning>(value)
        || std::holds_alternative<BackupStatus::Queued>(value))
        setStatus(BackupStatus::idle());
}

void BackupEngine::triggerBackup(const BackupPair& pair)
{
    platform::requireMainThread("BackupEngine::triggerBackup");
    reapFinishedTasks();
    if (m_backupTask) {
        // A task that has not reached its turn gives up; a running job ignores this and finishes.
        m_backupTask->thread.request_stop();
        m_finishingTasks.push_back(std::move(*m_backupTask));
        m_backupTask.reset();
    }
    auto state = std::make_shared<TaskState>();
    TaskHandle task{state, {}};
    BackupTasks::instance().taskBegan();
    task.thread = std::jthread(
        [shared = m_shared, state, engine = QPointer<BackupEngine>(this), generation = m_generation,
         queue = m_backupQueue, pair](std::stop_token stop) mutable {
            // Counted as ended only once the job, and what it holds of the environment, is gone.
            struct CountEnd {
                ~CountEnd() { BackupTasks::instance().taskEnded(); }
            } countEnd;
            Job(std::move(shared), std::move(state), std::move(engine), generation, std::move(queue), std::move(pair),
                std::move(stop))
                .run();
        });
    m_backupTask = std::move(task);
}

bool BackupEngine::hasRunningTask() const
{
    const auto running = [](const TaskHandle& task) { return task.state->phase.load() != TaskState::Phase::done; };
    return (m_backupTask && running(*m_backupTask)) || std::any_of(m_finishingTasks.begin(), m_finishingTasks.end(), running);
}

void BackupEngine::handleFileEvents(const BackupPair& pair)
{
    const BackupPair current = storedPair().value_or(pair);
    m_debouncer.schedule([this, current] { triggerBackup(current); });
}

void BackupEngine::setStatus(const BackupStatus& status)
{
    platform::requireMainThread("BackupEngine::setStatus");
    if (m_status == status)
        return;
    // Another outcome: the same failure coming back later is news again. The statuses a run
    // passes through on its way, and the idle its outcome returns to, are none.
    const auto& value = status.value();
    const auto* error = status.as<BackupStatus::Error>();
    if (std::holds_alternative<BackupStatus::Completed>(value) || std::holds_alternative<BackupStatus::Paused>(value)
        || std::holds_alternative<BackupStatus::DestinationUnreachable>(value) || (error && error->error != m_toldFailure))
        m_toldFailure.reset();
    m_status = status;
    emit statusChanged();
}

void BackupEngine::reportFailure(const BackupError& error, const QString& pairName)
{
    platform::requireMainThread("BackupEngine::reportFailure");
    setStatus(BackupStatus::error(error));
    notifyFailureOnce(error, pairName);
}

void BackupEngine::notifyFailureOnce(const BackupError& error, const QString& pairName)
{
    if (m_toldFailure == error)
        return;
    m_toldFailure = error;
    if (!m_notificationManager)
        return;
    QString description = error.errorDescription();
    if (description.isEmpty())
        description = QStringLiteral("An unexpected error occurred.");
    m_notificationManager->notifyError(pairName, description);
}

void BackupEngine::confirmHeldDeletions(const BackupPair& pair)
{
    platform::requireMainThread("BackupEngine::confirmHeldDeletions");
    if (m_heldDeletions.empty())
        return;
    m_confirmedDeletions = m_heldDeletions;
    m_debouncer.cancel();
    triggerBackup(pair);
}

void BackupEngine::setRunOutcome(RunFileErrors errors, std::optional<std::vector<std::string>> heldDeletions)
{
    const bool heldChanged = heldDeletions && *heldDeletions != m_heldDeletions;
    if (errors == m_lastRunErrors && !heldChanged)
        return;
    m_lastRunErrors = std::move(errors);
    if (heldChanged)
        m_heldDeletions = std::move(*heldDeletions);
    emit runOutcomeChanged();
}

void BackupEngine::setWatchWarning(const QString& warning)
{
    if (m_watchWarning == warning)
        return;
    m_watchWarning = warning;
    emit watchWarningChanged();
}

void BackupEngine::handleWatchesIncomplete(const BackupPair& pair)
{
    setWatchWarning(kWatchLimitWarning);
    if (m_watchLimitNotified || !m_notificationManager)
        return;
    m_watchLimitNotified = true;
    m_notificationManager->notifyWatchLimit(storedPair().value_or(pair).name);
}

void BackupEngine::setDestinationFreeSpace(std::optional<std::int64_t> bytes)
{
    if (m_destinationFreeSpace == bytes)
        return;
    m_destinationFreeSpace = bytes;
    emit destinationFreeSpaceChanged();
}

void BackupEngine::resetFinishedStatus()
{
    const auto& value = m_status.value();
    // Held deletions wait for the user's answer, and failed files for a look at which and why:
    // they stay on show until the next run.
    if (const auto* error = m_status.as<BackupStatus::Error>();
        error && (error->error.is<BackupError::DeletionHeld>() || error->error.is<BackupError::PartialFailure>()))
        return;
    if (std::holds_alternative<BackupStatus::Completed>(value) || std::holds_alternative<BackupStatus::Error>(value))
        setStatus(BackupStatus::idle());
}

void BackupEngine::stopAccessingSecurityScopedURLs()
{
    if (m_resolvedSourceURL) {
        m_shared->bookmarks.stopAccessing(*m_resolvedSourceURL);
        m_resolvedSourceURL.reset();
    }
    if (m_resolvedDestinationURL) {
        m_shared->bookmarks.stopAccessing(*m_resolvedDestinationURL);
        m_resolvedDestinationURL.reset();
    }
}

void BackupEngine::reapFinishedTasks()
{
    std::erase_if(m_finishingTasks, [](TaskHandle& task) {
        if (task.state->phase.load() != TaskState::Phase::done)
            return false;
        task.thread.join(); // the body has returned; this does not wait
        return true;
    });
}

fs::path BackupEngine::sourceFor(const BackupPair& pair) const
{
    return m_resolvedSourceURL.value_or(pair.sourceURL);
}

fs::path BackupEngine::destinationFor(const BackupPair& pair) const
{
    return m_resolvedDestinationURL.value_or(pair.destinationURL);
}

// --- Bookmarks ---

std::optional<BackupError> BackupEngine::resolveURLs(const BackupPair& pair)
{
    platform::requireMainThread("BackupEngine::resolveURLs");
    auto outcome = resolveBookmarks(m_shared->bookmarks, pair);
    if (auto* error = std::get_if<BackupError>(&outcome))
        return *error;
    applyResolution(std::get<Resolution>(outcome));
    return std::nullopt;
}

BackupEngine::ResolutionOutcome BackupEngine::resolveBookmarks(const platform::Bookmarks& bookmarks,
                                                               const BackupPair& pair)
{
    using Access = platform::Bookmarks::Access;
    // The folder, and fresh bookmark bytes when the old ones were stale but still lead to it.
    struct Resolved {
        fs::path folder;
        std::optional<QByteArray> refreshed;
    };
    const auto resolveOne = [&](const QByteArray& data, const fs::path& fallback,
                                Access access) -> std::variant<Resolved, BackupError> {
        const auto found = bookmarks.resolve(data);
        if (!found)
            return BackupError::bookmarkStale(fallback);
        if (!bookmarks.startAccessing(found->folder, access))
            return backupError(BookmarkError::accessDenied(fallback));
        if (!found->isStale)
            return Resolved{found->folder, std::nullopt};
        if (platform::canonicalPath(fallback) != platform::canonicalPath(found->folder)) {
            bookmarks.stopAccessing(found->folder);
            return BackupError::bookmarkStale(fallback);
        }
        auto refreshed = bookmarks.create(found->folder);
        if (!refreshed) {
            bookmarks.stopAccessing(found->folder);
            return BackupError::bookmarkStale(fallback);
        }
        return Resolved{found->folder, std::move(refreshed)};
    };

    const auto take = [&](const std::optional<QByteArray>& bookmark, const fs::path& fallback, Access access,
                          std::optional<fs::path>& folder,
                          std::optional<QByteArray>& refreshed) -> std::optional<BackupError> {
        if (!bookmark)
            return std::nullopt;
        auto outcome = resolveOne(*bookmark, fallback, access);
        if (auto* error = std::get_if<BackupError>(&outcome))
            return *error;
        folder = std::get<Resolved>(outcome).folder;
        refreshed = std::move(std::get<Resolved>(outcome).refreshed);
        return std::nullopt;
    };
    Resolution resolution;
    // The destination is not tried once the source has failed.
    if (auto error = take(pair.sourceBookmark, pair.sourceURL, Access::read, resolution.source,
                          resolution.refreshedSourceBookmark))
        return *error;
    if (auto error = take(pair.destinationBookmark, pair.destinationURL, Access::write, resolution.destination,
                          resolution.refreshedDestinationBookmark))
        return *error;
    return resolution;
}

void BackupEngine::applyResolution(const Resolution& resolution)
{
    if (resolution.source)
        m_resolvedSourceURL = resolution.source;
    if (resolution.destination)
        m_resolvedDestinationURL = resolution.destination;
    if (!resolution.refreshedSourceBookmark && !resolution.refreshedDestinationBookmark)
        return;
    updateStoredPair([&](BackupPair& current) {
        if (resolution.refreshedSourceBookmark)
            current.sourceBookmark = resolution.refreshedSourceBookmark;
        if (resolution.refreshedDestinationBookmark)
            current.destinationBookmark = resolution.refreshedDestinationBookmark;
    });
}

std::optional<BackupPair> BackupEngine::storedPair() const
{
    if (!m_configStore)
        return std::nullopt;
    const auto& pairs = m_configStore->pairs();
    const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const BackupPair& p) { return p.id == m_pairId; });
    if (found == pairs.end())
        return std::nullopt;
    return *found;
}

void BackupEngine::updateStoredPair(const std::function<void(BackupPair&)>& set)
{
    auto current = storedPair();
    if (!current)
        return;
    set(*current);
    m_configStore->updatePair(*current);
}

// --- Errors ---

BackupError BackupEngine::backupError(const BookmarkError& error)
{
    return BackupError::bookmarkAccessDenied(error.url);
}

BackupError BackupEngine::backupError(const FileOperationError& error)
{
    return BackupError::copyFailed(error.description());
}

BackupError BackupEngine::backupError(const QString& otherFailure)
{
    return BackupError::watcherFailed(otherFailure);
}

// --- Folders and volumes ---

ExclusionFilter BackupEngine::exclusionFilter(const BackupPair& pair)
{
    return ExclusionFilter::forProfile(pair.profile);
}

fs::path BackupEngine::backupFolder(const fs::path& destination, const QString& pairName)
{
    fs::path base = destination;
    if (fs::path(destination).remove_filename() == destination) // a trailing "/" names the folder before it
        base = destination.parent_path();
    if (base.filename() != kBackupRootName)
        base /= kBackupRootName;
    return base / BackupPair::sanitizedFolderName(pairName).toStdString();
}

fs::path BackupEngine::trashFolder(const fs::path& destination)
{
    return destination / kTrashFolderName;
}

bool BackupEngine::isDestinationAvailable(const fs::path& destination, const std::optional<QByteArray>& bookmark,
                                          const platform::MountSource& mounts)
{
    return platform::isFolderReachable(destination, bookmark, mounts);
}

std::optional<BackupError> BackupEngine::spaceShortfall(std::int64_t available, std::int64_t need)
{
    const std::int64_t threshold = need + kFreeSpaceMarginBytes;
    if (need >= 1 && available < threshold)
        return BackupError::diskSpaceLow(available, threshold);
    if (available < kFreeSpaceMarginBytes)
        return BackupError::diskSpaceLow(available, kFreeSpaceMarginBytes);
    return std::nullopt;
}

bool BackupEngine::isSameVolume(const fs::path& a, const fs::path& b, const platform::VolumeInfo& volumes)
{
    const auto first = volumes.identity(a);
    const auto second = volumes.identity(b);
    return first && second && *first == *second;
}

void BackupEngine::logDuplicateMounts(const fs::path& destination, const platform::MountSource& source)
{
    const auto mounts = MountTable::currentMounts(source);
    const auto mount = MountTable::mount(destination.lexically_normal().native(), mounts);
    if (!mount || !mount->isNetwork)
        return;
    const auto same = MountTable::mounts(mount->source, mounts);
    if (same.size() < 2)
        return;
    QStringList points;
    for (const auto& m : same)
        points << QString::fromStdString(m.mountPoint);
    points.sort();
    qCCritical(lcApp).noquote() << QStringLiteral("Destination volume is mounted %1 times: %2. Using %3.")
                                       .arg(same.size())
                                       .arg(platform::privateArg(points.join(QStringLiteral(", "))),
                                            platform::privateArg(QString::fromStdString(mount->mountPoint)));
}

std::optional<std::int64_t> BackupEngine::directorySize(const fs::path& folder)
{
    return sizeOfTree(folder);
}

std::optional<std::int64_t> BackupEngine::directorySize(const platform::Directory& folder)
{
    return sizeOfTree(folder);
}

} // namespace larkfold
