#pragma once

#include "store/StoredEnum.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace larkfold {

// The kind of material a pair's source holds; it decides what a backup leaves out.
enum class BackupProfile { standard, film, photography, music, developer, documents };

template <>
struct StoredNames<BackupProfile> {
    static constexpr std::array<std::string_view, 6> names{"standard",  "film",  "photography",
                                                           "music",     "developer", "documents"};
};

// A set of file names (bytes, as they stand on disk) that can be searched with a string_view.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
using NameSet = std::unordered_set<std::string, NameHash, std::equal_to<>>;

struct ProfileExclusions {
    NameSet names;      // exact names of files and folders
    NameSet extensions; // file extensions without the dot
};

// The profile's excluded names (always including systemExclusionNames()) and extensions.
// Built once; safe to read from any thread.
const ProfileExclusions& exclusions(BackupProfile profile);

// Folders that file systems and desktops keep at a drive's root and no backup wants, matched by
// exact name. Names beginning with kTrashFolderPrefix belong here too: use isSystemExclusionName().
const NameSet& systemExclusionNames();

// The per-user trash folders of a drive (".Trash-1000").
inline constexpr std::string_view kTrashFolderPrefix = ".Trash-";

// Whether a file or folder name is one of the system exclusions, prefix rule included.
bool isSystemExclusionName(std::string_view name);

// The program's own marker files in a pair's backup folder; scans and the offsite copy pass over them.
inline constexpr std::string_view kCheckpointFileName = ".larkfold-checkpoint.json";
inline constexpr std::string_view kHashesFileName = ".larkfold-hashes.json";
inline constexpr std::string_view kLastCheckFileName = ".larkfold-lastcheck";
// The dated trash at a destination, beside the "Larkfold" folder, shared by its pairs.
inline constexpr std::string_view kTrashFolderName = ".Larkfold-Trash";
// Locked for the whole of a run, so two runs (other accounts, other computers) never write one folder.
inline constexpr std::string_view kLockFileName = ".larkfold-lock";
const NameSet& larkfoldMarkerFileNames();

} // namespace larkfold
