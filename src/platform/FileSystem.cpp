#include "platform/FileSystem.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <unistd.h>
#include <sys/random.h>

namespace larkfold::platform {

namespace {

constexpr std::size_t kNameMaxBytes = 255;
constexpr std::size_t kRandomHexDigits = 8;
// copy_file_range is asked for large ranges: the kernel copies in its own steps.
constexpr std::size_t kCopyRangeBytes = std::size_t(1) << 30;
constexpr std::size_t kFallbackBufferBytes = std::size_t(1) << 20;
constexpr std::size_t kReadBufferBytes = 64 * 1024;
constexpr std::uint32_t kOwnerWriteAndSearch = 0300;
constexpr std::uint32_t kOwnerAll = 0700;
constexpr std::uint32_t kSetIdBits = 06000;
constexpr std::uint32_t kGroupAndOtherWrite = 0022;
constexpr std::uint32_t kPermissionBits = 07777;

bool hasErrno(const std::error_code& error, int errorNumber)
{
    return error.category() == std::system_category() && error.value() == errorNumber;
}

// The path without a trailing "/" or "." so that filename() is its last component.
std::filesystem::path withoutTrailingSeparator(std::filesystem::path path)
{
    while (!path.empty() && (!path.has_filename() || path.filename() == "."))
        path = path.parent_path();
    return path;
}

// A ".larktmp-" name in the same folder as `relative`.
std::filesystem::path siblingTemporary(const std::filesystem::path& relative)
{
    const auto path = withoutTrailingSeparator(relative);
    return path.parent_path() / temporaryNameFor(path.filename().native());
}

// Temporary names need to differ from each other and be hard to guess ahead, not to be secret:
// one random seed per process, then a counter through a mixing function, rather than a system
// call per name. A name that is taken anyway fails the exclusive create and is drawn again.
std::uint32_t randomWord()
{
    static const std::uint64_t seed = [] {
        std::uint64_t value = 0;
        if (::getrandom(&value, sizeof value, 0) != sizeof value)
            value = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        return value;
    }();
    static std::atomic<std::uint64_t> counter{0};
    // splitmix64
    std::uint64_t z = seed + (counter.fetch_add(1, std::memory_order_relaxed) + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return std::uint32_t((z ^ (z >> 31)) >> 32);
}

// The process's umask, read once: the program never changes it. 0777 (nothing let through) when
// it cannot be read.
std::uint32_t processUmask()
{
    static const std::uint32_t mask = currentUmask().value_or(0777);
    return mask;
}

// What openRegularFile answers for an item of `type`; none for a regular file.
std::error_code notRegularFileError(FileType type)
{
    switch (type) {
    case FileType::regular: return {};
    case FileType::symlink: return posixError(ELOOP);
    case FileType::directory: return posixError(EISDIR);
    default: return posixError(ENXIO);
    }
}

bool isLeftOutOfFolderCopies(FileType type)
{
    return type == FileType::socket || type == FileType::characterDevice || type == FileType::blockDevice
        || type == FileType::unknown;
}

} // namespace

std::uint32_t copiedPermissions(std::uint32_t original, bool ownerKept, const ModeRule& rule)
{
    std::uint32_t permissions = original & kPermissionBits;
    if (!ownerKept)
        permissions &= ~kSetIdBits;
    if (rule.userUmask)
        permissions &= ~(*rule.userUmask & kGroupAndOtherWrite);
    return permissions;
}

std::uint32_t mirroredFolderPermissions(std::uint32_t original, bool ownerKept, const ModeRule& rule)
{
    return copiedPermissions(original, ownerKept, rule) | kOwnerAll;
}

std::optional<std::uint32_t> currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:"))
            return std::uint32_t(std::stoul(line.substr(6), nullptr, 8));
    }
    return std::nullopt;
}

std::string temporaryNameFor(std::string_view finalName)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name(kTemporaryPrefix);
    std::uint32_t word = randomWord();
    for (std::size_t i = 0; i < kRandomHexDigits; ++i, word >>= 4)
        name += kHex[word & 0xF];
    name += '-';
    const std::size_t room = kNameMaxBytes - name.size();
    name.append(finalName.substr(0, room));
    return name;
}

std::error_code FileSystem::writeAll(const File& file, std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        auto written = write(file, bytes);
        if (!written)
            return written.error();
        if (*written == 0)
            return posixError(EIO);
        bytes = bytes.subspan(*written);
    }
    return {};
}

std::error_code FileSystem::writeAll(const File& file, std::string_view bytes)
{
    return writeAll(file, std::as_bytes(std::span(bytes.data(), bytes.size())));
}

bool FileSystem::isStillAtPath(const Directory& dir)
{
    const auto now = statusAtPath(dir.path());
    return now && now->isDirectory() && now->device == dir.device() && now->inode == dir.inode();
}

std::error_code FileSystem::createDirectories(const Directory& dir, const std::filesystem::path& relative,
                                              std::uint32_t permissions)
{
    if (const auto existing = status(dir, relative); existing && existing->isDirectory())
        return {};
    std::filesystem::path prefix;
    for (const auto& part : relative) {
        if (part.empty() || part == ".")
            continue;
        prefix /= part;
        const auto created = createDirectory(dir, prefix, permissions);
        if (!created)
            continue;
        if (!hasErrno(created, EEXIST))
            return created;
        const auto there = status(dir, prefix);
        if (!there)
            return there.error();
        if (there->type == FileType::symlink)
            return posixError(ELOOP);
        if (!there->isDirectory())
            return posixError(ENOTDIR);
    }
    return {};
}

std::error_code FileSystem::mirrorFolderMode(const FileStatus& original, const Directory& copy, const ModeRule& rule)
{
    const auto now = status(copy);
    if (!now)
        return now.error();
    const bool ownerKept = now->owner == original.owner && now->group == original.group;
    const std::uint32_t wanted = mirroredFolderPermissions(original.permissions, ownerKept, rule);
    if (now->permissions == wanted)
        return {};
    return setPermissions(copy, wanted);
}

PosixResult<Directory> FileSystem::createMirroredFolders(const Directory& fromRoot, const Directory& toRoot,
                                                         const std::filesystem::path& relative, const ModeRule& rule,
                                                         bool existingToo)
{
    const Directory* from = &fromRoot;
    const Directory* to = &toRoot;
    Directory fromOwned;
    Directory toOwned;
    for (const auto& part : relative) {
        if (part.empty() || part == ".")
            continue;
        // Owner-only until it has its mode, and for good where the original has no folder there.
        const auto made = createDirectory(*to, part, kOwnerAll);
        if (made && !hasErrno(made, EEXIST))
            return made;
        auto next = openDirectory(*to, part);
        if (!next)
            return next.error();
        auto original = from ? openDirectory(*from, part) : PosixResult<Directory>(posixError(ENOENT));
        if (original && (!made || existingToo)) {
            // A refusal (FAT, exFAT) leaves the folder as the file system has it, like any attribute.
            if (const auto originalStatus = status(*original))
                mirrorFolderMode(*originalStatus, *next, rule);
        }
        fromOwned = original ? std::move(*original) : Directory();
        from = fromOwned.isOpen() ? &fromOwned : nullptr;
        toOwned = std::move(*next);
        to = &toOwned;
    }
    if (to == &toRoot)
        return openDirectory(toRoot, {});
    return toOwned;
}

std::error_code FileSystem::removeItem(const Directory& dir, const std::filesystem::path& relative)
{
    const auto item = status(dir, relative);
    if (!item)
        return item.error();
    if (!item->isDirectory())
        return removeFile(dir, relative);
    auto folder = openDirectory(dir, relative);
    if (!folder)
        return folder.error();
    // A read-only folder (as copied from a read-only source) could not be emptied otherwise.
    if ((item->permissions & kOwnerWriteAndSearch) != kOwnerWriteAndSearch)
        setPermissions(*folder, item->permissions | 0700);
    const auto names = listDirectory(*folder);
    if (!names)
        return names.error();
    for (const auto& name : *names) {
        if (const auto error = removeItem(*folder, name))
            return error;
    }
    return removeEmptyDirectory(dir, relative);
}

std::error_code FileSystem::copyItem(const Directory& fromDir, const std::filesystem::path& from,
                                     const Directory& toDir, const std::filesystem::path& to)
{
    const auto item = status(fromDir, from);
    if (!item)
        return item.error();
    switch (item->type) {
    case FileType::regular:
        return copyRegularFile(fromDir, from, toDir, to);
    case FileType::directory:
        return copyFolder(fromDir, from, toDir, to);
    case FileType::symlink: {
        const auto target = readSymlink(fromDir, from);
        if (!target)
            return target.error();
        if (const auto error = createSymlink(toDir, to, *target))
            return error;
        // A link's owner and times matter to nobody reading the backup; refusals are ignored.
        setOwnerAt(toDir, to, item->owner, item->group);
        setTimesAt(toDir, to, item->accessTime, item->modificationTime);
        return {};
    }
    case FileType::fifo: {
        if (const auto error = createFifo(toDir, to, 0600))
            return error;
        const bool ownerKept = !setOwnerAt(toDir, to, item->owner, item->group);
        setPermissionsAt(toDir, to, copiedPermissions(item->permissions, ownerKept));
        setTimesAt(toDir, to, item->accessTime, item->modificationTime);
        return {};
    }
    default:
        // Sockets and devices are never opened or recreated.
        return posixError(ENOTSUP);
    }
}

std::error_code FileSystem::copyRegularFile(const Directory& fromDir, const std::filesystem::path& from,
                                            const Directory& toDir, const std::filesystem::path& to)
{
    auto source = openFile(fromDir, from, OpenMode::read);
    if (!source)
        return source.error();
    const auto sourceStatus = status(*source);
    if (!sourceStatus)
        return sourceStatus.error();
    // Something else took the file's place since it was looked at: worth one more try.
    if (!sourceStatus->isRegular())
        return posixError(EAGAIN);
    const auto copied = copyOpenFile(*source, *sourceStatus, toDir, to);
    return copied ? std::error_code() : copied.error();
}

PosixResult<std::int64_t> FileSystem::copyOpenFile(const File& source, const FileStatus& sourceStatus,
                                                   const Directory& toDir, const std::filesystem::path& to,
                                                   const ModeRule& rule)
{
    // A file this process makes is its own, in its own group unless the folder hands down its group.
    // Read once: the program never changes its ids.
    static const std::uint32_t processOwner = ::geteuid();
    static const std::uint32_t processGroup = ::getegid();
    const bool ownerRight = sourceStatus.owner == processOwner && sourceStatus.group == processGroup
                         && !toDir.givesItsGroup();
    const std::uint32_t permissions = copiedPermissions(sourceStatus.permissions, ownerRight, rule);
    // Only then may the data be written under its final permissions: anyone those let read it
    // may read the finished copy too. Otherwise owner-only until the attributes come last.
    const bool permissionsRight = ownerRight && (permissions & ~std::uint32_t(0777)) == 0
                               && (permissions & rule.userUmask.value_or(processUmask())) == 0;
    auto target = openFile(toDir, to, OpenMode::createNew, permissionsRight ? permissions : 0600);
    if (!target)
        return target.error();
    const auto copied = copyFileData(source, *target, sourceStatus);
    if (!copied)
        return copied.error();
    if (const auto error = copyAttributes(source, sourceStatus, *target, ownerRight, permissionsRight, rule))
        return error;
    return *copied;
}

std::error_code FileSystem::copyFolder(const Directory& fromDir, const std::filesystem::path& from,
                                       const Directory& toDir, const std::filesystem::path& to)
{
    auto source = openDirectory(fromDir, from);
    if (!source)
        return source.error();
    const auto sourceStatus = status(*source);
    if (!sourceStatus)
        return sourceStatus.error();
    // Owner-only until the contents are in, so a read-only source folder can still be filled.
    if (const auto error = createDirectory(toDir, to, 0700))
        return error;
    auto target = openDirectory(toDir, to);
    if (!target)
        return target.error();
    const auto names = listDirectory(*source);
    if (!names)
        return names.error();
    for (const auto& name : *names) {
        const auto entry = status(*source, name);
        if (!entry)
            return entry.error();
        if (isLeftOutOfFolderCopies(entry->type))
            continue;
        if (const auto error = copyItem(*source, name, *target, name))
            return error;
    }
    // Last, because creating the contents changed the folder's modification time.
    return copyAttributes(*source, *sourceStatus, *target);
}

PosixResult<std::int64_t> FileSystem::copyFileData(const File& from, const File& to, const FileStatus& sourceStatus)
{
    // Exactly the size looked at: a file that grows while it is read (a log, /proc) would otherwise
    // be copied without bound.
    const std::int64_t size = sourceStatus.size;
    // Fewer blocks than bytes: the file has holes, which stay holes in the copy. Asked only then,
    // as cp does, so an ordinary file costs no extra calls.
    const bool sparse = sourceStatus.allocatedBytes < size;
    bool useRange = true;
    std::vector<std::byte> buffer;
    std::int64_t copied = 0;
    while (copied < size) {
        std::int64_t length = size - copied;
        if (sparse) {
            const auto data = nextData(from, copied, size);
            if (!data)
                return data.error();
            if (data->begin > copied) {
                if (const auto moved = seek(to, data->begin, SeekTo::start); !moved)
                    return moved.error();
                copied = data->begin;
            }
            length = data->end - copied;
            if (length <= 0)
                break;
        }
        const auto n = copyStretch(from, to, length, useRange, buffer);
        if (!n)
            return n.error();
        copied += *n;
        if (*n < length)
            return copied; // the source ended early
    }
    // A hole at the end is made by the size alone.
    if (sparse) {
        if (const auto error = setSize(to, copied))
            return error;
    }
    return copied;
}

PosixResult<std::int64_t> FileSystem::copyStretch(const File& from, const File& to, std::int64_t length,
                                                  bool& useRange, std::vector<std::byte>& buffer)
{
    std::int64_t copied = 0;
    while (copied < length) {
        const std::int64_t left = length - copied;
        if (useRange) {
            const auto n = copyRange(from, to, std::size_t(std::min<std::int64_t>(left, std::int64_t(kCopyRangeBytes))));
            if (!n) {
                const auto error = n.error();
                if (!hasErrno(error, EXDEV) && !hasErrno(error, EINVAL) && !hasErrno(error, ENOSYS)
                    && !hasErrno(error, EOPNOTSUPP))
                    return error;
                // read/write continue from the offsets copy_file_range left.
                useRange = false;
                continue;
            }
            if (*n == 0) {
                // Some file systems (procfs-like, some FUSE) report an empty range instead of refusing.
                if (copied == 0) {
                    useRange = false;
                    continue;
                }
                return copied;
            }
            copied += std::int64_t(*n);
            continue;
        }
        if (buffer.empty())
            buffer.resize(kFallbackBufferBytes);
        const auto n = read(from, std::span(buffer.data(), std::size_t(std::min<std::int64_t>(left, std::int64_t(buffer.size())))));
        if (!n)
            return n.error();
        if (*n == 0)
            return copied;
        if (const auto error = writeAll(to, std::span<const std::byte>(buffer.data(), *n)))
            return error;
        copied += std::int64_t(*n);
    }
    return copied;
}

PosixResult<DataRange> FileSystem::nextData(const File& file, std::int64_t from, std::int64_t end)
{
    const auto begin = seek(file, from, SeekTo::data);
    if (!begin) {
        // Nothing but a hole up to the end of the file.
        if (hasErrno(begin.error(), ENXIO))
            return DataRange{end, end};
        // The file system cannot tell: all of it is data.
        if (hasErrno(begin.error(), EINVAL) || hasErrno(begin.error(), EOPNOTSUPP)) {
            if (const auto at = seek(file, from, SeekTo::start); !at)
                return at.error();
            return DataRange{from, end};
        }
        return begin.error();
    }
    if (*begin >= end)
        return DataRange{end, end};
    const auto hole = seek(file, *begin, SeekTo::hole);
    if (!hole)
        return hole.error();
    if (const auto at = seek(file, *begin, SeekTo::start); !at)
        return at.error();
    return DataRange{*begin, std::min(*hole, end)};
}

std::error_code FileSystem::copyAttributes(const Descriptor& from, const Descriptor& to)
{
    const auto fromStatus = status(from);
    if (!fromStatus)
        return fromStatus.error();
    return copyAttributes(from, *fromStatus, to);
}

std::error_code FileSystem::copyAttributes(const Descriptor& from, const FileStatus& fromStatus,
                                           const Descriptor& to, bool ownerRight, bool permissionsRight,
                                           const ModeRule& rule)
{
    // Refusals here are normal on FAT-like file systems and for names outside "user."; a full
    // drive or an I/O error is not a refusal and would silently lose the attribute.
    if (const auto names = listExtendedAttributes(from)) {
        for (const auto& name : *names) {
            const auto value = extendedAttribute(from, name);
            if (!value)
                continue;
            const auto error = setExtendedAttribute(to, name, *value);
            if (hasErrno(error, ENOSPC) || hasErrno(error, EDQUOT) || hasErrno(error, EIO))
                return error;
        }
    }
    // Owner before permissions: chown clears the set-user-ID and set-group-ID bits.
    const bool ownerKept = ownerRight || !setOwner(to, fromStatus.owner, fromStatus.group);
    if (!permissionsRight)
        setPermissions(to, copiedPermissions(fromStatus.permissions, ownerKept, rule));
    // Without the source's modification time every later run would copy the item again.
    return setTimes(to, fromStatus.accessTime, fromStatus.modificationTime);
}

std::error_code FileSystem::renameWithoutReplacing(const Directory& fromDir, const std::filesystem::path& from,
                                                   const Directory& toDir, const std::filesystem::path& to)
{
    const auto error = rename(fromDir, from, toDir, to, RenameMode::noReplace);
    if (!hasErrno(error, EINVAL) && !hasErrno(error, ENOSYS))
        return error;
    // The file system does not know the flag: check, then rename. Not atomic, but nothing
    // else writes into a backup folder while a run does.
    const auto existing = status(toDir, to);
    if (existing)
        return posixError(EEXIST);
    if (!hasErrno(existing.error(), ENOENT))
        return existing.error();
    return rename(fromDir, from, toDir, to, RenameMode::replace);
}

std::error_code FileSystem::moveItem(const Directory& fromDir, const std::filesystem::path& from,
                                     const Directory& toDir, const std::filesystem::path& to)
{
    const auto error = renameWithoutReplacing(fromDir, from, toDir, to);
    if (hasErrno(error, EXDEV))
        return moveAcrossFileSystems(fromDir, from, toDir, to);
    return error;
}

std::error_code FileSystem::moveAcrossFileSystems(const Directory& fromDir, const std::filesystem::path& from,
                                                  const Directory& toDir, const std::filesystem::path& to)
{
    if (const auto existing = status(toDir, to))
        return posixError(EEXIST);
    else if (!hasErrno(existing.error(), ENOENT))
        return existing.error();
    const auto temporary = siblingTemporary(to);
    auto error = copyItem(fromDir, from, toDir, temporary);
    if (!error && !copiesAgree(fromDir, from, toDir, temporary))
        error = posixError(EIO);
    if (!error)
        error = renameWithoutReplacing(toDir, temporary, toDir, to);
    if (error) {
        removeItem(toDir, temporary);
        return error;
    }
    // The copy and its final name must be on the disk before the original goes: a copy still
    // under its temporary name would be cleared away as a leftover.
    if ((error = syncFileSystem(toDir))) {
        removeItem(toDir, to);
        return error;
    }
    return removeItem(fromDir, from);
}

bool FileSystem::copiesAgree(const Directory& fromDir, const std::filesystem::path& from, const Directory& toDir,
                             const std::filesystem::path& to)
{
    const auto original = status(fromDir, from);
    const auto copy = status(toDir, to);
    if (!original || !copy || original->type != copy->type)
        return false;
    if (original->type == FileType::regular || original->type == FileType::symlink)
        return original->size == copy->size;
    if (original->type != FileType::directory)
        return true;
    const auto originalFolder = openDirectory(fromDir, from);
    const auto copyFolder = openDirectory(toDir, to);
    if (!originalFolder || !copyFolder)
        return false;
    const auto names = listDirectory(*originalFolder);
    if (!names)
        return false;
    for (const auto& name : *names) {
        const auto entry = status(*originalFolder, name);
        if (!entry)
            return false;
        if (isLeftOutOfFolderCopies(entry->type))
            continue;
        if (!copiesAgree(*originalFolder, name, *copyFolder, name))
            return false;
    }
    return true;
}

std::error_code FileSystem::replaceItem(const Directory& targetDir, const std::filesystem::path& target,
                                        const Directory& replacementDir, const std::filesystem::path& replacement)
{
    const auto newItem = status(replacementDir, replacement);
    if (!newItem)
        return newItem.error();
    const auto oldItem = status(targetDir, target);
    if (!oldItem && !hasErrno(oldItem.error(), ENOENT))
        return oldItem.error();
    const bool folderInvolved = newItem->isDirectory() || (oldItem && oldItem->isDirectory());
    if (!oldItem || !folderInvolved)
        return rename(replacementDir, replacement, targetDir, target, RenameMode::replace);

    auto error = rename(replacementDir, replacement, targetDir, target, RenameMode::exchange);
    if (!error) {
        // The old item now has the replacement's name; a leftover is a temporary for the next clean-up.
        removeItem(replacementDir, replacement);
        return {};
    }
    if (!hasErrno(error, EINVAL) && !hasErrno(error, ENOSYS))
        return error;

    // No exchange here (vfat, exFAT, network file systems): step the old item aside first.
    const auto aside = siblingTemporary(target);
    if ((error = renameWithoutReplacing(targetDir, target, targetDir, aside)))
        return error;
    if ((error = renameWithoutReplacing(replacementDir, replacement, targetDir, target))) {
        renameWithoutReplacing(targetDir, aside, targetDir, target);
        return error;
    }
    removeItem(targetDir, aside);
    return {};
}

std::error_code FileSystem::writeFileAtomically(const Directory& dir, const std::filesystem::path& relative,
                                                std::string_view bytes)
{
    return writeFileAtomicallyInPieces(dir, relative, [&](const PieceWriter& write) { write(bytes); });
}

std::error_code FileSystem::writeFileAtomicallyInPieces(const Directory& dir, const std::filesystem::path& relative,
                                                        const std::function<void(const PieceWriter& write)>& produce)
{
    const auto path = withoutTrailingSeparator(relative);
    if (path.empty())
        return posixError(EINVAL);
    const auto temporary = siblingTemporary(path);
    auto file = openFile(dir, temporary, OpenMode::createNew);
    if (!file)
        return file.error();
    std::error_code error;
    try {
        produce([&](std::string_view piece) {
            if (!error)
                error = writeAll(*file, piece);
        });
    } catch (...) {
        file->close();
        removeFile(dir, temporary);
        throw;
    }
    if (!error)
        error = syncFile(*file);
    file->close();
    if (!error)
        error = rename(dir, temporary, dir, path, RenameMode::replace);
    if (error) {
        removeFile(dir, temporary);
        return error;
    }
    // The rename itself survives a power cut only once the folder is synced.
    if (path.has_parent_path()) {
        if (const auto folder = openDirectory(dir, path.parent_path()))
            syncFile(*folder);
    } else {
        syncFile(dir);
    }
    return {};
}

PosixResult<File> FileSystem::openRegularFile(const Directory& dir, const std::filesystem::path& relative,
                                              OpenMode mode)
{
    return openRegularFile(dir, relative, mode, nullptr);
}

PosixResult<File> FileSystem::openRegularFile(const Directory& dir, const std::filesystem::path& relative,
                                              OpenMode mode, FileStatus* openedStatus)
{
    // Looked at first, so a device is never opened (opening some has effects of its own).
    if (const auto there = status(dir, relative)) {
        if (const std::error_code error = notRegularFileError(there->type))
            return error;
    } else if (mode != OpenMode::createNew) {
        return there.error();
    }
    auto file = openFile(dir, relative, mode);
    if (!file)
        return file.error();
    // It may have been swapped since it was looked at: what counts is what was opened.
    const auto opened = status(*file);
    if (!opened)
        return opened.error();
    if (const std::error_code error = notRegularFileError(opened->type))
        return error;
    if (openedStatus)
        *openedStatus = *opened;
    return file;
}

bool FileSystem::isNotRegularFile(const std::error_code& error)
{
    return hasErrno(error, ELOOP) || hasErrno(error, EISDIR) || hasErrno(error, ENXIO);
}

bool FileSystem::holdsOtherThanRegularFile(const Directory& dir, const std::filesystem::path& relative)
{
    const auto there = status(dir, relative);
    return there && !there->isRegular();
}

PosixResult<std::string> FileSystem::readWholeFile(const Directory& dir, const std::filesystem::path& relative,
                                                   std::int64_t maxBytes)
{
    FileStatus opened;
    auto file = openRegularFile(dir, relative, OpenMode::read, &opened);
    if (!file)
        return file.error();
    if (opened.size > maxBytes)
        return posixError(EFBIG);
    std::string bytes;
    bytes.reserve(std::size_t(opened.size));
    std::array<std::byte, kReadBufferBytes> buffer;
    for (;;) {
        const auto n = read(*file, buffer);
        if (!n)
            return n.error();
        if (*n == 0)
            return bytes;
        // It grew while being read.
        if (std::int64_t(bytes.size() + *n) > maxBytes)
            return posixError(EFBIG);
        bytes.append(reinterpret_cast<const char*>(buffer.data()), *n);
    }
}

} // namespace larkfold::platform
