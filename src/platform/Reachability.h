#pragma once

#include <QByteArray>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace larkfold::platform {

class MountSource;
struct MountEntry;

// Where a folder stands, by the rule of isFolderReachable.
enum class FolderPresence {
    reachable, // a folder, on the file system the rule accepts
    notAFolder, // something else stands there, on that file system
    missing, // that file system is there, but nothing is at the path
    elsewhere, // that file system is not there: the path falls on another one, or cannot be examined
};

// Whether Larkfold may work in `folder`: it is a folder, and it lies on the file system its
// bookmark recorded or on another one mounted at the very mount point the bookmark recorded (a
// replaced drive). A folder that now falls on a file system mounted higher up, such as the system
// disk below a drive's empty mount-point folder, is not reachable. Without a bookmark (or with
// bytes that are not one), the media rule decides: below /media, /run/media or /mnt only a file
// system mounted inside that folder counts. Any thread.
bool isFolderReachable(const std::filesystem::path& folder, const std::optional<QByteArray>& bookmark,
                       const MountSource& mounts,
                       const std::filesystem::path& uuidFolder = "/dev/disk/by-uuid");

// Whether `folder` lies below one of the folders where drives are mounted: /media, /run/media, /mnt.
bool isInMediaFolder(const std::filesystem::path& folder);

// The rule itself, on a table the caller has read, telling a missing folder from a missing drive.
FolderPresence folderPresence(const std::filesystem::path& folder, const std::optional<QByteArray>& bookmark,
                              const std::vector<MountEntry>& mounts,
                              const std::filesystem::path& uuidFolder = "/dev/disk/by-uuid");

// The UUID of the file system on `device`, from the links in `uuidFolder`; empty when none names it.
std::string fileSystemUuid(std::uint64_t device, const std::filesystem::path& uuidFolder = "/dev/disk/by-uuid");

} // namespace larkfold::platform
