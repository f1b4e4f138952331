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
    std::vector<std::string> relativePaths; // bytes, below the backup folder: what is copied
    // Where each goes below the target when that is not its own path (a file of the backup trash
    // goes where it was before its day folder); empty: the same paths.
    std::vector<std::string> targetPaths;
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
    // Restoring out of the backup trash: a file leaves it once its restored copy has been read
    // back equal to it.
    bool removeRestoredOriginals = false;
};

// A file that was not restored, and why, in words for the user.
struct RestoreFailure {
    std::string path; // bytes, below the target
    QString reason;
    bool operator==(const RestoreFailure&) const = default;
};

// The file that stood at a restored file's place, kept beside it because the Trash could not take it.
struct KeptAside {
    std::string path;   // bytes, below the target: the restored file's
    std::string keptAs; // bytes: the name it is kept under, in the same folder
    bool operator==(const KeptAside&) const = default;
};

struct RestoreOutcome {
    int restored = 0;
    int failed = 0;
    // Nothing was tried: the target's drive is not there.
    bool targetUnreachable = false;
    // Nothing was tried: a link stands for the backup folder.
    bool backupFolderIsLink = false;
    std::vector<RestoreFailure> failures = {}; // one per failed file, in list order
    std::vector<KeptAside> keptAside = {};

    bool operator==(const RestoreOutcome&) const = default;
};

// The text the restore window shows for an outcome: "3 files restored successfully." or
// "Error: Restored 2 files. 1 file failed." with the reasons of the first failures, a word on
// files kept beside their restored copies, and a refusal when the target's drive was missing.
QString restoreMessage(const RestoreOutcome& outcome);

// The name the file at `name` is kept under when the Trash cannot take it: "report.pdf" becomes
// "report (before restore).pdf", then "report (before restore 2).pdf" for `attempt` 2, and so on.
// Bytes in, bytes out; a long name is shortened before its extension to stay a valid name.
std::string beforeRestoreName(std::string_view name, int attempt = 1);

// Copies files from a backup folder to the same relative paths below a target folder. Each file
// is copied to a hidden temporary beside its place, accepted only when its size equals the
// backup's, and then moved into place; a file already there goes to the user's Trash first (or,
// where the Trash cannot take it, is kept beside under a "(before restore)" name), one whose
// content already equals the backup's is left as it is, and a folder there is never replaced. Every entry on the way is opened relative to the folder above
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
