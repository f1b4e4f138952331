#include "platform/Bookmark.h"

#include "platform/Json.h"
#include "platform/MountSource.h"
#include "platform/Reachability.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <system_error>

namespace larkfold::platform {
namespace {

namespace fs = std::filesystem;

constexpr int kBookmarkVersion = 1;

QByteArray pathBytes(const fs::path& path)
{
    return QByteArray::fromStdString(path.native());
}

std::optional<struct stat> statFollowing(const fs::path& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st;
}

std::optional<struct stat> folderStatus(const fs::path& path)
{
    auto st = statFollowing(path);
    if (!st || !S_ISDIR(st->st_mode))
        return std::nullopt;
    return st;
}

} // namespace

QByteArray BookmarkRecord::encode() const
{
    Json object = Json::object();
    object["version"] = kBookmarkVersion;
    object["path"] = encodeBase64(pathBytes(path));
    object["device"] = device;
    object["inode"] = inode;
    object["fileSystemUuid"] = fileSystemUuid;
    object["pathInFileSystem"] = encodeBase64(pathBytes(pathInFileSystem));
    return QByteArray::fromStdString(encodeJsonCompact(object));
}

std::optional<BookmarkRecord> BookmarkRecord::decode(const QByteArray& data)
{
    try {
        const Json object = parseJson(std::string_view(data.constData(), std::size_t(data.size())));
        if (!object.is_object() || object.value("version", 0) != kBookmarkVersion)
            return std::nullopt;
        BookmarkRecord record;
        record.path = fs::path(json::requireBase64(object, "path").toStdString());
        record.device = object.at("device").get<std::uint64_t>();
        record.inode = object.at("inode").get<std::uint64_t>();
        record.fileSystemUuid = json::requireString(object, "fileSystemUuid");
        record.pathInFileSystem = fs::path(json::requireBase64(object, "pathInFileSystem").toStdString());
        if (!record.path.is_absolute())
            return std::nullopt;
        return record;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Bookmarks::Bookmarks(const MountSource& mounts, fs::path uuidFolder)
    : m_mounts(mounts), m_uuidFolder(std::move(uuidFolder))
{
}

std::optional<QByteArray> Bookmarks::create(const fs::path& folder, QString* error) const
{
    const auto fail = [&](const QString& reason) -> std::optional<QByteArray> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    std::error_code code;
    const fs::path resolved = fs::canonical(folder, code);
    if (code)
        return fail(QString::fromStdString(code.message()));
    const auto st = statFollowing(resolved);
    if (!st)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(st->st_mode))
        return fail(QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    if (::faccessat(AT_FDCWD, resolved.c_str(), R_OK | X_OK, AT_EACCESS) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));

    BookmarkRecord record;
    record.path = resolved;
    record.device = st->st_dev;
    record.inode = st->st_ino;
    record.fileSystemUuid = fileSystemUuid(st->st_dev);
    const auto mounts = m_mounts.mounts();
    const MountEntry* mount = findMountHolding(mounts, resolved.native(),
                                               [](const MountEntry& m) -> std::string_view { return m.mountPoint; });
    record.pathInFileSystem = mount ? resolved.lexically_relative(mount->mountPoint) : resolved.relative_path();
    if (record.pathInFileSystem == ".")
        record.pathInFileSystem.clear();
    return record.encode();
}

std::optional<Bookmarks::Resolution> Bookmarks::resolve(const QByteArray& data) const
{
    const auto record = BookmarkRecord::decode(data);
    if (!record)
        return std::nullopt;
    const auto atPath = folderStatus(record->path);
    if (atPath && atPath->st_ino == record->inode) {
        // A drive plugged in again may get another device number; its UUID still names it.
        if (atPath->st_dev == record->device
            || (!record->fileSystemUuid.empty() && fileSystemUuid(atPath->st_dev) == record->fileSystemUuid))
            return Resolution{record->path, false};
    }
    if (auto moved = mountedElsewhere(*record))
        return Resolution{*moved, true};
    if (atPath)
        return Resolution{record->path, true};
    return std::nullopt;
}

bool Bookmarks::startAccessing(const fs::path& folder, Access access) const
{
    if (!folderStatus(folder))
        return false;
    const int mode = access == Access::read ? (R_OK | X_OK) : (W_OK | X_OK);
    return ::faccessat(AT_FDCWD, folder.c_str(), mode, AT_EACCESS) == 0;
}

std::string Bookmarks::fileSystemUuid(std::uint64_t device) const
{
    return platform::fileSystemUuid(device, m_uuidFolder);
}

std::optional<fs::path> Bookmarks::mountedElsewhere(const BookmarkRecord& record) const
{
    if (record.fileSystemUuid.empty())
        return std::nullopt;
    const auto node = statFollowing(m_uuidFolder / record.fileSystemUuid);
    if (!node || !S_ISBLK(node->st_mode))
        return std::nullopt;
    for (const MountEntry& mount : m_mounts.mounts()) {
        // A stat of a dead network share can hang; a bookmarked drive is never one.
        if (isNetworkFileSystemType(mount.fileSystemType))
            continue;
        const auto root = statFollowing(mount.mountPoint);
        if (!root || root->st_dev != node->st_rdev)
            continue;
        const fs::path candidate = fs::path(mount.mountPoint) / record.pathInFileSystem;
        const auto found = folderStatus(candidate);
        if (found && found->st_ino == record.inode && candidate.lexically_normal() != record.path)
            return candidate.lexically_normal();
    }
    return std::nullopt;
}

Bookmarks& systemBookmarks()
{
    static Bookmarks bookmarks(systemMountSource());
    return bookmarks;
}

} // namespace larkfold::platform
