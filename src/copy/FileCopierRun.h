#pragma once

// The state of one backup run, shared by the files that implement it.

#include "copy/EditorDetector.h"
#include "copy/FileCopier.h"
#include "copy/ScanResults.h"
#include "copy/StoredTimes.h"

#include <QDateTime>

#include <chrono>
#include <future>
#include <string>
#include <unordered_set>
#include <vector>

namespace larkfold {

// The source is opened where its links lead: a source reached through a link is still a source.
std::filesystem::path resolvedSource(const std::filesystem::path& source);

// The source scan; without `readStatus` the files' sizes and times are left at 0 for the caller
// to read (the run reads them beside the backup's, on several threads).
SourceScan scanSourceTree(const std::filesystem::path& source, const ExclusionFilter& filter,
                          const platform::WalkOptions& options, bool readStatus);

// Removes a folder that holds nothing but (empty) folders; ENOTEMPTY when anything else is inside.
std::error_code removeEmptyFolders(platform::FileSystem& fileSystem, const platform::Directory& dir,
                                   const std::filesystem::path& relative);

// An open folder below a run's root, reused while consecutive entries share it (the scans give
// entries folder by folder), so an operation on an entry costs one call rather than one per
// component of its path.
class FolderCache {
public:
    // With `createMissing`, a folder asked for is created (with its parents) when it is missing.
    FolderCache(platform::FileSystem& fileSystem, const platform::Directory& root, bool createMissing = false)
        : m_fileSystem(fileSystem), m_root(root), m_createMissing(createMissing)
    {
    }

    // The open folder `relative` below the root; the root itself for an empty path.
    platform::PosixResult<const platform::Directory*> folder(const std::filesystem::path& relative);
    // The status of `relative` below the root, links never followed.
    platform::PosixResult<platform::FileStatus> status(const std::filesystem::path& relative);

private:
    platform::FileSystem& m_fileSystem;
    const platform::Directory& m_root;
    bool m_createMissing;
    std::filesystem::path m_folderRelative;
    platform::Directory m_folder;
    bool m_missing = false; // m_folderRelative was found missing
};

struct FileCopier::Run {
    Run(std::filesystem::path source, std::filesystem::path destination, std::filesystem::path trash,
        const ExclusionFilter& filter, const ProgressCallback& progress, const platform::CancelToken& cancel)
        : source(std::move(source)), destination(std::move(destination)), trash(std::move(trash)), filter(filter),
          progress(progress), cancel(cancel)
    {
    }

    std::filesystem::path source;
    std::filesystem::path destination;
    std::filesystem::path trash;
    const ExclusionFilter& filter;
    const ProgressCallback& progress;
    const platform::CancelToken& cancel;

    // Vanished entries the user let past the mass-deletion guard.
    std::unordered_set<std::string> confirmedDeletions;

    QDateTime startTime;
    std::chrono::steady_clock::time_point startedAt;

    // Opened once; every write of the run goes through `backupDir`, and the tenth-file checks
    // compare both with what their paths name now.
    platform::Directory sourceDir;
    platform::Directory backupDir;
    // How the backup's file system keeps times, found out once at the start.
    StoredTimes backupTimes;
    // Files copied at once.
    std::size_t workers = 1;

    // Folders the scan could not read are in it too: nothing below them counts as vanished.
    SourceScan scan;
    // Folders below the source that held a mounted file system and do not now (relative paths):
    // nothing below them counts as vanished either.
    std::vector<std::string> unmountedFolders;
    // Walked beside the source scan; only names matter to archival, and the run adds none that
    // could count as vanished.
    std::future<DestinationScan> destinationScan;
    // Its list, kept for the result once archival has used it.
    std::vector<std::string> backupRelativePaths;
    // Its folders, with the modes they had before the run.
    std::vector<ScannedFolder> backupFolders;
    std::future<BackupProfile> recommendedProfile;
    RunningEditorFiles editors;

    // Entries whose backup copy is of the other kind (a file where a folder stands, or the other
    // way): the old entry leaves for the trash with the vanished files, then the entry is copied.
    struct Pending {
        std::size_t index;
        std::filesystem::path relative;
    };
    std::vector<Pending> pending;
    // What the change rule says of each scanned entry, by index.
    std::vector<Need> needs;
    std::unordered_set<std::string> kindChanged;

    BackupResult result;
};

} // namespace larkfold
