#pragma once

#include "platform/CancelToken.h"
#include "platform/FileDescriptor.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace larkfold::platform {

// What a directory entry is, as seen without following links.
enum class EntryType : std::uint8_t { regularFile, directory, symlink, other, unknown };

// Size, modification time, mode and owner of an entry, read without following links.
struct EntryStatus {
    EntryType type = EntryType::unknown;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::uint32_t permissions = 0; // the mode's 07777 bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

// One entry met by the walk. Valid only during the visitor call.
class TreeEntry {
public:
    // The entry's own name: bytes, as they stand on disk.
    std::string_view name() const { return m_name; }
    // The path below the walked folder, "/" between components, no leading "/".
    std::string_view relativePath() const { return m_relativePath; }
    // From the directory listing; an unknown type is looked up before the visitor sees the entry.
    EntryType type() const { return m_type; }
    // Reads size, time, mode and owner on first call (one fstatat); none when the entry cannot be read
    // (it vanished, say). Never follows a link.
    const std::optional<EntryStatus>& status() const;

private:
    friend class TreeWalker;
    int m_parentFd = -1;
    std::string_view m_name;
    std::string_view m_relativePath;
    EntryType m_type = EntryType::unknown;
    mutable bool m_statusRead = false;
    mutable int m_statusError = 0;
    mutable std::optional<EntryStatus> m_status;
};

// A folder whose listing could not be read, wholly or in part.
struct UnreadableFolder {
    std::string relativePath; // "" for the walked folder itself
    int errorNumber = 0;
};

// A folder by what it is on disk.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FolderIdentity&) const = default;
};

struct WalkOptions {
    // Folders never entered, matched once opened: a mount point's listing names the folder it
    // covers, not the mounted one.
    std::vector<FolderIdentity> foldersToLeaveOut;
    // Checked before every entry; a cancelled walk ends at once.
    CancelToken cancel;
};

struct WalkOutcome {
    // Folders whose contents the walk could not list; everything below them is unknown.
    std::vector<UnreadableFolder> unreadableFolders;
    // Folders met and not entered because they are among WalkOptions::foldersToLeaveOut.
    std::vector<std::string> leftOutFolders;
    // False when the walked folder itself could not be opened.
    bool rootOpened = false;
    // The walk stopped at a cancel before it had met every entry.
    bool cancelled = false;
};

// Walks a folder tree depth first, in directory order, without following symbolic links:
// a link is reported as a link and never entered. The walked folder itself may be reached
// through links in its path. Mounts below the folder are entered.
class TreeWalker {
public:
    // Called for every entry; for a folder, returning true descends into it.
    using Visitor = std::function<bool(const TreeEntry&)>;

    static WalkOutcome walk(const std::filesystem::path& root, const Visitor& visit, const WalkOptions& options = {});
    // Walks a folder already open, so nothing can take its place between a check of it and the walk.
    static WalkOutcome walk(const Directory& root, const Visitor& visit, const WalkOptions& options = {});

private:
    static WalkOutcome walkOpened(int rootFd, int openError, const Visitor& visit, const WalkOptions& options);
};

} // namespace larkfold::platform
