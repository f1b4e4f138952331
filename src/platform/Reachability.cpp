#include "platform/Reachability.h"

#include "platform/Bookmark.h"
#include "platform/MountSource.h"
#include "platform/Paths.h"

#include <sys/stat.h>

#include <cerrno>

#include <string_view>

namespace larkfold::platform {
namespace {

namespace fs = std::filesystem;

// Folders where drives are mounted; the folders themselves lie on the system disk.
constexpr std::string_view kMediaFolders[] = {"/media", "/run/media", "/mnt"};

const std::string_view* mediaFolderHolding(const fs::path& folder)
{
    for (const std::string_view& media : kMediaFolders) {
        if (isBelow(folder, fs::path(media)))
            return &media;
    }
    return nullptr;
}

bool followsMediaRule(const fs::path& folder, const std::string& mountPoint)
{
    const std::string_view* media = mediaFolderHolding(folder);
    return !media || isBelow(fs::path(mountPoint), fs::path(*media));
}

// The mount point the bookmark's file system had: its path without the part inside the file system.
fs::path recordedMountPoint(const BookmarkRecord& record)
{
    fs::path mountPoint = record.path;
    for (auto it = record.pathInFileSystem.begin(); it != record.pathInFileSystem.end(); ++it) {
        if (!it->empty())
            mountPoint = mountPoint.parent_path();
    }
    return mountPoint;
}

// Whether `path`, on the file system `device` mounted at `mountPoint`, is where the bookmark
// recorded its folder, or where the media rule allows one without a bookmark.
bool liesWhereRecorded(const fs::path& path, dev_t device, const std::string& mountPoint,
                       const std::optional<QByteArray>& bookmark, const fs::path& uuidFolder)
{
    const auto record = bookmark ? BookmarkRecord::decode(*bookmark) : std::nullopt;
    if (!record)
        return followsMediaRule(path, mountPoint);

    // Device numbers are handed out again: where both file systems show a UUID it decides, else
    // the device must match and the folder must sit where it sat inside its file system.
    const std::string uuid = record->fileSystemUuid.empty() ? std::string() : fileSystemUuid(device, uuidFolder);
    fs::path inFileSystem = path.lexically_relative(mountPoint);
    if (inFileSystem == ".")
        inFileSystem.clear();
    const bool sameFileSystem = !uuid.empty()
        ? uuid == record->fileSystemUuid
        : device == record->device && inFileSystem == record->pathInFileSystem;
    if (sameFileSystem)
        return true;
    return fs::path(mountPoint) == recordedMountPoint(*record);
}

} // namespace

bool isInMediaFolder(const fs::path& folder)
{
    return mediaFolderHolding(folder) != nullptr;
}

std::string fileSystemUuid(std::uint64_t device, const fs::path& uuidFolder)
{
    std::error_code code;
    for (fs::directory_iterator it(uuidFolder, code), end; !code && it != end; it.increment(code)) {
        struct stat node{};
        if (::stat(it->path().c_str(), &node) == 0 && S_ISBLK(node.st_mode) && node.st_rdev == device)
            return it->path().filename().string();
    }
    return {};
}

FolderPresence folderPresence(const fs::path& folder, const std::optional<QByteArray>& bookmark,
                              const std::vector<MountEntry>& mounts, const fs::path& uuidFolder)
{
    const fs::path path = canonicalPath(folder);
    // The item at the path or, when there is none, the nearest folder above it: either way the
    // file system the path falls on now.
    struct stat st{};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists) {
        if (errno != ENOENT && errno != ENOTDIR)
            return FolderPresence::elsewhere;
        fs::path above = path;
        do
            above = above.parent_path();
        while (::stat(above.c_str(), &st) != 0 && above.has_relative_path());
        if (!S_ISDIR(st.st_mode))
            return FolderPresence::elsewhere;
    }
    const MountEntry* holding =
        findMountHolding(mounts, path.native(), [](const MountEntry& m) -> std::string_view { return m.mountPoint; });
    if (!holding || !liesWhereRecorded(path, st.st_dev, holding->mountPoint, bookmark, uuidFolder))
        return FolderPresence::elsewhere;
    if (!exists)
        return FolderPresence::missing;
    return S_ISDIR(st.st_mode) ? FolderPresence::reachable : FolderPresence::notAFolder;
}

bool isFolderReachable(const fs::path& folder, const std::optional<QByteArray>& bookmark, const MountSource& mounts,
                       const fs::path& uuidFolder)
{
    return folderPresence(folder, bookmark, mounts.mounts(), uuidFolder) == FolderPresence::reachable;
}

} // namespace larkfold::platform
