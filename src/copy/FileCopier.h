#pragma once

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

class FolderCache;

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
};

// The one-way mirror copy of a source folder into a backup folder. Keeps no state between runs,
// touches no QObject, and may be used from any thread: a run's inputs come by value, progress
// goes to the caller's callback on the run's thread, and a CancelToken stops it between files.
class FileCopier {
public:
    // Called with the fraction done (0 ≤ f < 1) and a label (the file's name, with byte counts
    // inside a large file).
    using ProgressCallback = std::function<void(double fraction, const QString& label)>;

    // Entries this large or larger are streamed in chunks into a resume file.
    static constexpr std::int64_t kStreamThresholdBytes = 64 * 1024 * 1024;

    explicit FileCopier(platform::FileSystem& fileSystem = platform::systemFileSystem());
    // With the process list the editor check reads (tests hand in their own).
    FileCopier(platform::FileSystem& fileSystem, platform::RunningApplications& applications);

    // Brings `destination` up to date with `source` in one pass and files backup entries that
    // vanished from the source into `trash`/<start day>. Returns the pre-flight failure (paths,
    // 1003, 1004, 1005, folder creation) before anything is written; after that always a result,
    // with single-file failures collected in it. Cancelling is not a failure. Nothing below a
    // folder of `mounts` that is not mounted now counts as vanished.
    BackupOutcome backup(const std::filesystem::path& source, const std::filesystem::path& destination,
                         const std::filesystem::path& trash, const ExclusionFilter& filter,
                         const ProgressCallback& progress, const platform::CancelToken& cancel = {},
                         const SourceMounts& mounts = {}) const;

    // Puts one source entry (a file, or a package folder whole) at its place below `backup`
    // without ever leaving a half-written item under the final name: the data goes to a
    // temporary (or, from 64 MiB on, a resume file), is checked against the source, and only
    // then takes the old copy's place. A transient error (EINTR, EIO, EBUSY, EAGAIN) is tried
    // once more; a streamed entry then resumes where the first attempt stopped. With `expected`,
    // an entry of the other kind (a folder where the scan saw a file, or the other way) fails
    // with EAGAIN and leaves the old copy alone, as does a link or FIFO in the entry's place.
    CopyFileResult copyFile(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                            const platform::Directory& backup, const std::filesystem::path& targetRelative,
                            const QString& displayName, const ProgressCallback& progress, double fraction,
                            const platform::CancelToken& cancel = {},
                            std::optional<EntryKind> expected = std::nullopt) const;

    // Whether a copy agrees with its source: both folders, or both sizes known and equal.
    // Anything unreadable gives false.
    bool copiesMatch(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                     const platform::Directory& copyDir, const std::filesystem::path& copyRelative) const;

    // The relative paths, in input order, whose copy below `destination` does not agree with the
    // entry below `source`.
    std::vector<std::filesystem::path> sizeMismatches(const std::vector<std::filesystem::path>& relativePaths,
                                                      const std::filesystem::path& source,
                                                      const std::filesystem::path& destination) const;

    // --- Before and around a run ---

    // Refuses folder pairs that must never be mirrored into each other or into the system:
    // the same folder, one inside the other (also when reached through links or bind mounts),
    // a protected system folder, the home folder, the root, and a source on a pseudo file system
    // such as /proc. Operation "validatePath", codes 1100 to 1106; none when the pair is acceptable.
    std::optional<FileOperationError> validatePaths(const std::filesystem::path& source,
                                                    const std::filesystem::path& destination) const;

    // Folders no backup may be written into, with everything below them.
    static const std::vector<std::filesystem::path>& protectedDestinations();

    // Creates a missing folder with its missing parents; does nothing when anything exists at the
    // path. On failure the error has operation "createDirectory" and the system's cause.
    std::optional<FileOperationError> ensureDirectory(const std::filesystem::path& folder) const;

    // Writes the run's marker file (compact JSON, "startTime" and "phase": "copying") atomically;
    // a failure only means the run goes on without it.
    void writeCheckpoint(const std::filesystem::path& file, const QDateTime& startTime) const;
    // Removes the item at `file`; failures are ignored.
    void removeCheckpoint(const std::filesystem::path& file) const;

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

    void prepare(Run& run, const SourceMounts& mounts) const;
    void copyAll(Run& run) const;
    // Reads each listed file's size and time and what the change rule says of it, on several
    // threads; entries gone since the listing leave the scan.
    void decideAll(Run& run) const;
    Need decide(const Run& run, FolderCache& sources, FolderCache& copies, SourceEntry& entry) const;
    bool deferForEditor(Run& run, const std::filesystem::path& relative) const;
    void copyEntry(Run& run, FolderCache& sources, FolderCache& copies, const SourceEntry& entry, double fraction,
                   const QString& label) const;
    void archiveVanished(Run& run) const;
    void copyPending(Run& run) const;
    // 1006 or 1007 when the source or the backup folder is no longer the folder the run opened.
    std::optional<FileOperationError> lostVolume(const Run& run) const;

    CopyFileResult copyOnce(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                            const platform::FileStatus& sourceStatus, const platform::Directory& backup,
                            const std::filesystem::path& targetRelative, const QString& displayName,
                            const ProgressCallback& progress, double fraction,
                            const platform::CancelToken& cancel) const;
    // A regular file below the streaming size: into a fresh temporary, checked, renamed into place.
    CopyFileResult copySmallFile(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                                 const platform::FileStatus& sourceStatus, const platform::Directory& backup,
                                 const std::filesystem::path& targetRelative) const;
    // Streams the source into the resume file, resuming a matching earlier attempt.
    CopyFileResult streamCopy(const platform::Directory& sourceDir, const std::filesystem::path& sourceRelative,
                              const platform::FileStatus& sourceStatus, const platform::Directory& backup,
                              const std::filesystem::path& resumeRelative, const QString& displayName,
                              const ProgressCallback& progress, double fraction,
                              const platform::CancelToken& cancel) const;

    platform::FileSystem& m_fileSystem;
    platform::RunningApplications* m_applications = nullptr; // none: the machine's processes
};

} // namespace larkfold
