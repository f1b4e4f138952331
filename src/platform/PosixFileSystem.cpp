#include "platform/PosixFileSystem.h"

#include "platform/MountSource.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace larkfold::platform {

namespace {

// The folder that holds a relative path's last component, opened without following links.
struct Resolved {
    Descriptor owned; // the parent, when it had to be opened (empty when it is the Directory itself)
    int parentFd = -1;
    std::string leaf; // empty: the Directory itself
};

bool isSymlinkAt(int dirFd, const char* name)
{
    struct stat st;
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// A link where a folder was asked for reads as ELOOP, the error O_NOFOLLOW gives elsewhere.
std::error_code openErrorAt(int dirFd, const char* name)
{
    const int error = errno;
    if (error == ENOTDIR && isSymlinkAt(dirFd, name))
        return posixError(ELOOP);
    return posixError(error);
}

PosixResult<Resolved> resolve(const Directory& dir, const std::filesystem::path& relative)
{
    if (!dir.isOpen())
        return posixError(EBADF);
    if (relative.has_root_path())
        return posixError(EINVAL);
    std::vector<std::string> parts;
    for (const auto& part : relative) {
        const std::string& name = part.native();
        if (name.empty() || name == ".")
            continue;
        if (name == "..")
            return posixError(EINVAL);
        parts.push_back(name);
    }
    Resolved resolved;
    resolved.parentFd = dir.fd();
    if (parts.empty())
        return resolved;
    resolved.leaf = std::move(parts.back());
    parts.pop_back();
    for (const auto& name : parts) {
        const int fd = ::openat(resolved.parentFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return openErrorAt(resolved.parentFd, name.c_str());
        resolved.owned = Descriptor(fd);
        resolved.parentFd = fd;
    }
    return resolved;
}

// Resolves a path that must name an entry (not the Directory itself).
PosixResult<Resolved> resolveEntry(const Directory& dir, const std::filesystem::path& relative)
{
    auto resolved = resolve(dir, relative);
    if (resolved && resolved->leaf.empty())
        return posixError(EINVAL);
    return resolved;
}

FileType fileTypeOf(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return FileType::regular;
    case S_IFDIR: return FileType::directory;
    case S_IFLNK: return FileType::symlink;
    case S_IFIFO: return FileType::fifo;
    case S_IFSOCK: return FileType::socket;
    case S_IFCHR: return FileType::characterDevice;
    case S_IFBLK: return FileType::blockDevice;
    default: return FileType::unknown;
    }
}

FileStatus statusOf(const struct stat& st)
{
    FileStatus status;
    status.type = fileTypeOf(st.st_mode);
    status.permissions = st.st_mode & 07777;
    status.owner = st.st_uid;
    status.group = st.st_gid;
    status.size = st.st_size;
    status.allocatedBytes = std::int64_t(st.st_blocks) * 512;
    status.accessTime = st.st_atim;
    status.modificationTime = st.st_mtim;
    status.device = st.st_dev;
    status.inode = st.st_ino;
    return status;
}

std::error_code resultOf(int returnValue)
{
    return returnValue == 0 ? std::error_code() : lastPosixError();
}

PosixResult<Directory> directoryFromFd(int fd, std::filesystem::path path)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const auto error = lastPosixError();
        ::close(fd);
        return error;
    }
    return Directory(fd, std::move(path), st.st_dev, st.st_ino, (st.st_mode & S_ISGID) != 0);
}

} // namespace

PosixResult<Directory> PosixFileSystem::openDirectory(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return openErrorAt(AT_FDCWD, path.c_str());
    return directoryFromFd(fd, path);
}

PosixResult<Directory> PosixFileSystem::openDirectory(const Directory& dir, const std::filesystem::path& relative)
{
    auto resolved = resolve(dir, relative);
    if (!resolved)
        return resolved.error();
    const char* name = resolved->leaf.empty() ? "." : resolved->leaf.c_str();
    const int fd = ::openat(resolved->parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return openErrorAt(resolved->parentFd, name);
    return directoryFromFd(fd, resolved->leaf.empty() ? dir.path() : dir.path() / relative);
}

PosixResult<File> PosixFileSystem::openFile(const Directory& dir, const std::filesystem::path& relative,
                                            OpenMode mode, std::uint32_t permissions)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    int flags = O_NOFOLLOW | O_CLOEXEC;
    switch (mode) {
    // O_NONBLOCK so that a FIFO put in a file's place cannot hang the caller: a read sees no data,
    // a write-only open fails with ENXIO instead of waiting for a reader.
    case OpenMode::read: flags |= O_RDONLY | O_NONBLOCK; break;
    case OpenMode::createNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    case OpenMode::append: flags |= O_WRONLY | O_APPEND | O_NONBLOCK; break;
    }
    int fd;
    do
        fd = ::openat(resolved->parentFd, resolved->leaf.c_str(), flags, mode_t(permissions));
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastPosixError();
    // A regular file gets its ordinary blocking reads and writes back (some network file
    // systems answer EAGAIN to a non-blocking one).
    struct stat st;
    if ((flags & O_NONBLOCK) && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const int status = ::fcntl(fd, F_GETFL);
        if (status >= 0)
            ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    }
    return File(fd);
}

PosixResult<std::size_t> PosixFileSystem::read(const File& file, std::span<std::byte> buffer)
{
    for (;;) {
        const ssize_t n = ::read(file.fd(), buffer.data(), buffer.size());
        if (n >= 0)
            return std::size_t(n);
        if (errno != EINTR)
            return lastPosixError();
    }
}

PosixResult<std::size_t> PosixFileSystem::write(const File& file, std::span<const std::byte> bytes)
{
    for (;;) {
        const ssize_t n = ::write(file.fd(), bytes.data(), bytes.size());
        if (n >= 0)
            return std::size_t(n);
        if (errno != EINTR)
            return lastPosixError();
    }
}

PosixResult<std::size_t> PosixFileSystem::copyRange(const File& from, const File& to, std::size_t maxBytes)
{
    for (;;) {
        const ssize_t n = ::copy_file_range(from.fd(), nullptr, to.fd(), nullptr, maxBytes, 0);
        if (n >= 0)
            return std::size_t(n);
        if (errno != EINTR)
            return lastPosixError();
    }
}

PosixResult<std::int64_t> PosixFileSystem::seek(const File& file, std::int64_t offset, SeekTo from)
{
    const int whence = from == SeekTo::data ? SEEK_DATA : from == SeekTo::hole ? SEEK_HOLE : SEEK_SET;
    const off_t at = ::lseek(file.fd(), off_t(offset), whence);
    if (at < 0)
        return lastPosixError();
    return std::int64_t(at);
}

std::error_code PosixFileSystem::setSize(const File& file, std::int64_t size)
{
    for (;;) {
        if (::ftruncate(file.fd(), off_t(size)) == 0)
            return {};
        if (errno != EINTR)
            return lastPosixError();
    }
}

PosixResult<FileStatus> PosixFileSystem::status(const Directory& dir, const std::filesystem::path& relative)
{
    auto resolved = resolve(dir, relative);
    if (!resolved)
        return resolved.error();
    struct stat st;
    const int rc = resolved->leaf.empty() ? ::fstat(dir.fd(), &st)
                                          : ::fstatat(resolved->parentFd, resolved->leaf.c_str(), &st,
                                                      AT_SYMLINK_NOFOLLOW);
    if (rc != 0)
        return lastPosixError();
    return statusOf(st);
}

PosixResult<FileStatus> PosixFileSystem::status(const Descriptor& descriptor)
{
    struct stat st;
    if (::fstat(descriptor.fd(), &st) != 0)
        return lastPosixError();
    return statusOf(st);
}

PosixResult<FileStatus> PosixFileSystem::statusAtPath(const std::filesystem::path& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return lastPosixError();
    return statusOf(st);
}

std::error_code PosixFileSystem::checkAccess(const Directory& dir, const std::filesystem::path& relative,
                                             Access access)
{
    auto resolved = resolve(dir, relative);
    if (!resolved)
        return resolved.error();
    const char* name = resolved->leaf.empty() ? "." : resolved->leaf.c_str();
    const int how = access == Access::read ? R_OK : W_OK;
    return resultOf(::faccessat(resolved->parentFd, name, how, AT_EACCESS | AT_SYMLINK_NOFOLLOW));
}

PosixResult<std::vector<std::string>> PosixFileSystem::listDirectory(const Directory& dir)
{
    // A fresh open of the folder, so the listing has its own offset.
    const int fd = ::openat(dir.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return lastPosixError();
    DIR* stream = ::fdopendir(fd);
    if (!stream) {
        const auto error = lastPosixError();
        ::close(fd);
        return error;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream);
        if (!entry)
            break;
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    const int error = errno;
    ::closedir(stream);
    if (error != 0)
        return posixError(error);
    return names;
}

std::error_code PosixFileSystem::createDirectory(const Directory& dir, const std::filesystem::path& relative,
                                                 std::uint32_t permissions)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    return resultOf(::mkdirat(resolved->parentFd, resolved->leaf.c_str(), mode_t(permissions)));
}

std::error_code PosixFileSystem::createSymlink(const Directory& dir, const std::filesystem::path& relative,
                                               const std::string& target)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    return resultOf(::symlinkat(target.c_str(), resolved->parentFd, resolved->leaf.c_str()));
}

PosixResult<std::string> PosixFileSystem::readSymlink(const Directory& dir, const std::filesystem::path& relative)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(resolved->parentFd, resolved->leaf.c_str(), target.data(), target.size());
        if (n < 0)
            return lastPosixError();
        if (std::size_t(n) < target.size()) {
            target.resize(std::size_t(n));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

std::error_code PosixFileSystem::createFifo(const Directory& dir, const std::filesystem::path& relative,
                                            std::uint32_t permissions)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    return resultOf(::mkfifoat(resolved->parentFd, resolved->leaf.c_str(), mode_t(permissions)));
}

std::error_code PosixFileSystem::rename(const Directory& fromDir, const std::filesystem::path& from,
                                        const Directory& toDir, const std::filesystem::path& to, RenameMode mode)
{
    auto source = resolveEntry(fromDir, from);
    if (!source)
        return source.error();
    auto target = resolveEntry(toDir, to);
    if (!target)
        return target.error();
    unsigned flags = 0;
    switch (mode) {
    case RenameMode::replace: flags = 0; break;
    case RenameMode::noReplace: flags = RENAME_NOREPLACE; break;
    case RenameMode::exchange: flags = RENAME_EXCHANGE; break;
    }
    return resultOf(
        ::renameat2(source->parentFd, source->leaf.c_str(), target->parentFd, target->leaf.c_str(), flags));
}

std::error_code PosixFileSystem::removeFile(const Directory& dir, const std::filesystem::path& relative)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    return resultOf(::unlinkat(resolved->parentFd, resolved->leaf.c_str(), 0));
}

std::error_code PosixFileSystem::removeEmptyDirectory(const Directory& dir, const std::filesystem::path& relative)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    return resultOf(::unlinkat(resolved->parentFd, resolved->leaf.c_str(), AT_REMOVEDIR));
}

std::error_code PosixFileSystem::setPermissions(const Descriptor& descriptor, std::uint32_t permissions)
{
    return resultOf(::fchmod(descriptor.fd(), mode_t(permissions)));
}

std::error_code PosixFileSystem::setOwner(const Descriptor& descriptor, std::uint32_t owner, std::uint32_t group)
{
    return resultOf(::fchown(descriptor.fd(), owner, group));
}

std::error_code PosixFileSystem::setTimes(const Descriptor& descriptor, std::timespec accessTime,
                                          std::timespec modificationTime)
{
    const timespec times[2] = {accessTime, modificationTime};
    return resultOf(::futimens(descriptor.fd(), times));
}

std::error_code PosixFileSystem::setPermissionsAt(const Directory& dir, const std::filesystem::path& relative,
                                                  std::uint32_t permissions)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    return resultOf(::fchmodat(resolved->parentFd, resolved->leaf.c_str(), mode_t(permissions), AT_SYMLINK_NOFOLLOW));
}

std::error_code PosixFileSystem::setOwnerAt(const Directory& dir, const std::filesystem::path& relative,
                                            std::uint32_t owner, std::uint32_t group)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    return resultOf(::fchownat(resolved->parentFd, resolved->leaf.c_str(), owner, group, AT_SYMLINK_NOFOLLOW));
}

std::error_code PosixFileSystem::setTimesAt(const Directory& dir, const std::filesystem::path& relative,
                                            std::timespec accessTime, std::timespec modificationTime)
{
    auto resolved = resolveEntry(dir, relative);
    if (!resolved)
        return resolved.error();
    const timespec times[2] = {accessTime, modificationTime};
    return resultOf(::utimensat(resolved->parentFd, resolved->leaf.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

PosixResult<std::vector<std::string>> PosixFileSystem::listExtendedAttributes(const Descriptor& descriptor)
{
    std::string list;
    for (;;) {
        const ssize_t size = ::flistxattr(descriptor.fd(), nullptr, 0);
        if (size < 0)
            return lastPosixError();
        list.resize(std::size_t(size));
        if (size == 0)
            break;
        const ssize_t n = ::flistxattr(descriptor.fd(), list.data(), list.size());
        if (n >= 0) {
            list.resize(std::size_t(n));
            break;
        }
        // The list grew between the two calls: ask again.
        if (errno != ERANGE)
            return lastPosixError();
    }
    std::vector<std::string> names;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = list.find('\0', start);
        const std::size_t stop = end == std::string::npos ? list.size() : end;
        if (stop > start)
            names.push_back(list.substr(start, stop - start));
        start = stop + 1;
    }
    return names;
}

PosixResult<std::string> PosixFileSystem::extendedAttribute(const Descriptor& descriptor, const std::string& name)
{
    std::string value;
    for (;;) {
        const ssize_t size = ::fgetxattr(descriptor.fd(), name.c_str(), nullptr, 0);
        if (size < 0)
            return lastPosixError();
        value.resize(std::size_t(size));
        if (size == 0)
            return value;
        const ssize_t n = ::fgetxattr(descriptor.fd(), name.c_str(), value.data(), value.size());
        if (n >= 0) {
            value.resize(std::size_t(n));
            return value;
        }
        if (errno != ERANGE)
            return lastPosixError();
    }
}

std::error_code PosixFileSystem::setExtendedAttribute(const Descriptor& descriptor, const std::string& name,
                                                      std::string_view value)
{
    return resultOf(::fsetxattr(descriptor.fd(), name.c_str(), value.data(), value.size(), 0));
}

std::error_code PosixFileSystem::removeExtendedAttribute(const Descriptor& descriptor, const std::string& name)
{
    return resultOf(::fremovexattr(descriptor.fd(), name.c_str()));
}

std::error_code PosixFileSystem::syncFile(const Descriptor& descriptor)
{
    return resultOf(::fsync(descriptor.fd()));
}

std::error_code PosixFileSystem::syncFileSystem(const Descriptor& descriptor)
{
    return resultOf(::syncfs(descriptor.fd()));
}

std::error_code PosixFileSystem::lockExclusively(const Descriptor& descriptor)
{
    int rc;
    do
        rc = ::flock(descriptor.fd(), LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    return resultOf(rc);
}

StorageKind PosixFileSystem::storageKind(const Directory& dir)
{
    return storageKindOf(dir, systemMountSource());
}

FileSystem& systemFileSystem()
{
    static PosixFileSystem fileSystem;
    return fileSystem;
}

} // namespace larkfold::platform
