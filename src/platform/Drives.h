#pragma once

#include <QString>

#include <filesystem>
#include <optional>

namespace larkfold::platform {

struct MountEntry;

// Backed by a block device or served over the network: a place for files, not a pseudo file
// system (proc, tmpfs, autofs, a desktop's FUSE helpers).
bool isStorageFileSystem(const MountEntry& entry);

// The label of the file system mounted from `entry`, from the links udev keeps in `labelFolder`;
// empty when none names its device.
QString fileSystemLabel(const MountEntry& entry, const std::filesystem::path& labelFolder = "/dev/disk/by-label");

// Whether the disk below `entry` is removable or attached over USB, from the kernel's device
// tree at `sysfsFolder`; a mapped device (an encrypted drive) counts as the disk it maps.
bool isExternalDrive(const MountEntry& entry, const std::filesystem::path& sysfsFolder = "/sys");

// Whether the disk below `entry` says it spins (its queue's rotational flag in the kernel's device
// tree at `sysfsFolder`; a partition answers for its disk, a mapped device for itself). None when
// the tree does not say, as for file systems without a block device (network, tmpfs, overlay).
std::optional<bool> isRotationalDrive(const MountEntry& entry, const std::filesystem::path& sysfsFolder = "/sys");

// The login name of the user this process runs as; empty when the system does not know it.
QString currentUserName();

// Where the desktop mounts the user's drives, for panels that choose a destination:
// /media/<user>, else /run/media/<user>, else /media; none when no such folder exists.
// `root` stands for "/" in tests.
std::optional<std::filesystem::path> drivesFolder(const QString& userName = currentUserName(),
                                                  const std::filesystem::path& root = "/");

} // namespace larkfold::platform
