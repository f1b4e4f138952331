#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace larkfold::platform {

class Directory;
class MountSource;

// What a folder's file system is kept on, as far as it decides how many files are best written
// at once.
enum class StorageKind : std::uint8_t {
    unknown,    // nothing the kernel says tells
    rotational, // a disk that says it spins (virtual disks often say so too)
    solidState, // an SSD, NVMe or memory-backed block device
    memory,     // tmpfs, ramfs
    network,    // NFS, SMB, sshfs and any other FUSE file system: one server answers every write
};

// The kind from the file system's type as the mount table names it and, for one on a block
// device, whether its disk spins (none: not known).
StorageKind storageKindFor(std::string_view fileSystemType, std::optional<bool> rotational);

// The kind of storage holding the open folder `dir`: the type of the mount it lies on, and the
// rotational flag of the disk below it in the kernel's device tree at `sysfsFolder`.
StorageKind storageKindOf(const Directory& dir, const MountSource& mounts,
                          const std::filesystem::path& sysfsFolder = "/sys");

} // namespace larkfold::platform
