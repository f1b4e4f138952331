#include "copy/EntryVersion.h"

#include <algorithm>
#include <vector>

namespace larkfold {

namespace {

bool isNewer(const std::timespec& a, const std::timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// Adds everything below the open folder to `version`; false when part of it cannot be read.
bool addContents(platform::FileSystem& fileSystem, const platform::Directory& folder, EntryVersion& version)
{
    const auto names = fileSystem.listDirectory(folder);
    if (!names)
        return false;
    for (const std::string& name : *names) {
        const auto status = fileSystem.status(folder, name);
        if (!status)
            return false;
        // Only what every copy carries counts: a link's own time is not kept everywhere, what it
        // points to is not ours, and sockets and devices are never copied at all.
        if (!status->isRegular() && !status->isDirectory())
            continue;
        if (isNewer(status->modificationTime, version.modified))
            version.modified = status->modificationTime;
        if (status->isRegular()) {
            version.size += status->size;
        } else if (status->isDirectory()) {
            const auto inner = fileSystem.openDirectory(folder, name);
            if (!inner || !addContents(fileSystem, *inner, version))
                return false;
        }
    }
    return true;
}

} // namespace

std::optional<EntryVersion> entryVersion(platform::FileSystem& fileSystem, const platform::Directory& dir,
                                         const std::filesystem::path& relative, const platform::FileStatus& status)
{
    EntryVersion version;
    version.modified = status.modificationTime;
    if (!status.isDirectory()) {
        version.size = status.size;
        return version;
    }
    version.isFolder = true;
    const auto folder = fileSystem.openDirectory(dir, relative);
    if (!folder || !addContents(fileSystem, *folder, version))
        return std::nullopt;
    return version;
}

std::optional<EntryVersion> readEntryVersion(platform::FileSystem& fileSystem, const platform::Directory& dir,
                                             const std::filesystem::path& relative)
{
    const auto status = fileSystem.status(dir, relative);
    if (!status)
        return std::nullopt;
    return entryVersion(fileSystem, dir, relative, *status);
}

bool versionsDiffer(const EntryVersion& source, const EntryVersion& copy, const StoredTimes& times)
{
    return source.size != copy.size || times.differ(source.modified, copy.modified);
}

} // namespace larkfold
