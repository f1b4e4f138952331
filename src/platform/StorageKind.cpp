#include "platform/StorageKind.h"

#include "platform/Drives.h"
#include "platform/FileDescriptor.h"
#include "platform/MountSource.h"

#include <vector>

namespace larkfold::platform {

StorageKind storageKindFor(std::string_view fileSystemType, std::optional<bool> rotational)
{
    if (isNetworkFileSystemType(fileSystemType) || fileSystemType == "fuse" || fileSystemType.starts_with("fuse."))
        return StorageKind::network;
    if (fileSystemType == "tmpfs" || fileSystemType == "ramfs")
        return StorageKind::memory;
    if (!rotational)
        return StorageKind::unknown;
    return *rotational ? StorageKind::rotational : StorageKind::solidState;
}

StorageKind storageKindOf(const Directory& dir, const MountSource& mounts, const std::filesystem::path& sysfsFolder)
{
    const std::vector<MountEntry> table = mounts.mounts();
    // The mount whose files carry the folder's device number; of several (bind mounts), the last.
    const MountEntry* mount = nullptr;
    for (const MountEntry& entry : table) {
        if (entry.device == dir.device())
            mount = &entry;
    }
    // A btrfs subvolume's files carry a number of their own: the mount that holds the path tells.
    if (!mount)
        mount = findMountHolding(table, dir.path().native(), [](const MountEntry& entry) -> std::string_view {
            return entry.mountPoint;
        });
    if (!mount)
        return StorageKind::unknown;
    return storageKindFor(mount->fileSystemType, isRotationalDrive(*mount, sysfsFolder));
}

} // namespace larkfold::platform
