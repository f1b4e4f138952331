#include "engine/MountTable.h"

#include "platform/MountSource.h"

namespace larkfold {

std::vector<MountTable::Mount> MountTable::currentMounts()
{
    return currentMounts(platform::systemMountSource());
}

std::vector<MountTable::Mount> MountTable::currentMounts(const platform::MountSource& source)
{
    std::vector<Mount> result;
    for (platform::MountEntry& entry : source.mounts())
        result.push_back({std::move(entry.mountPoint), std::move(entry.source),
                          platform::isNetworkFileSystemType(entry.fileSystemType)});
    return result;
}

std::optional<MountTable::Mount> MountTable::mount(const std::string& path, const std::vector<Mount>& mounts)
{
    const Mount* found
        = platform::findMountHolding(mounts, path, [](const Mount& m) -> std::string_view { return m.mountPoint; });
    return found ? std::optional<Mount>(*found) : std::nullopt;
}

std::vector<MountTable::Mount> MountTable::mounts(const std::string& source, const std::vector<Mount>& mounts)
{
    std::vector<Mount> result;
    for (const Mount& m : mounts)
        if (m.source == source)
            result.push_back(m);
    return result;
}

} // namespace larkfold
