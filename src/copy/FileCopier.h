#pragma once

#include "copy/ExclusionFilter.h"
#include "copy/FileOperationError.h"
#include "copy/ScanResults.h"

#include <QDateTime>

#include <filesystem>
#include <optional>
#include <vector>

namespace larkfold {

// The copy engine: mirrors one source folder into one backup folder. Keeps no state between
// calls, so one instance serves any number of runs one after another, from any one thread.
class FileCopier {
public:
    // --- Before and around a run ---

    // Refuses folder pairs that must never be mirrored into each other or into the system:
    // the same folder, one inside the other (also when reached through links or bind mounts),
    // a protected system folder, the home folder, the root. Operation "validatePath",
    // codes 1100 to 1105; none when the pair is acceptable.
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
    SourceScan scanSource(const std::filesystem::path& source, const ExclusionFilter& filter) const;
    // The backup folder's entries, leaving out temporary and resume items as well.
    DestinationScan scanDestination(const std::filesystem::path& backupFolder, const ExclusionFilter& filter) const;

    // Logs one line for each source entry that carries a temporary or resume name: such files are
    // copied on every run, since the backup folder's leftovers of that name are cleared before it.
    // A run calls it once for its scan.
    void logTemporaryNamedEntries(const SourceScan& scan) const;

    // --- Before a run ---

    // The bytes of the source files the next run would copy: files missing from the backup
    // folder, of another size, or more than 2 seconds apart in modification time. Never fails;
    // a copy that cannot be read counts as missing.
    std::int64_t estimateBytesToCopy(const std::filesystem::path& source, const std::filesystem::path& backupFolder,
                                     const ExclusionFilter& filter) const;

    // Removes every temporary and resume item an earlier run left anywhere in the backup folder
    // (a folder with all it holds), however recent. Links are removed, never followed. Never fails.
    void removeStaleTemporaryFiles(const std::filesystem::path& backupFolder) const;

    // The name of a day's folder in the trash: "yyyy-MM-dd" in local time, Western digits.
    static std::string dateFolderName(const QDateTime& date);
};

} // namespace larkfold
