#pragma once

#include "copy/FileOperationError.h"
#include "store/BackupProfile.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace larkfold {

// The outcome of one backup run; everything a run accumulated, handed back by value.
struct BackupResult {
    // Files copied and verified by size in this run.
    int copiedFiles = 0;
    // Their paths below the backup folder (bytes), in scan order, however the copies overlapped.
    std::vector<std::filesystem::path> copiedRelativePaths;
    // Files moved into the dated trash folder.
    int archivedFiles = 0;
    // Sum of the source sizes of the verified copies.
    std::int64_t bytesTransferred = 0;
    // Seconds from the start of the run to its end.
    double duration = 0.0;
    // Every collected failure, in the order one file at a time meets them.
    std::vector<FileOperationError> errors;
    // The source or the backup folder went away during the run.
    bool abortedDueToVolumeLoss = false;
    // Backup entries gone from the source that stayed where they are because too many went at
    // once (errors 1001, 1002): their paths below the backup folder (bytes), in walk order.
    std::vector<std::string> heldBackDeletions;
    // Editor name to the number of files left for a later run because they were open.
    std::map<std::string, int> filesDeferredByEditor;
    BackupProfile recommendedProfile = BackupProfile::standard;
    // Sum of the sizes of the scanned source files.
    std::int64_t approximateSourceBytes = 0;
    // What the backup folder held when the run began (bytes, in walk order): the files among them
    // that have no fingerprint yet, left by a run stopped before its fingerprints, get theirs later.
    std::vector<std::string> backupRelativePaths;
    // Folders below the source (absolute) that hold a mounted file system, or held one and are not
    // mounted now while the backup still holds their files: what the next run is told of them.
    std::vector<std::filesystem::path> sourceMountPoints;
    // Those of them not mounted now: their files in the backup were left as they are.
    std::vector<std::filesystem::path> unmountedFolders;

    // Something the program did not make (a link, a folder, a FIFO, ...) found at the name of one
    // of its own files in the backup folder: left alone, or moved to the trash where the run had
    // to write at that name.
    struct ForeignItem {
        std::string relativePath;
        bool movedToTrash = false;
        bool operator==(const ForeignItem&) const = default;
    };
    std::vector<ForeignItem> foreignItems;
};

} // namespace larkfold
