#pragma once

#include "copy/FileOperationError.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace larkfold {

// A folder whose contents a scan could not list, wholly or in part: nothing below it can be
// known to be missing.
struct UnscannedFolder {
    std::string relativePath; // "" for the scanned folder itself
    FileOperationError error; // operation "scan", url the folder, the system's cause
};

// Whether `relativePath` is one of `folders` or lies below one of them.
bool liesInUnscannedFolder(const std::vector<UnscannedFolder>& folders, std::string_view relativePath);

// One entry of a source scan: a regular file, or a package folder taken whole.
struct SourceEntry {
    std::string relativePath; // bytes, "/" between components, no leading "/"
    bool isPackage = false;
    // A file's size and modification time as the scan found them; 0 for a package.
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
};

// A folder a scan walked into, with the parts of its status that its copy's mode follows.
struct ScannedFolder {
    std::string relativePath; // bytes, "/" between components, no leading "/"
    std::uint32_t permissions = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

struct SourceScan {
    std::filesystem::path root; // the source folder as given
    std::vector<SourceEntry> entries; // in the order the walk met them
    // The folders walked into (not the scanned folder itself nor packages), parents first.
    std::vector<ScannedFolder> folders;
    std::vector<UnscannedFolder> unscannedFolders;
    // Files and folders left out because their names are those of the program's own files in a
    // backup folder (markers, temporaries, resume files), as relative paths.
    std::vector<std::string> reservedNames;
    // Folders not entered because they are the backup folder or its trash (a bind mount, say).
    std::vector<std::string> ownFolders;
    // A cancel stopped the walk: the lists are partial.
    bool cancelled = false;

    std::filesystem::path url(const SourceEntry& entry) const { return root / entry.relativePath; }
};

struct DestinationScan {
    std::vector<std::string> relativePaths; // in the order the walk met them
    std::vector<ScannedFolder> folders; // as in SourceScan
    std::vector<UnscannedFolder> unscannedFolders;
    bool cancelled = false; // the lists are partial
};

} // namespace larkfold
