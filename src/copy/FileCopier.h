#pragma once

#include "copy/BackupFolder.h"
#include "copy/BackupResult.h"
#include "copy/ExclusionFilter.h"
#include "copy/FileOperationError.h"
#include "copy/ScanResults.h"
#include "platform/CancelToken.h"
#include "platform/FileSystem.h"
#include "platform/TreeWalker.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace larkfold::platform {
class RunningApplications;
class IdleTime;
class MountSource;
} // namespace larkfold::platform

namespace larkfold {

class CopyWorkers;
class FolderCache;
struct EntryOutcome;

// A run's outcome: its result, or the pre-flight failure that stopped it before anything was written.
using BackupOutcome = std::variant<BackupResult, FileOperationError>;

// What a scan saw at an entry's place: the copy refuses an entry that has since become the other kind.
enum class EntryKind : std::uint8_t { file, package };

// What a run is told of the file systems mounted inside its source. A drive unmounted from a folder
// below the source leaves that folder empty: its files are out of reach, not deleted, and their
// part of the backup must stay.
struct SourceMounts {
    // The mount table, read before and after the scan; none: mounts are not looked at.
    const platform::MountSource* table = nullptr;
    // Folders below the source (absolute) that held a mounted file system at an earlier run.
    std::vector<std::filesystem::path> known;
};

// What the single-file copy did with one entry.
struct CopyFileResult {
    enum class Status {
        copied,       // in place and checked against the source
        sizeMismatch, // the fresh copy did not match the source; it was dropped, the old copy stays
        failed,       // `error` says why; the old copy stays
        cancelled,    // a streamed copy stopped at a cancel; its resume file stays
        sourceUnreadable, // the source is gone or may not be read; nothing was written
    };
    Status status = Status::failed;
    // The source size read at the start; 0 when it could not be read.
    std::int64_t sourceSize = 0;
    std::optional<UnderlyingError> error;
    // The resume name of a streamed entry held something the program did not make; it was left
    // alone and the entry streamed under a temporary name instead.
    std::optional<std::filesystem::path> foreignItem;
};

// The one-way mirror copy of a source folder into a backup folder. Keeps no state between runs,
// touches no QObject, and may be used from any thread: a run's inputs come by value, progress
// goes to the caller's callback on the run's thread, and a CancelToken stops it between files.
class FileCopier {
public:
    // Called with the fraction done (0 to 1) and a label (the file's name, with byte counts
    // inside a large file).
    using ProgressCallback = std::function<void(double fraction, const QString& label)>;

    // The part of a run's progress one entry stands for: `width` from `from`. A streamed copy
    // moves through it as its bytes are written, so a large file does not hold the figure still.
    struct ProgressSpan {
        double from = 0;
        double width = 0;
        // The fraction once `done` (0 to 1) of the entry is copied.
        double at(double done) const { return from + width * done; }
    };

    // Entries this large or larger are streamed in chunks into a resume file.
    static constexpr std::int64_t kStreamThresholdBytes = 64 * 1024 * 1024;

    explicit FileCopier(platform::FileSystem& fileSystem = platform::systemFileSystem());
    // With the process list the editor check reads (tests hand in their own).
    FileCopier(platform::FileSystem& fileSystem, platform::RunningApplications& applications);

    // How many files below the streaming size a run copies at once; 0 (the default): as many as
    // copyWorkersFor gives for the backup folder's storage. Large files are streamed one at a
    // time on the run's own thread whatever the count.
    void setCopyWorkers(std::size_t count) { m_copyWorkers = count; }
    // One for a spinning disk, a network file system or storage of unknown kind; a few, at most
    // one a core, for flash and memory.
    static std::size_t copyWorkersFor(platform::StorageKind kind, unsigned cores);

    // Brings `destination` up to date with `source` in one pass and files backup entries that
    // vanished from the source into `trash`/<start day>. Files may be copied several at once
    // (setCopyWorkers); the result is the same as one at a time would give, its lists in scan
    // order, and progress is reported on the calling thread. Returns the pre-flight failure (paths,
    // 1003, 1004, 1005, folder creation) before anything is written; after that always a result,
    // with single-file failures collected in it. Cancelling is not a failure. Nothing below a
    // folder of `mounts` that is not mounted now counts as vanished.
    // The backup folder is opened and locked first (openBackupFolder) and released at the end.
    BackupOutcome backup(const std::filesystem::path& source, const std::filesystem::path& destination,
                         const std::filesystem::path& trash, const ExclusionFilter& filter,
                         const ProgressCallback& progress, const platform::CancelToken& cancel = {},
                         const std::vector<std::string>& confirmedDeletions = {},
                         const SourceMounts& mounts = {}) const;
    // The same into a backup folder the caller opened, so that what it does after the run works
    // on the same folder under the same lock. `confirmedDeletions`: backup entries (paths below
    // the backup folder) whose removal from the source the user confirmed after the mass-deletion
    // guard held them back; those still gone are archived whatever the guard says of the rest.
    BackupOutcome backup(const std::filesystem::path& source, const BackupFolder& backupFolder,
                         const std::filesystem::path& trash, const ExclusionFilter& filter,
                         const ProgressCallback& progress, const platform::CancelToken& cancel = {},
                         const std::vector<std::string>& confirmedDeletions = {},
                         const SourceMounts& mounts = {}) const;

    // The pre-flight of a run: checks the folders (paths, 1003, 1004, folder creation, 1005),
    // opens the backup folder and takes its lock (".larkfold-lock", kept after the run). Another
    // run holding it is 1016, and nothing has been written but the folder and its lock file. An
    // item the program did not make at the lock file's name is moved to `trash`, or is 1017 when
    // it cannot be.
    std::variant<BackupFolder, FileOperationError> openBackupFolder(const std::filesystem::path& source,
                                                                    const std::filesystem::path& destination,
                                                                    const std::filesystem::path& trash) const;

    // Puts one source entry (a file, or a package folder whole) at its place below `backup`
    // without ever leaving a half-written item under the final name: the data goes to a
    // temporary (or, from 64 MiB on, a resume file), is checked against the source, and only
    // then takes the old copy's place. A transient error (EINTR, EIO, EBUSY, EAGAIN) is tried
    // once more; a streamed entry then resumes where the first attempt stopped. With `expected`,
    // an entry of the other kind (a folder where the scan saw a file, or the other way) fails
    // with EAGAIN and leaves the old copy alone, as does a link or FIFO in the entry's place.
    CopyFileResult copyFile(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                            const platform::Directory& backup, const std::filesystem::path& targetRelative,
                            const QString& displayName, const ProgressCallback& progress, ProgressSpan span,
                            const platform::CancelToken& cancel = {},
                            std::optional<EntryKind> expected = std::nullopt) const;

    // Whether a copy agrees with its source: both folders, or both sizes known and equal.
    // Anything unreadable gives false.
    bool copiesMatch(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                     const platform::Directory& copyDir, const std::filesystem::path& copyRelative) const;

    // The relative paths, in input order, whose copy below `backup` does not agree with the
    // entry below `source`.
    std::vector<std::filesystem::path> sizeMismatches(const std::vector<std::filesystem::path>& relativePaths,
                                                      const std::filesystem::path& source,
                                                      const platform::Directory& backup) const;

    // --- Before and around a run ---

    // Refuses folder pairs that must never be mirrored into each other or into the system:
    // the same folder, one inside the other (also when reached through links or bind mounts),
    // a protected system folder, the home folder, the root, and a source on a pseudo file system
    // such as /proc. Operation "validatePath", codes 1100 to 1106; none when the pair is acceptable.
    std::optional<FileOperationError> validatePaths(const std::filesystem::path& source,
                                                    const std::filesystem::path& destination) const;

    // Folders no backup may be written into, with everything below them.
    static const std::vector<std::filesystem::path>& protectedDestinations();

    // Writes a small file into `folder` and removes it again: a real write, which a read-only
    // mount, a full disk or a server that refuses writes fails where a permission check passes.
    // Operation "testWrite" with the system's cause; none when the write went through.
    std::optional<FileOperationError> testWrite(const std::filesystem::path& folder) const;

    // Creates a missing folder with its missing parents; does nothing when anything exists at the
    // path. On failure the error has operation "createDirectory" and the system's cause.
    std::optional<FileOperationError> ensureDirectory(const std::filesystem::path& folder) const;

    // Writes the run's marker file (compact JSON, "startTime" and "phase": "copying") atomically
    // into the backup folder. False when it was not written: a failure, which only means the run
    // goes on without it, or an item the program did not make at its name, which is left alone.
    bool writeCheckpoint(const platform::Directory& backup, const QDateTime& startTime) const;
    // Removes the marker file; never anything else standing at its name (a folder, a link). Failures are ignored.
    void removeCheckpoint(const platform::Directory& backup) const;

    // --- Scans ---
    // Both walk without following links and leave out links, marker files, what `filter`
    // excludes and everything but regular files; package folders are listed whole. Folders they
    // cannot read are reported beside the lists. Neither fails.

    // The source's regular files and packages, with each file's size and modification time.
    // Entries with the names of the program's own files are left out and listed in
    // `reservedNames`. Folders among `options.foldersToLeaveOut` (the backup folder and its trash) are not
    // entered and are listed in `ownFolders`; a cancel ends the walk with partial lists.
    SourceScan scanSource(const std::filesystem::path& source, const ExclusionFilter& filter,
                          const platform::WalkOptions& options = {}) const;
    // The backup folder's entries, leaving out temporary and resume items as well.
    DestinationScan scanDestination(const std::filesystem::path& backupFolder, const ExclusionFilter& filter,
                                    const platform::CancelToken& cancel = {}) const;
    DestinationScan scanDestination(const platform::Directory& backupFolder, const ExclusionFilter& filter,
                                    const platform::CancelToken& cancel = {}) const;

    // --- Before a run ---

    // The bytes of the source files the next run would copy: files missing from the backup
    // folder, of another size, or of another modification time by the backup folder's own rule
    // (exact where its file system keeps fine times, within 2 seconds where it keeps coarse
    // ones). Never fails; a copy that cannot be read counts as missing. A cancel ends it early
    // with what it counted so far.
    std::int64_t estimateBytesToCopy(const std::filesystem::path& source, const std::filesystem::path& backupFolder,
                                     const ExclusionFilter& filter, const platform::CancelToken& cancel = {}) const;

    // Removes every temporary and resume item an earlier run left anywhere in the backup folder
    // (a folder with all it holds), however recent. Links are removed, never followed. Never fails;
    // a cancel ends the walk.
    void removeStaleTemporaryFiles(const std::filesystem::path& backupFolder,
                                   const platform::CancelToken& cancel = {}) const;
    void removeStaleTemporaryFiles(const platform::Directory& backupFolder,
                                   const platform::CancelToken& cancel = {}) const;

    // Moves the item `name` of `folder` (a link as a link) into today's folder of `trash`, beside
    // whatever is there and never over it. Returns the path it now has.
    platform::PosixResult<std::filesystem::path> setAsideInTrash(const platform::Directory& folder,
                                                                 const std::string& name,
                                                                 const std::filesystem::path& trash) const;

    // The name of a day's folder in the trash: "yyyy-MM-dd" in local time, Western digits.
    static std::string dateFolderName(const QDateTime& date);

    // --- Single-file copy helpers ---

    // EINTR, EIO, EBUSY and EAGAIN from the file system itself, not an error wrapping one.
    static bool isTransientError(const UnderlyingError& error);

private:
    struct Run;
    // `afterArchival`: something in the way must leave first; `kindChanged`: the backup holds an
    // entry of the other kind at the same place, which archival moves to the trash first.
    // `gone`: the file left (or became something else) since it was listed.
    enum class Need : std::uint8_t { unchanged, copy, afterArchival, kindChanged, gone };

    // Takes the lock of an opened backup folder; `setAside` gets the name of an item moved out of its way.
    std::optional<FileOperationError> lockBackupFolder(const platform::Directory& folder,
                                                       const std::filesystem::path& trash, platform::File& lock,
                                                       std::vector<std::string>& setAside) const;
    void prepare(Run& run, const SourceMounts& mounts) const;
    void copyAll(Run& run) const;
    // The per-file loop; returns the lost volume's error when it ends the run. With `workers`,
    // small files go to them and their outcomes to `countIn`.
    std::optional<FileOperationError> visitAll(Run& run, CopyWorkers* workers,
                                               const std::function<void(std::size_t, EntryOutcome&)>& countIn) const;
    // Reads each listed file's size and time and what the change rule says of it, on several
    // threads; entries gone since the listing leave the scan.
    void decideAll(Run& run) const;
    Need decide(const Run& run, FolderCache& sources, FolderCache& copies, SourceEntry& entry) const;
    bool deferForEditor(Run& run, const std::filesystem::path& relative) const;
    // Pauses as the bandwidth mode asks, then copies the entry and counts it.
    void copyEntry(Run& run, FolderCache& sources, FolderCache& copies, const SourceEntry& entry, ProgressSpan span,
                   const QString& label) const;
    // Copies one entry without touching the run, so that it may run on any thread.
    EntryOutcome copyEntryAlone(const Run& run, FolderCache& sources, FolderCache& copies, const SourceEntry& entry,
                                ProgressSpan span, const QString& label, const ProgressCallback& progress) const;
    void countOutcome(Run& run, const SourceEntry& entry, EntryOutcome& outcome) const;
    void archiveVanished(Run& run) const;
    void copyPending(Run& run) const;
    // Gives each backup folder the mode of the source folder it mirrors, where it differs.
    void mirrorFolderModes(const Run& run) const;
    // 1006 or 1007 when the source or the backup folder is no longer the folder the run opened.
    std::optional<FileOperationError> lostVolume(const Run& run) const;

    CopyFileResult copyOnce(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                            const platform::FileStatus& sourceStatus, const platform::Directory& backup,
                            const std::filesystem::path& targetRelative, const QString& displayName,
                            const ProgressCallback& progress, ProgressSpan span,
                            const platform::CancelToken& cancel) const;
    // A regular file below the streaming size: into a fresh temporary, checked, renamed into place.
    CopyFileResult copySmallFile(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                                 const platform::FileStatus& sourceStatus, const platform::Directory& backup,
                                 const std::filesystem::path& targetRelative) const;
    // Streams the source into the resume file, resuming a matching earlier attempt.
    CopyFileResult streamCopy(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                              const platform::FileStatus& sourceStatus, const platform::Directory& backup,
                              const std::filesystem::path& resumeRelative, const QString& displayName,
                              const ProgressCallback& progress, ProgressSpan span,
                              const platform::CancelToken& cancel) const;

    platform::FileSystem& m_fileSystem;
    platform::RunningApplications* m_applications = nullptr; // none: the machine's processes
    std::size_t m_copyWorkers = 0;
};

} // namespace larkfold
