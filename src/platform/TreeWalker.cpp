#include "platform/TreeWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkfold::platform {
namespace {

constexpr std::size_t kListingBufferBytes = 64 * 1024;

EntryType typeFromDirent(unsigned char type)
{
    switch (type) {
    case DT_REG: return EntryType::regularFile;
    case DT_DIR: return EntryType::directory;
    case DT_LNK: return EntryType::symlink;
    case DT_UNKNOWN: return EntryType::unknown;
    default: return EntryType::other;
    }
}

EntryType typeFromMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryType::regularFile;
    if (S_ISDIR(mode))
        return EntryType::directory;
    if (S_ISLNK(mode))
        return EntryType::symlink;
    return EntryType::other;
}

std::optional<EntryStatus> statEntry(int parentFd, const char* name, int& error)
{
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        return std::nullopt;
    }
    return EntryStatus{typeFromMode(st.st_mode),
                       static_cast<std::int64_t>(st.st_size),
                       static_cast<std::int64_t>(st.st_mtim.tv_sec),
                       static_cast<std::int64_t>(st.st_mtim.tv_nsec),
                       static_cast<std::uint32_t>(st.st_mode & 07777),
                       static_cast<std::uint32_t>(st.st_uid),
                       static_cast<std::uint32_t>(st.st_gid)};
}

// One open folder of the walk: its descriptor and its listing, packed as
// (type byte, name, NUL) records so a folder costs one allocation.
struct Frame {
    int fd = -1;
    std::string listing;
    std::size_t next = 0;
    std::size_t prefixLength = 0; // length of the relative path of the folder plus its "/"
    bool reported = false;        // already among the unreadable folders
};

void reportUnreadable(WalkOutcome& outcome, Frame& frame, const std::string& relative, int error)
{
    if (frame.reported)
        return;
    frame.reported = true;
    const std::size_t length = frame.prefixLength == 0 ? 0 : frame.prefixLength - 1;
    outcome.unreadableFolders.push_back({relative.substr(0, length), error});
}

// Reads the whole listing of `frame.fd`. Returns 0, or the errno of a read that failed part way
// (what was read before it stays listed).
int readListing(Frame& frame, std::vector<char>& buffer)
{
    int failure = 0;
    for (;;) {
        const ssize_t got = ::getdents64(frame.fd, buffer.data(), buffer.size());
        if (got == 0)
            return failure;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t offset = 0; offset < got;) {
            const auto* record = reinterpret_cast<const dirent64*>(buffer.data() + offset);
            offset += record->d_reclen;
            const std::string_view name(record->d_name);
            if (name == "." || name == "..")
                continue;
            // A name no path can be made of (a damaged disk, a broken driver) is left out,
            // and the folder counts as not fully read.
            if (name.empty() || name.find('/') != std::string_view::npos) {
                failure = EINVAL;
                continue;
            }
            frame.listing.push_back(static_cast<char>(record->d_type));
            frame.listing.append(name);
            frame.listing.push_back('\0');
        }
    }
}

} // namespace

const std::optional<EntryStatus>& TreeEntry::status() const
{
    if (!m_statusRead) {
        m_statusRead = true;
        m_status = statEntry(m_parentFd, m_name.data(), m_statusError);
    }
    return m_status;
}

WalkOutcome TreeWalker::walk(const std::filesystem::path& root, const Visitor& visit, const WalkOptions& options)
{
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return walkOpened(rootFd, errno, visit, options);
}

WalkOutcome TreeWalker::walk(const Directory& root, const Visitor& visit, const WalkOptions& options)
{
    // A descriptor of its own, so the listing has its own offset and the walk may close it.
    const int rootFd = root.isOpen() ? ::openat(root.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    return walkOpened(rootFd, root.isOpen() ? errno : EBADF, visit, options);
}

WalkOutcome TreeWalker::walkOpened(int rootFd, int openError, const Visitor& visit, const WalkOptions& options)
{
    WalkOutcome outcome;
    std::vector<char> buffer(kListingBufferBytes);
    std::vector<Frame> stack;
    std::string relative;

    if (rootFd < 0) {
        outcome.unreadableFolders.push_back({"", openError});
        return outcome;
    }
    outcome.rootOpened = true;
    stack.push_back(Frame{rootFd, {}, 0, 0});
    if (const int failure = readListing(stack.back(), buffer))
        reportUnreadable(outcome, stack.back(), relative, failure);

    while (!stack.empty()) {
        if (options.cancel.isCancelled()) {
            outcome.cancelled = true;
            for (const Frame& open : stack)
                ::close(open.fd);
            return outcome;
        }
        Frame& frame = stack.back();
        if (frame.next >= frame.listing.size()) {
            ::close(frame.fd);
            stack.pop_back();
            continue;
        }
        const auto direntType = static_cast<unsigned char>(frame.listing[frame.next]);
        const char* name = frame.listing.data() + frame.next + 1;
        const std::size_t nameLength = std::strlen(name);
        frame.next += nameLength + 2;
        relative.resize(frame.prefixLength);
        relative.append(name, nameLength);

        TreeEntry entry;
        entry.m_parentFd = frame.fd;
        entry.m_name = std::string_view(name, nameLength);
        entry.m_relativePath = relative;
        entry.m_type = typeFromDirent(direntType);
        if (entry.m_type == EntryType::unknown) {
            // Some file systems leave the type out of listings; ask the entry itself.
            const auto& status = entry.status();
            entry.m_type = status ? status->type : EntryType::unknown;
        }

        const bool descend = visit(entry);
        // A listed name that cannot be looked at (a folder readable but not searchable, a disk
        // error) is not known to be gone: its folder counts as not fully read.
        if (entry.m_statusRead && !entry.m_status && entry.m_statusError != ENOENT)
            reportUnreadable(outcome, frame, relative, entry.m_statusError);
        if (!descend || entry.m_type != EntryType::directory)
            continue;

        const int fd = ::openat(frame.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            // Gone, or replaced by a file or a link since the listing: nothing of it to walk.
            if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
                outcome.unreadableFolders.push_back({relative, errno});
            continue;
        }
        if (!options.foldersToLeaveOut.empty()) {
            struct stat opened {};
            const bool known = ::fstat(fd, &opened) == 0;
            const FolderIdentity identity{static_cast<std::uint64_t>(opened.st_dev),
                                          static_cast<std::uint64_t>(opened.st_ino)};
            if (known
                && std::find(options.foldersToLeaveOut.begin(), options.foldersToLeaveOut.end(), identity)
                       != options.foldersToLeaveOut.end()) {
                ::close(fd);
                outcome.leftOutFolders.push_back(relative);
                continue;
            }
        }
        Frame child{fd, {}, 0, relative.size() + 1};
        relative.push_back('/');
        if (const int failure = readListing(child, buffer))
            reportUnreadable(outcome, child, relative, failure);
        stack.push_back(std::move(child)); // `frame` is not used after this
    }
    return outcome;
}

} // namespace larkfold::platform
