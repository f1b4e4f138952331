#pragma once

#include "copy/FileOperationError.h"

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
};

} // namespace larkfold
