#pragma once

#include "platform/TreeWalker.h"

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace larkfold {

namespace platform {
class FileSystem;
class MountSource;
class Trash;
} // namespace platform

// What one restore is asked to do.
struct RestoreRequest {
    std::vector<std::string> relativePaths; // bytes, below the backup folder
    std::filesystem::path backupFolder;
    // What the backup folder was when it was listed: a folder or link put in its place since is
    // not restored from.
    platform::FolderIdentity backupIdentity;
    std::filesystem::path targetFolder;
    // Set for the pair's source folder: then the target, or the folder nearest to it that still
    // exists, must be on the drive the bookmark recorded, so a missing drive's mount point is
    // never filled on the system disk.
    bool targetMustBeReachable = false;
    std::optional<QByteArray> targetBookmark;
};

struct RestoreOutcome {
    int restored = 0;
    int failed = 0;
    // Nothing was tried: the target's drive is not there.
    bool targetUnreachable = false;
    // Nothing was tried: a link stands for the backup folder.
    bool backupFolderIsLink = false;

    bool operator==(const RestoreOutcome&) const = default;
};

// The text the restore window shows for an outcome: "3 files restored successfully." or
// "Error: Restored 2 files. 1 file failed.", and a refusal when the target's drive was missing.
QString restoreMessage(const RestoreOutcome& outcome);

// Copies files from a backup folder to the same relative paths below a target folder. Each file
// is copied to a hidden temporary beside its place, accepted only when its size equals the
// backup's, and then moved into place; a file already there goes to the user's Trash first, and a
// folder there is never replaced. Every entry on the way is opened relative to the folder above
// it without following links, so nothing is written outside the target folder. Files and the
// folders made for them take the backup's modes as a file the user makes would: set-user-ID and
// set-group-ID only where the owner is kept, no write bit for group or others that the user's
// umask clears. Failures count per file and never stop the run. Any thread; synchronous.
class Restorer {
public:
    // Called after each file with the files handled so far and the total.
    using Progress = std::function<void(int done, int total)>;

    Restorer(platform::FileSystem& fileSystem, const platform::Trash& trash, const platform::MountSource& mounts);

    RestoreOutcome run(const RestoreRequest& request, const Progress& progress = {}) const;

private:
    platform::FileSystem& m_fileSystem;
    const platform::Trash& m_trash;
    const platform::MountSource& m_mounts;
};

} // namespace larkfold
