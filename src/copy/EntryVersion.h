#pragma once

#include "copy/StoredTimes.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>

namespace larkfold {

// What the change rule compares of one entry. A package folder stands for its contents: an edit
// deep inside changes the newest time or the total size even when the folder's own entry stays.
struct EntryVersion {
    bool isFolder = false;
    // A file's size; a folder's is the sum of the sizes of the files inside it.
    std::int64_t size = 0;
    // A file's modification time; a folder's is the newest of its own and of the files and
    // folders inside it.
    std::timespec modified{};
};

// The version of the entry `relative` below `dir`, links never followed; none when the entry
// or anything inside a folder cannot be read.
std::optional<EntryVersion> readEntryVersion(platform::FileSystem& fileSystem, const platform::Directory& dir,
                                             const std::filesystem::path& relative);
// The same from a status already read; only a folder costs a walk.
std::optional<EntryVersion> entryVersion(platform::FileSystem& fileSystem, const platform::Directory& dir,
                                         const std::filesystem::path& relative, const platform::FileStatus& status);

// Whether a copy of the same kind no longer stands for its source: the sizes differ, or the
// times do by the rule of the copy's file system (`times`).
bool versionsDiffer(const EntryVersion& source, const EntryVersion& copy, const StoredTimes& times);

} // namespace larkfold
