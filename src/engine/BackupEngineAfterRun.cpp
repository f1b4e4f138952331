#include "engine/BackupEngineJob.h"

#include "copy/BandwidthThrottle.h"
#include "copy/CopyErrors.h"
#include "engine/BackupFolderIcon.h"
#include "engine/NotificationManager.h"
#include "platform/Bookmark.h"
#include "platform/Clock.h"
#include "platform/FreedMemory.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "platform/VolumeInfo.h"
#include "store/BackupTips.h"
#include "store/ConfigStore.h"

#include <QFile>
#include <QStringList>

#include <array>
#include <condition_variable>
#include <mutex>
#include <string_view>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using EventType = BackupEvent::EventType;

constexpr std::int64_t kTrashReminderBytes = 1073741824;
constexpr qint64 kOffsiteIntervalSeconds = 604800;
constexpr std::int64_t kChunkedCopyBytes = 67108864;
constexpr int kPackageCatchUpMinimumPaths = 10;
constexpr const char* kPackageCatchUpKeyPrefix = "didLogPackageUpgrade_";

// Folders that earlier versions copied as single items; a first run now fills them in.
constexpr std::array<std::string_view, 13> kPackageMarkers = {
    ".app/",      ".rtfd/",   ".framework/", ".bundle/",        ".xcodeproj/",    ".xcworkspace/",  ".playground/",
    ".pkg/",      ".mpkg/",   ".photoslibrary/", ".musiclibrary/", ".tvlibrary/", ".imovielibrary/",
};

const QString kOffsiteFolderLostMessage =
    QStringLiteral("Offsite copy paused — the cloud folder became unavailable. Will retry next week.");

QString displayName(const fs::path& name)
{
    return QFile::decodeName(QByteArray::fromStdString(name.native()));
}

QString fileWord(std::int64_t count)
{
    return count == 1 ? QStringLiteral("file") : QStringLiteral("files");
}

QString countedFiles(std::int64_t count)
{
    return QStringLiteral("%1 %2").arg(count).arg(fileWord(count));
}

// Says which folders of the source were not mounted, so their part of the backup was left alone.
QString unmountedFoldersMessage(const std::vector<fs::path>& folders, const fs::path& source)
{
    QStringList names;
    for (const fs::path& folder : folders)
        names << QStringLiteral("“%1”").arg(QString::fromStdString(folder.lexically_relative(source).string()));
    if (folders.size() == 1)
        return QStringLiteral("%1 is not mounted — its files in the backup were left as they are.").arg(names.front());
    return QStringLiteral("%1 folders are not mounted (%2) — their files in the backup were left as they are.")
        .arg(folders.size())
        .arg(names.join(QStringLiteral(", ")));
}

// What the user is told of an item the program did not make at one of its own names.
QString foreignItemMessage(const BackupResult::ForeignItem& item)
{
    const QString name = QString::fromUtf8(item.relativePath.data(), qsizetype(item.relativePath.size()));
    if (item.movedToTrash)
        return QStringLiteral("“%1” in the backup folder wasn't made by Larkfold and stood where Larkfold keeps its "
                              "own file, so it was moved to the backup trash.")
            .arg(name);
    if (item.relativePath == kTrashFolderName)
        return QStringLiteral("“%1” on the backup drive isn't a folder Larkfold made (it's a link or another kind of "
                              "item), so Larkfold leaves it alone: the backup trash isn't measured and removed files "
                              "can't be moved there until it is removed.")
            .arg(name);
    QString consequence;
    if (item.relativePath == kHashesFileName)
        consequence = QStringLiteral(" Integrity checks are off until it is removed.");
    else if (item.relativePath == kLastCheckFileName)
        consequence = QStringLiteral(" The daily integrity check is off until it is removed.");
    return QStringLiteral("“%1” in the backup folder isn't a file Larkfold made (it's a link or another kind of item), "
                          "so Larkfold left it alone.%2")
        .arg(name, consequence);
}

} // namespace

void BackupEngine::Job::afterRun(BackupResult result, const Folders& folders, const platform::Directory& backup,
                                 const platform::CancelToken& jobCancel)
{
    // Deletions the guard held back are the user's to decide on, not files that failed.
    std::optional<BackupError> held;
    const auto guard = std::find_if(result.errors.begin(), result.errors.end(), isDeletionGuardRefusal);
    if (guard != result.errors.end()) {
        if (!result.heldBackDeletions.empty())
            held = BackupError::deletionHeld(std::int64_t(result.heldBackDeletions.size()),
                                             displayName(platform::lastPathComponent(folders.source)),
                                             guard->isLarkfold(copyerror::kSourceEmptyCode));
        result.errors.erase(guard);
    }
    setRunOutcome(RunFileErrors::of(result.errors), result.heldBackDeletions);

    const auto errors = static_cast<std::int64_t>(result.errors.size());
    const bool aborted = result.abortedDueToVolumeLoss;
    const QString& name = m_pair.name;

    if (destinationStillThere(folders)) {
        if (const auto space = m_shared->volumes.space(folders.destination))
            postToEngine([bytes = static_cast<std::int64_t>(space->availableBytes),
                          generation = m_generation](BackupEngine& engine) {
                if (engine.m_generation == generation)
                    engine.setDestinationFreeSpace(bytes);
            });
    }

    std::optional<QString> runMessage;
    if (aborted)
        runMessage = QStringLiteral("Backup aborted — a volume disconnected mid-backup. Your existing backups are safe.");
    else if (errors > 0)
        runMessage = countedFiles(errors) + QStringLiteral(" couldn't be copied.");
    recordEvent(errors > 0 || aborted ? EventType::error : EventType::backup, runMessage, result.copiedFiles,
                result.bytesTransferred, result.duration);
    if (held)
        recordEvent(EventType::error, held->errorDescription());
    if (!result.unmountedFolders.empty())
        recordEvent(EventType::backup, unmountedFoldersMessage(result.unmountedFolders, platform::canonicalPath(folders.source)));

    BackupStatus finalStatus;
    if (aborted) {
        finalStatus = BackupStatus::error(BackupError::volumeLost());
        notify([name](NotificationManager& manager) {
            manager.notifyError(
                name, QStringLiteral("Backup aborted — a drive disconnected. Your backups are safe; will retry later."));
        });
    } else {
        auto& verifier = m_shared->integrityVerifier;
        // The fingerprint steps below read the database once between them.
        std::optional<IntegrityVerifier::DatabaseHold> databaseHold(std::in_place, verifier);
        const auto& copied = result.copiedRelativePaths;
        if (destinationStillThere(folders))
            verifier.recordHashes(copied, result.backupRelativePaths, backup, folders.trash, jobCancel);
        if (!copied.empty())
            logPackageCatchUpIfNeeded(copied);
        suggestProfileIfNeeded(result);
        for (const auto& [editor, count] : result.filesDeferredByEditor) {
            if (count >= 1)
                recordEvent(EventType::backup,
                            QStringLiteral("Skipped %1 currently being edited in %2 — they'll back up after you close it.")
                                .arg(countedFiles(count), QString::fromStdString(editor)));
        }

        bool sampleClean = false;
        if (destinationStillThere(folders) && !jobCancel.isCancelled()) {
            verifier.pruneMissing(backup, folders.trash);
            // The icon is set by path: only while the path still names the folder the run wrote.
            if (m_shared->fileSystem.isStillAtPath(backup))
                setBackupFolderIcon(folders.backup, m_shared->volumes);
            for (const std::string& name : verifier.foreignItems(backup))
                result.foreignItems.push_back({name, false});
            if (verifier.isCheckDue(backup)) {
                const auto check = verifier.verifySample(backup, folders.trash, jobCancel);
                // A check cut short by a stop, a time-out or a lost drive is no day's check: its
                // unread files would wait a day, and a pulled drive's read errors look like damage.
                if (check && !jobCancel.isCancelled() && destinationStillThere(folders)) {
                    verifier.recordCheckTime(backup);
                    const auto damaged = static_cast<std::int64_t>(check->corrupted.size());
                    if (damaged == 0 && check->verified >= 1) {
                        recordEvent(EventType::integrityChecked, check->summary(platform::wallClock().now()));
                        sampleClean = true;
                    } else if (damaged > 0) {
                        const QString message =
                            QStringLiteral("%1 on the backup drive may have been damaged. It's worth copying %2 again.")
                                .arg(countedFiles(damaged), damaged == 1 ? QStringLiteral("it") : QStringLiteral("them"));
                        recordEvent(EventType::verificationFailed, message);
                        notify([name, message](NotificationManager& manager) { manager.notifyError(name, message); });
                    }
                }
            }
        }

        // Copies on a drive that has gone cannot be read at all, which says nothing of their sizes:
        // checked only while the drive is there, before and after.
        if (!copied.empty() && destinationStillThere(folders)) {
            const auto mismatches = m_shared->fileCopier.sizeMismatches(copied, folders.source, backup);
            if (!mismatches.empty() && destinationStillThere(folders)) {
                const QString message = countedFiles(std::int64_t(mismatches.size()))
                                      + QStringLiteral(" failed verification after copying.");
                recordEvent(EventType::verificationFailed, message);
                notify([name, message](NotificationManager& manager) { manager.notifyError(name, message); });
            }
        }
        // Done with the lists of every path and the database: what a large run held goes back to
        // the system now, not after the offsite copy.
        databaseHold.reset();
        result.copiedRelativePaths = {};
        result.backupRelativePaths = {};
        platform::releaseFreedMemory();

        if (errors > 0) {
            const BackupError partial = BackupError::partialFailure(errors, result.copiedFiles + errors);
            finalStatus = BackupStatus::error(partial);
            notify([name, message = partial.errorDescription()](NotificationManager& manager) {
                manager.notifyError(name, message);
            });
        } else if (!held) {
            finalStatus = BackupStatus::completed(result.copiedFiles, result.duration);
            const std::uint8_t mode = currentBandwidthMode.load(std::memory_order_relaxed);
            const bool throttled = mode == 0 ? !isUserIdle() : mode == 1;
            const auto tip = nextBackupTip(result.copiedFiles, result.bytesTransferred > kChunkedCopyBytes,
                                           sampleClean, throttled);
            std::optional<QString> message;
            if (tip)
                message = backupSummaryText(result.copiedFiles, tip);
            notify([name, count = result.copiedFiles, message](NotificationManager& manager) {
                manager.notifyBackupComplete(name, count, message);
            });
        }
        // Shown until the user answers, and told once however many runs find the same.
        if (held) {
            finalStatus = BackupStatus::error(*held);
            postToEngine([error = *held, name, generation = m_generation](BackupEngine& engine) {
                if (engine.m_generation == generation)
                    engine.notifyFailureOnce(error, name);
            });
        }
    }
    // Measured through the folder opened without following a link at its name, which would lead
    // the walk anywhere on the computer.
    if (const auto trash = m_shared->fileSystem.openDirectory(folders.trash)) {
        if (const auto trashBytes = directorySize(*trash); trashBytes && *trashBytes >= kTrashReminderBytes)
            notify([bytes = *trashBytes](NotificationManager& manager) { manager.notifyTrashReminder(bytes); });
    } else if (trash.error() == std::errc::too_many_symbolic_link_levels || trash.error() == std::errc::not_a_directory) {
        result.foreignItems.push_back({folders.trash.filename().native(), false});
    }
    reportForeignItems(result.foreignItems);
    setStatus(finalStatus);

    if (!aborted && errors == 0 && !held && !jobCancel.isCancelled()) {
        runOffsiteStep(backup, jobCancel);
        // The offsite copy's progress is no outcome: the run's own stays on show.
        setStatus(finalStatus);
    }
    waitThenResetStatus(jobCancel);
}

void BackupEngine::Job::logPackageCatchUpIfNeeded(const std::vector<fs::path>& copiedPaths)
{
    platform::UserDefaults& defaults = platform::userDefaults();
    const QString key =
        QString::fromLatin1(kPackageCatchUpKeyPrefix) + m_pair.id.toString(QUuid::WithoutBraces).toUpper();
    if (defaults.value(key, false).toBool())
        return;
    const auto count = std::count_if(copiedPaths.begin(), copiedPaths.end(), [](const fs::path& path) {
        const std::string& text = path.native();
        return std::any_of(kPackageMarkers.begin(), kPackageMarkers.end(),
                           [&](std::string_view marker) { return text.find(marker) != std::string::npos; });
    });
    if (count < kPackageCatchUpMinimumPaths)
        return;
    recordEvent(EventType::backup,
                QStringLiteral("Found app bundles and document packages that weren't backed up before — catching up "
                               "now. This is a one-time boost and will only happen once."));
    defaults.setValue(key, true);
}

void BackupEngine::Job::suggestProfileIfNeeded(const BackupResult& result)
{
    if (m_pair.didSuggestProfile || result.recommendedProfile == BackupProfile::standard)
        return;
    postToEngine([name = m_pair.name, profile = result.recommendedProfile,
                  bytes = result.approximateSourceBytes](BackupEngine& engine) {
        engine.updateStoredPair([](BackupPair& current) { current.didSuggestProfile = true; });
        emit engine.profileSuggested(engine.m_pairId, name, profile, bytes);
    });
}

void BackupEngine::Job::reportForeignItems(const std::vector<BackupResult::ForeignItem>& items)
{
    for (const BackupResult::ForeignItem& item : items) {
        if (!m_shared->reportedForeignItems.insert(item.relativePath).second)
            continue;
        const QString message = foreignItemMessage(item);
        qCWarning(lcBackupEngine, "Left alone or set aside an item the program did not make at one of its own names: %s",
                  qUtf8Printable(platform::privateArg(std::filesystem::path(item.relativePath))));
        recordEvent(EventType::error, message);
        notify([name = m_pair.name, message](NotificationManager& manager) { manager.notifyError(name, message); });
    }
}

void BackupEngine::Job::runOffsiteStep(const platform::Directory& backup, const platform::CancelToken& jobCancel)
{
    if (!m_pair.offsiteURL)
        return;
    const fs::path target = backupFolder(*m_pair.offsiteURL, m_pair.name);
    if (m_pair.lastOffsiteAt && m_pair.lastOffsiteAt->secsTo(platform::wallClock().now()) < kOffsiteIntervalSeconds)
        return;
    std::optional<fs::path> accessed;
    if (m_pair.offsiteBookmark) {
        const auto found = m_shared->bookmarks.resolve(*m_pair.offsiteBookmark);
        if (!found) {
            recordEvent(EventType::error,
                        QStringLiteral("Couldn't access the offsite folder. Re-select it from Settings to fix."));
            return;
        }
        if (m_shared->bookmarks.startAccessing(found->folder, platform::Bookmarks::Access::write))
            accessed = found->folder;
    }
    // The rule every destination follows: with the cloud folder's drive or mount gone, its path
    // leads to an empty folder on the system disk, and the whole backup would be copied there.
    if (!isDestinationAvailable(accessed.value_or(*m_pair.offsiteURL), m_pair.offsiteBookmark, m_shared->mounts)) {
        if (accessed)
            m_shared->bookmarks.stopAccessing(*accessed);
        savePairFields([&](BackupPair& current) {
            current.lastOffsiteAt = platform::wallClock().now();
            current.lastOffsiteFileCount = 0;
        });
        recordEvent(EventType::error, kOffsiteFolderLostMessage);
        return;
    }
    setStatus(BackupStatus::syncing(0, QStringLiteral("Offsite copy starting…")));
    m_shared->lastProgressTickTime = 0;

    const OffsiteSyncResult offsite = m_shared->offsiteSyncer.sync(
        backup, *m_pair.offsiteURL, target, exclusionFilter(m_pair),
        [this](double fraction, const QString& fileName) { onProgress(fraction, QStringLiteral("Offsite: ") + fileName); },
        jobCancel);
    if (accessed)
        m_shared->bookmarks.stopAccessing(*accessed);
    // An unfinished copy is no copy: the next run tries again.
    if (offsite.wasCancelled)
        return;

    savePairFields([&](BackupPair& current) {
        current.lastOffsiteAt = platform::wallClock().now();
        current.lastOffsiteFileCount = offsite.copiedFiles;
    });
    if (offsite.abortedDueToFolderLoss)
        recordEvent(EventType::error, kOffsiteFolderLostMessage);
    else if (!offsite.errors.empty())
        recordEvent(EventType::error,
                    QStringLiteral("Offsite copy completed with %1 error(s).").arg(offsite.errors.size()));
    else if (offsite.copiedFiles >= 1)
        recordEvent(EventType::backup, QStringLiteral("Offsite copy updated — %1 file%2 synced to your cloud folder.")
                                           .arg(offsite.copiedFiles)
                                           .arg(offsite.copiedFiles == 1 ? QString() : QStringLiteral("s")));
}

void BackupEngine::Job::waitThenResetStatus(const platform::CancelToken& jobCancel)
{
    m_state->phase = TaskState::Phase::finishing;
    const auto cancelled = [&] { return m_taskStop.stop_requested() || jobCancel.isCancelled(); };
    {
        std::mutex mutex;
        std::condition_variable_any woken;
        const auto wake = [&] {
            std::lock_guard lock(mutex);
            woken.notify_all();
        };
        std::stop_callback onTaskStop(m_taskStop, wake);
        std::stop_callback onJobCancel(jobCancel.stopToken(), wake);
        std::unique_lock lock(mutex);
        woken.wait_for(lock, m_shared->finishedStatusDelay, cancelled);
    }
    // A newer trigger or stop() cut the wait short: the status is theirs now.
    if (cancelled())
        return;
    postToEngine([generation = m_generation](BackupEngine& engine) {
        if (engine.m_generation == generation)
            engine.resetFinishedStatus();
    });
}

} // namespace larkfold
