// The backup run: pre-flight checks, preparation, the per-file loop, then archival.
#include "copy/FileCopier.h"

#include "copy/BandwidthThrottle.h"
#include "copy/CopyErrors.h"
#include "copy/CopyWorkers.h"
#include "copy/EditorDetector.h"
#include "copy/EntryVersion.h"
#include "copy/FileCopierRun.h"
#include "copy/ProfileRecommender.h"
#include "platform/MountSource.h"
#include "platform/RunningApplications.h"
#include "store/BackupProfile.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <thread>
#include <unordered_map>

namespace larkfold {

using platform::Directory;
using platform::FileStatus;
using std::filesystem::path;

namespace {

// The volumes are re-checked before every tenth file.
constexpr std::size_t kVolumeCheckInterval = 10;
// Folders a run makes stay owner-only until the end of the run gives them their source's mode.
constexpr std::uint32_t kOwnerOnlyFolder = 0700;
// The change rule's reads of both folders are spread over several threads in large runs: they wait
// on the disk far more than on the processor.
constexpr std::size_t kDecisionWorkers = 8;
constexpr std::size_t kEntriesPerDecisionWorker = 2000;
// Beyond a few files at once a drive gains little, and the run would hold more open files.
constexpr std::size_t kMaxCopyWorkers = 4;
// Files queued for each copy worker ahead of the copying.
constexpr std::size_t kQueuedPerWorker = 16;

const QString kCopyOperation = QStringLiteral("copy");
const QString kVerifyOperation = QStringLiteral("verifySize");
const QString kValidateDestinationOperation = QStringLiteral("validateDestination");
const QString kValidateSourceOperation = QStringLiteral("validateSource");
const QString kSyncOperation = QStringLiteral("syncDestination");
const QString kScanOperation = QStringLiteral("scan");

QString displayName(std::string_view relative)
{
    const std::size_t slash = relative.rfind('/');
    return QString::fromUtf8(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
}

BackupProfile recommendProfile(const SourceScan& scan)
{
    // The recommendation looks at each entry's name and size only: names alone cost far less to
    // build than whole paths, and the sizes are the scan's, asked for in the same order.
    std::vector<path> names;
    names.reserve(scan.entries.size());
    for (const SourceEntry& entry : scan.entries) {
        const std::string_view relative = entry.relativePath;
        const std::size_t slash = relative.rfind('/');
        names.emplace_back(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
    }
    std::size_t next = 0;
    const FileSizeReader scannedSize = [&](const path& name) -> std::optional<std::int64_t> {
        if (next < names.size() && name.native() == names[next].native()) {
            const SourceEntry& entry = scan.entries[next++];
            if (entry.isPackage)
                return std::nullopt;
            return entry.size;
        }
        return std::nullopt;
    };
    return recommendProfileForFiles(names, scan.root, listFolder, scannedSize);
}

// Relative form of `folder` below `root`; none for the root itself or a folder elsewhere.
std::optional<std::string> relativeBelow(const path& root, const path& folder)
{
    const std::string& rootText = root.native();
    const std::string& folderText = folder.native();
    if (folderText == rootText || !platform::mountPointHolds(rootText, folderText))
        return std::nullopt;
    return folderText.substr(rootText == "/" ? 1 : rootText.size() + 1);
}

// The folders below `root` that a file system is mounted on, relative to it, sorted.
std::vector<std::string> mountPointsBelow(const platform::MountSource& table, const path& root)
{
    std::vector<std::string> found;
    for (const platform::MountEntry& mount : table.mounts()) {
        if (auto relative = relativeBelow(root, mount.mountPoint))
            found.push_back(std::move(*relative));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// Of the mount points remembered or seen before the scan, those not mounted after it (relative,
// sorted); `all` gets every one of both, which the next run is to know of until archival has seen
// what the backup holds.
std::vector<std::string> unmountedSince(const path& root, const std::vector<path>& known,
                                        std::vector<std::string> before, const std::vector<std::string>& after,
                                        std::vector<std::string>& all)
{
    for (const path& folder : known) {
        if (auto relative = relativeBelow(root, folder))
            before.push_back(std::move(*relative));
    }
    std::sort(before.begin(), before.end());
    before.erase(std::unique(before.begin(), before.end()), before.end());
    std::vector<std::string> unmounted;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(unmounted));
    std::set_union(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(all));
    return unmounted;
}

} // namespace

path resolvedSource(const path& source)
{
    std::error_code error;
    path resolved = std::filesystem::canonical(source, error);
    return error ? source : resolved;
}

std::error_code removeEmptyFolders(platform::FileSystem& fileSystem, const Directory& dir, const path& relative)
{
    const auto folder = fileSystem.openDirectory(dir, relative);
    if (!folder)
        return folder.error();
    const auto names = fileSystem.listDirectory(*folder);
    if (!names)
        return names.error();
    for (const std::string& name : *names) {
        const auto status = fileSystem.status(*folder, name);
        if (!status)
            return status.error();
        if (!status->isDirectory())
            return platform::posixError(ENOTEMPTY);
        if (const std::error_code error = removeEmptyFolders(fileSystem, *folder, name))
            return error;
    }
    return fileSystem.removeEmptyDirectory(dir, relative);
}

platform::PosixResult<const Directory*> FolderCache::folder(const path& relative)
{
    if (relative.empty())
        return &m_root;
    if (m_missing && relative == m_folderRelative)
        return platform::posixError(ENOENT);
    if (!m_folder.isOpen() || relative != m_folderRelative) {
        m_folder = Directory();
        m_missing = false;
        m_folderRelative = relative;
        if (m_createMissing) {
            if (const std::error_code error = m_fileSystem.createDirectories(m_root, relative, kOwnerOnlyFolder))
                return error;
        }
        auto opened = m_fileSystem.openDirectory(m_root, relative);
        if (!opened) {
            m_missing = opened.error() == std::errc::no_such_file_or_directory;
            return opened.error();
        }
        m_folder = std::move(*opened);
    }
    return &m_folder;
}

platform::PosixResult<FileStatus> FolderCache::status(const path& relative)
{
    const auto parent = folder(relative.parent_path());
    if (parent)
        return m_fileSystem.status(**parent, relative.filename());
    // A missing folder holds nothing: a first run asks for every entry of folders not made yet.
    if (parent.error() == std::errc::no_such_file_or_directory)
        return parent.error();
    return m_fileSystem.status(m_root, relative); // for the error of the whole path
}

FileCopier::FileCopier(platform::FileSystem& fileSystem) : m_fileSystem(fileSystem) {}

FileCopier::FileCopier(platform::FileSystem& fileSystem, platform::RunningApplications& applications)
    : m_fileSystem(fileSystem), m_applications(&applications)
{
}

BackupOutcome FileCopier::backup(const path& source, const path& destination, const path& trash,
                                 const ExclusionFilter& filter, const ProgressCallback& progress,
                                 const platform::CancelToken& cancel,
                                 const std::vector<std::string>& confirmedDeletions,
                                 const SourceMounts& mounts) const
{
    auto folder = openBackupFolder(source, destination, trash);
    if (auto* error = std::get_if<FileOperationError>(&folder))
        return std::move(*error);
    return backup(source, std::get<BackupFolder>(folder), trash, filter, progress, cancel, confirmedDeletions,
                  mounts);
}

std::variant<BackupFolder, FileOperationError> FileCopier::openBackupFolder(const path& source,
                                                                            const path& destination,
                                                                            const path& trash) const
{
    if (auto error = validatePaths(source, destination))
        return *error;
    if (const auto status = m_fileSystem.statusAtPath(destination);
        status && status->type == platform::FileType::symlink)
        return copyError(copyerror::kDestinationIsLink, destination, kValidateDestinationOperation);
    auto sourceDir = m_fileSystem.openDirectory(resolvedSource(source));
    if (!sourceDir || m_fileSystem.checkAccess(*sourceDir, {}, platform::Access::read))
        return copyError(copyerror::kSourceNotReadable, source, kValidateSourceOperation);
    if (auto error = ensureDirectory(destination))
        return *error;
    // Opened once and never re-created by path, so a drive unplugged mid-run cannot turn its
    // empty mount point into the place the run writes to.
    auto backupDir = m_fileSystem.openDirectory(destination);
    if (!backupDir || m_fileSystem.checkAccess(*backupDir, {}, platform::Access::write))
        return copyError(copyerror::kDestinationNotWritable, destination, kValidateDestinationOperation);
    platform::File lock;
    std::vector<std::string> setAside;
    if (auto error = lockBackupFolder(*backupDir, trash, lock, setAside))
        return *error;
    return BackupFolder(std::move(*backupDir), std::move(lock), std::move(setAside));
}

BackupOutcome FileCopier::backup(const path& source, const BackupFolder& backupFolder, const path& trash,
                                 const ExclusionFilter& filter, const ProgressCallback& progress,
                                 const platform::CancelToken& cancel,
                                 const std::vector<std::string>& confirmedDeletions,
                                 const SourceMounts& mounts) const
{
    const path& destination = backupFolder.path();
    Run run(source, destination, trash, filter, progress, cancel);
    run.confirmedDeletions.insert(confirmedDeletions.begin(), confirmedDeletions.end());
    run.startTime = QDateTime::currentDateTime();
    run.startedAt = std::chrono::steady_clock::now();

    auto sourceDir = m_fileSystem.openDirectory(resolvedSource(source));
    if (!sourceDir)
        return copyError(copyerror::kSourceNotReadable, source, kValidateSourceOperation);
    // A descriptor of the run's own: the folder's stays with the caller for what comes after.
    auto backupDir = m_fileSystem.openDirectory(backupFolder.directory(), {});
    if (!backupDir)
        return copyError(copyerror::kDestinationNotWritable, destination, kValidateDestinationOperation);
    run.sourceDir = std::move(*sourceDir);
    run.backupDir = std::move(*backupDir);
    run.backupTimes = StoredTimes::probe(m_fileSystem, run.backupDir);
    run.workers = m_copyWorkers > 0 ? m_copyWorkers
                                    : copyWorkersFor(m_fileSystem.storageKind(run.backupDir),
                                                     std::thread::hardware_concurrency());
    // Before anything is written into it: a private source makes a private backup.
    if (const auto sourceStatus = m_fileSystem.status(run.sourceDir))
        m_fileSystem.mirrorFolderMode(*sourceStatus, run.backupDir);
    for (const std::string& name : backupFolder.setAside())
        run.result.foreignItems.push_back({name, true});

    if (m_fileSystem.holdsOtherThanRegularFile(run.backupDir, std::string(kCheckpointFileName)))
        run.result.foreignItems.push_back({std::string(kCheckpointFileName), false});
    const bool checkpointWritten = writeCheckpoint(run.backupDir, run.startTime);
    prepare(run, mounts);
    copyAll(run);
    if (!run.result.abortedDueToVolumeLoss) {
        archiveVanished(run);
        if (!run.result.abortedDueToVolumeLoss) {
            copyPending(run);
            mirrorFolderModes(run);
        }
    }

    // Everything reported as copied must be on the disk before anyone records it. A stopped run
    // records nothing and must end at once: the next run flushes before it records anything.
    if (!run.cancel.isCancelled() && m_fileSystem.isStillAtPath(run.backupDir)) {
        if (const std::error_code error = m_fileSystem.syncFileSystem(run.backupDir))
            run.result.errors.push_back(FileOperationError::posix(error.value(), destination, kSyncOperation));
    }
    if (checkpointWritten)
        removeCheckpoint(run.backupDir);
    run.result.recommendedProfile = run.recommendedProfile.get();
    run.result.backupRelativePaths = std::move(run.backupRelativePaths);
    run.result.duration =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run.startedAt).count();
    return std::move(run.result);
}

void FileCopier::prepare(Run& run, const SourceMounts& mounts) const
{
    std::unique_ptr<platform::RunningApplications> machineApplications;
    platform::RunningApplications* applications = m_applications;
    if (!applications) {
        machineApplications = std::make_unique<platform::ProcRunningApplications>();
        applications = machineApplications.get();
    }
    // The three reads are independent; side by side they cost the longest of them.
    auto editors = std::async(std::launch::async, [applications] { return runningEditorFiles(*applications); });
    run.destinationScan = std::async(std::launch::async, [this, &run] {
        return scanDestination(run.backupDir, run.filter, run.cancel);
    });
    // Never walked into: a backup folder bind-mounted inside the source would be copied into itself.
    platform::WalkOptions options;
    options.cancel = run.cancel;
    options.foldersToLeaveOut.push_back({run.backupDir.device(), run.backupDir.inode()});
    if (const auto trash = m_fileSystem.statusAtPath(run.trash); trash && trash->isDirectory())
        options.foldersToLeaveOut.push_back({trash->device, trash->inode});
    // Looked at on both sides of the scan: a drive unmounted while it ran was not fully listed.
    const path sourceRoot = resolvedSource(run.source);
    std::vector<std::string> mountedBefore;
    if (mounts.table)
        mountedBefore = mountPointsBelow(*mounts.table, sourceRoot);
    run.scan = scanSourceTree(run.source, run.filter, options, false);
    if (mounts.table) {
        std::vector<std::string> all;
        run.unmountedFolders = unmountedSince(sourceRoot, mounts.known, std::move(mountedBefore),
                                              mountPointsBelow(*mounts.table, sourceRoot), all);
        for (const std::string& relative : all)
            run.result.sourceMountPoints.push_back(sourceRoot / relative);
        for (const std::string& relative : run.unmountedFolders)
            run.result.unmountedFolders.push_back(sourceRoot / relative);
    }
    for (const std::string& folder : run.scan.ownFolders)
        run.result.errors.push_back(copyError(copyerror::kOwnFolderInSource, run.source / folder, kScanOperation));
    for (const std::string& entry : run.scan.reservedNames)
        run.result.errors.push_back(copyError(copyerror::kReservedName, run.source / entry, kScanOperation));
    decideAll(run);
    run.editors = editors.get();

    for (const SourceEntry& entry : run.scan.entries)
        run.result.approximateSourceBytes += entry.isPackage ? 0 : entry.size;
    // Needed only for the result, so it is worked out while the run copies.
    run.recommendedProfile = std::async(std::launch::async, [&run] { return recommendProfile(run.scan); });
}

std::size_t FileCopier::copyWorkersFor(platform::StorageKind kind, unsigned cores)
{
    // A spinning disk would seek from one file to the other; over a network the link and the
    // server set the pace, and one file at a time keeps a slow one from being crowded.
    if (kind != platform::StorageKind::solidState && kind != platform::StorageKind::memory)
        return 1;
    return std::clamp<std::size_t>(cores, 1, kMaxCopyWorkers);
}

void FileCopier::copyAll(Run& run) const
{
    std::optional<CopyWorkers> workers;
    if (run.workers > 1) {
        workers.emplace(run.workers, m_fileSystem, run.sourceDir, run.backupDir,
                        [this, &run](FolderCache& sources, FolderCache& copies, std::size_t index) {
                            return copyEntryAlone(run, sources, copies, run.scan.entries[index], {}, {}, {});
                        },
                        run.cancel);
    }
    const CopyWorkers::Take countIn = [this, &run](std::size_t index, EntryOutcome& outcome) {
        countOutcome(run, run.scan.entries[index], outcome);
    };
    std::optional<FileOperationError> lost = visitAll(run, workers ? &*workers : nullptr, countIn);
    // Counted before the loss, as one file at a time would have them.
    if (workers)
        workers->handBack(countIn, 0);
    if (lost) {
        run.result.errors.push_back(std::move(*lost));
        run.result.abortedDueToVolumeLoss = true;
    }
}

std::optional<FileOperationError> FileCopier::visitAll(Run& run, CopyWorkers* workers,
                                                       const CopyWorkers::Take& countIn) const
{
    const std::vector<Need>& needs = run.needs;
    FolderCache sources(m_fileSystem, run.sourceDir);
    FolderCache copies(m_fileSystem, run.backupDir, true);
    const std::size_t count = run.scan.entries.size();
    for (std::size_t index = 0; index < count; ++index) {
        if (run.cancel.isCancelled())
            return std::nullopt;
        if (index > 0 && index % kVolumeCheckInterval == 0) {
            if (auto lost = lostVolume(run))
                return lost;
        }
        const SourceEntry& entry = run.scan.entries[index];
        const ProgressSpan span{double(index) / double(count), 1.0 / double(count)};
        QString label;
        if (run.progress) {
            label = displayName(entry.relativePath);
            run.progress(span.from, label);
        }

        const Need need = needs[index];
        if (need == Need::unchanged)
            continue;
        const path relative = entry.relativePath;
        if (label.isNull())
            label = displayName(entry.relativePath);
        if (deferForEditor(run, relative))
            continue;
        if (need == Need::kindChanged)
            run.kindChanged.insert(entry.relativePath);
        if (need == Need::afterArchival || need == Need::kindChanged) {
            run.pending.push_back({index, relative});
            continue;
        }
        if (!workers) {
            copyEntry(run, sources, copies, entry, span, label);
            continue;
        }
        throttleForBandwidthMode(run.cancel);
        if (run.cancel.isCancelled())
            return std::nullopt;
        // A large file is streamed here, with its progress, while the workers go on with small ones.
        if (!entry.isPackage && entry.size >= kStreamThresholdBytes) {
            workers->addOutcome(index, copyEntryAlone(run, sources, copies, entry, span, label, run.progress));
            continue;
        }
        // Kept a few files ahead of the copies, so the progress shown is that of the copying.
        workers->handBack(countIn, run.workers * kQueuedPerWorker);
        workers->add(index);
    }
    return std::nullopt;
}

void FileCopier::decideAll(Run& run) const
{
    const std::size_t count = run.scan.entries.size();
    std::vector<Need>& needs = run.needs;
    needs.assign(count, Need::unchanged);
    const auto decideRange = [&](std::size_t begin, std::size_t end) {
        FolderCache sources(m_fileSystem, run.sourceDir);
        FolderCache copies(m_fileSystem, run.backupDir);
        // On a slow drive the reads take a while; the loop that follows stops at once anyway.
        for (std::size_t index = begin; index < end && !run.cancel.isCancelled(); ++index)
            needs[index] = decide(run, sources, copies, run.scan.entries[index]);
    };
    const std::size_t workers =
        count < kEntriesPerDecisionWorker ? 1 : std::min<std::size_t>(kDecisionWorkers, count / kEntriesPerDecisionWorker);
    // Contiguous slices keep each worker's entries folder by folder.
    std::vector<std::jthread> threads;
    for (std::size_t worker = 1; worker < workers; ++worker)
        threads.emplace_back(decideRange, count * worker / workers, count * (worker + 1) / workers);
    decideRange(0, count / workers);
    threads.clear();

    // Gone between the listing and the look at it: as if never listed.
    std::size_t kept = 0;
    for (std::size_t index = 0; index < count; ++index) {
        if (needs[index] == Need::gone)
            continue;
        if (kept != index) {
            run.scan.entries[kept] = std::move(run.scan.entries[index]);
            needs[kept] = needs[index];
        }
        ++kept;
    }
    run.scan.entries.resize(kept);
    needs.resize(kept);
}

FileCopier::Need FileCopier::decide(const Run& run, FolderCache& sources, FolderCache& copies,
                                    SourceEntry& entry) const
{
    const path relative = entry.relativePath;
    if (!entry.isPackage) {
        const auto source = sources.status(relative);
        if (!source || !source->isRegular())
            return source || source.error() == std::errc::no_such_file_or_directory ? Need::gone : Need::copy;
        entry.size = source->size;
        entry.modifiedSeconds = source->modificationTime.tv_sec;
        entry.modifiedNanoseconds = source->modificationTime.tv_nsec;
    }
    const auto copy = copies.status(relative);
    if (!copy) {
        // A file (or a link) stands where the backup needs a folder on the way.
        const int code = copy.error().value();
        return code == ENOTDIR || code == ELOOP ? Need::afterArchival : Need::copy;
    }
    if (!copy->isRegular() && !copy->isDirectory())
        return Need::copy; // a link or special file at the name is simply replaced
    if (copy->isDirectory() != entry.isPackage)
        return Need::kindChanged;
    if (!entry.isPackage) {
        const EntryVersion source{false, entry.size, {std::time_t(entry.modifiedSeconds), long(entry.modifiedNanoseconds)}};
        const EntryVersion backup{false, copy->size, copy->modificationTime};
        return versionsDiffer(source, backup, run.backupTimes) ? Need::copy : Need::unchanged;
    }
    const auto source = readEntryVersion(m_fileSystem, run.sourceDir, relative);
    const auto backup = entryVersion(m_fileSystem, run.backupDir, relative, *copy);
    if (!source || !backup || !source->isFolder)
        return Need::copy;
    return versionsDiffer(*source, *backup, run.backupTimes) ? Need::copy : Need::unchanged;
}

bool FileCopier::deferForEditor(Run& run, const path& relative) const
{
    if (!isOpenInEditor(run.sourceDir.path() / relative, run.editors.editorNames, run.editors.openPaths))
        return false;
    // The check cannot tell which editor holds the file, so each running one is credited.
    for (const std::string& editor : run.editors.editorNames)
        ++run.result.filesDeferredByEditor[editor];
    return true;
}

void FileCopier::copyEntry(Run& run, FolderCache& sources, FolderCache& copies, const SourceEntry& entry,
                           ProgressSpan span, const QString& label) const
{
    throttleForBandwidthMode(run.cancel);
    if (run.cancel.isCancelled())
        return;
    EntryOutcome outcome = copyEntryAlone(run, sources, copies, entry, span, label, run.progress);
    countOutcome(run, entry, outcome);
}

EntryOutcome FileCopier::copyEntryAlone(const Run& run, FolderCache& sources, FolderCache& copies,
                                        const SourceEntry& entry, ProgressSpan span, const QString& label,
                                        const ProgressCallback& progress) const
{
    const path relative = entry.relativePath;
    const path sourceFile = run.source / relative;
    const path parent = relative.parent_path();
    const path name = relative.filename();
    EntryOutcome outcome;
    const auto sourceFolder = sources.folder(parent);
    if (!sourceFolder) {
        outcome.error = copyError(copyerror::kSourceFileUnreadable, sourceFile, kCopyOperation);
        return outcome;
    }
    const auto backupFolder = copies.folder(parent);
    if (!backupFolder) {
        const auto creation = FileOperationError::posix(backupFolder.error().value(), run.destination / parent,
                                                        QStringLiteral("createDirectory"));
        outcome.error = FileOperationError::wrapping(creation, sourceFile, kCopyOperation);
        return outcome;
    }
    const CopyFileResult copy =
        copyFile(**sourceFolder, name, **backupFolder, name, label, progress, span, run.cancel,
                 entry.isPackage ? EntryKind::package : EntryKind::file);
    switch (copy.status) {
    case CopyFileResult::Status::copied:
        outcome.copied = true;
        outcome.bytes = copy.sourceSize;
        break;
    case CopyFileResult::Status::sizeMismatch:
        outcome.error = copyError(copyerror::kSizeMismatch, sourceFile, kVerifyOperation);
        break;
    case CopyFileResult::Status::failed:
        outcome.error = FileOperationError(sourceFile, kCopyOperation, *copy.error);
        break;
    case CopyFileResult::Status::sourceUnreadable:
        outcome.error = copyError(copyerror::kSourceFileUnreadable, sourceFile, kCopyOperation);
        break;
    case CopyFileResult::Status::cancelled:
        break;
    }
    if (copy.foreignItem)
        outcome.foreignItem = (parent / *copy.foreignItem).native();
    return outcome;
}

void FileCopier::countOutcome(Run& run, const SourceEntry& entry, EntryOutcome& outcome) const
{
    if (outcome.copied) {
        run.result.bytesTransferred += outcome.bytes;
        ++run.result.copiedFiles;
        run.result.copiedRelativePaths.emplace_back(entry.relativePath);
    }
    if (outcome.error)
        run.result.errors.push_back(std::move(*outcome.error));
    if (outcome.foreignItem)
        run.result.foreignItems.push_back({std::move(*outcome.foreignItem), false});
}

void FileCopier::copyPending(Run& run) const
{
    FolderCache sources(m_fileSystem, run.sourceDir);
    FolderCache copies(m_fileSystem, run.backupDir, true);
    const std::size_t count = run.scan.entries.size();
    for (const Run::Pending& entry : run.pending) {
        if (run.cancel.isCancelled())
            return;
        const path& relative = entry.relative;
        const auto source = m_fileSystem.status(run.sourceDir, relative);
        const auto copy = m_fileSystem.status(run.backupDir, relative);
        // The old file is still there because archival could not move it (and said why):
        // putting the package in its place would destroy it. A later run tries again.
        if (source && copy && source->isDirectory() && !copy->isDirectory())
            continue;
        // Archival took the files out of the folder that stood in the file's place; what is
        // left of it is empty folders.
        if (source && copy && !source->isDirectory() && copy->isDirectory()) {
            if (const std::error_code error = removeEmptyFolders(m_fileSystem, run.backupDir, relative)) {
                run.result.errors.push_back(
                    FileOperationError::posix(error.value(), run.source / relative, kCopyOperation));
                continue;
            }
        }
        const ProgressSpan span{double(entry.index) / double(count), 1.0 / double(count)};
        copyEntry(run, sources, copies, run.scan.entries[entry.index], span, displayName(relative.native()));
    }
}

void FileCopier::mirrorFolderModes(const Run& run) const
{
    std::unordered_map<std::string_view, const ScannedFolder*> backupFolders;
    backupFolders.reserve(run.backupFolders.size());
    for (const ScannedFolder& folder : run.backupFolders)
        backupFolders.emplace(folder.relativePath, &folder);
    for (const ScannedFolder& folder : run.scan.folders) {
        if (run.cancel.isCancelled())
            return;
        // Most folders have their mode from earlier runs: the scan of the backup folder tells.
        if (const auto known = backupFolders.find(folder.relativePath); known != backupFolders.end()) {
            const ScannedFolder& copy = *known->second;
            const bool ownerKept = copy.owner == folder.owner && copy.group == folder.group;
            if (copy.permissions == platform::mirroredFolderPermissions(folder.permissions, ownerKept))
                continue;
        }
        // Made by this run, or of another mode. Not there: nothing of the folder is backed up.
        if (const auto copy = m_fileSystem.openDirectory(run.backupDir, folder.relativePath)) {
            FileStatus original;
            original.permissions = folder.permissions;
            original.owner = folder.owner;
            original.group = folder.group;
            m_fileSystem.mirrorFolderMode(original, *copy);
        }
    }
}

std::optional<FileOperationError> FileCopier::lostVolume(const Run& run) const
{
    if (!m_fileSystem.isStillAtPath(run.sourceDir))
        return copyError(copyerror::kSourceVolumeLost, run.source, QStringLiteral("sourceVolumeCheck"));
    if (!m_fileSystem.isStillAtPath(run.backupDir))
        return copyError(copyerror::kDestinationVolumeLost, run.destination, QStringLiteral("destinationVolumeCheck"));
    return std::nullopt;
}

} // namespace larkfold
