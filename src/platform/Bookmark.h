#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace larkfold::platform {

class MountSource;

// What a bookmark remembers of a folder, so the folder can be found again after it was renamed
// over or its drive came back at another mount point.
struct BookmarkRecord {
    std::filesystem::path path; // absolute, links resolved when it was made
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string fileSystemUuid; // empty when the file system shows none
    std::filesystem::path pathInFileSystem; // relative to the mount point

    // Compact bytes; the caller stores them as it likes (Base64 in JSON).
    QByteArray encode() const;
    // None for bytes that are not a bookmark of ours.
    static std::optional<BookmarkRecord> decode(const QByteArray& data);
};

// Bookmarks of folders the user chose, and the checks made before working in one.
class Bookmarks {
public:
    enum class Access {
        read, // a source: its files are read
        write, // a destination: files are written into it
    };

    struct Resolution {
        std::filesystem::path folder;
        // The folder is not the one the bookmark was made for at its path: another folder stands
        // there now, or its file system is now mounted elsewhere.
        bool isStale = false;
    };

    // `uuidFolder` maps file-system UUIDs to device nodes (/dev/disk/by-uuid).
    explicit Bookmarks(const MountSource& mounts, std::filesystem::path uuidFolder = "/dev/disk/by-uuid");

    // A bookmark of `folder`; none, with the reason in `error`, when it is not a folder that can be opened.
    std::optional<QByteArray> create(const std::filesystem::path& folder, QString* error = nullptr) const;

    // Finds the bookmarked folder: at its path when it is still the same folder; stale at the new
    // mount point when its file system moved, or at its path when another folder stands there.
    // None when neither exists or the bytes are not a bookmark.
    std::optional<Resolution> resolve(const QByteArray& data) const;

    // Whether this process may read (or write into) the folder. Linux grants no scoped access, so
    // this only checks the permissions honestly; false means access denied.
    bool startAccessing(const std::filesystem::path& folder, Access access) const;
    // Nothing to give back on Linux.
    void stopAccessing(const std::filesystem::path&) const {}

private:
    std::string fileSystemUuid(std::uint64_t device) const;
    std::optional<std::filesystem::path> mountedElsewhere(const BookmarkRecord& record) const;

    const MountSource& m_mounts;
    std::filesystem::path m_uuidFolder;
};

Bookmarks& systemBookmarks();

} // namespace larkfold::platform
