#pragma once

#include "store/BackupProfile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace larkfold {

// Suggests a backup profile from what a source folder holds: editing-project packages, folder
// names and marker files that only certain work produces, and which media holds most bytes.
// Weak evidence gives `standard`. Never fails and never logs.

struct FolderListingEntry {
    std::string name; // bytes, as on disk
    bool isDirectory = false; // a link to a folder is not one
};

// A folder's entries, hidden ones included, in listing order; none when it cannot be listed.
using FolderLister = std::function<std::optional<std::vector<FolderListingEntry>>(const std::filesystem::path&)>;
// A regular file's size; none when it cannot be read or the entry is no regular file.
using FileSizeReader = std::function<std::optional<std::int64_t>(const std::filesystem::path&)>;
using ProfileScores = std::map<BackupProfile, double>;

std::optional<std::vector<FolderListingEntry>> listFolder(const std::filesystem::path& folder);
std::optional<std::int64_t> regularFileSize(const std::filesystem::path& file);

inline constexpr int kProfileDescentLimit = 30;

// Adds the folder's structural evidence to `scores`: its own entries at full weight and, for a
// top-level call, the entries of its first `descentLimit` sub-folders at a lower weight.
void scoreFolder(const std::filesystem::path& folder, bool nested, const FolderLister& lister, ProfileScores& scores,
                 int descentLimit = kProfileDescentLimit);

// From the folder's structure alone.
BackupProfile recommendProfileForFolder(const std::filesystem::path& folder, const FolderLister& lister = listFolder);

// From the entries a backup scan found (files, and packages taken whole) in `folder`, and its
// structure. An empty entry list gives `standard` without listing anything.
BackupProfile recommendProfileForFiles(const std::vector<std::filesystem::path>& entries,
                                       const std::filesystem::path& folder, const FolderLister& lister = listFolder,
                                       const FileSizeReader& sizeOf = regularFileSize);

} // namespace larkfold
