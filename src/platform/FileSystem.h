#pragma once

#include "platform/FileDescriptor.h"
#include "platform/PosixResult.h"
#include "platform/StorageKind.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace larkfold::platform {

enum class FileType { regular, directory, symlink, fifo, socket, characterDevice, blockDevice, unknown };

// What lstat/fstat tell about one item.
struct FileStatus {
    FileType type = FileType::unknown;
    std::uint32_t permissions = 0; // the mode's 07777 bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::int64_t size = 0;
    // Space the data takes on its drive (st_blocks); less than `size` when the file has holes.
    std::int64_t allocatedBytes = 0;
    std::timespec accessTime{};
    std::timespec modificationTime{};
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool isDirectory() const { return type == FileType::directory; }
    bool isRegular() const { return type == FileType::regular; }
};

enum class OpenMode {
    read,      // read only; never blocks on a FIFO
    createNew, // write only; fails with EEXIST when anything, even a link, stands at the name
    append,    // write only at the end of an existing file; never blocks on a FIFO (ENXIO without a reader)
};

enum class RenameMode {
    replace,   // rename(2): replaces a file, or an empty folder with a folder
    noReplace, // RENAME_NOREPLACE: EEXIST when the target exists; EINVAL/ENOSYS where unsupported
    exchange,  // RENAME_EXCHANGE: swaps two existing items; EINVAL/ENOSYS where unsupported
};

enum class Access { read, write };

// Where lseek measures from: the start, or the next data or hole at or after the offset.
enum class SeekTo { start, data, hole };

// Bytes [begin, end) of a file that hold data; begin == end when only a hole is left.
struct DataRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

// How a copy's permissions follow its original's. Set-user-ID and set-group-ID stay only where the
// copy has the original's owner and group (as `cp -a` keeps them), so a program whose owner could
// not be kept never runs as the one who copied it.
struct ModeRule {
    // The umask of the user a restore writes for: the group and other write bits it clears are
    // cleared on the copy too. None for a backup, whose copies keep the original's other bits.
    std::optional<std::uint32_t> userUmask;
};

// The permission bits a copy of an item with `original` bits takes under `rule`; `ownerKept`: the
// copy has the original's owner and group.
std::uint32_t copiedPermissions(std::uint32_t original, bool ownerKept, const ModeRule& rule = {});

// A folder's copy takes its original's bits as copiedPermissions gives them, except that its owner
// may always read, write and search it: the program goes on writing into it, also where the
// original is read-only.
std::uint32_t mirroredFolderPermissions(std::uint32_t original, bool ownerKept, const ModeRule& rule = {});

// The process's umask as it is now, read without changing it (umask(2) would, for every thread);
// none where /proc cannot tell.
std::optional<std::uint32_t> currentUmask();

// The Linux file layer. Everything the program does to files in source, backup and offsite
// folders goes through it, so that:
//  - entries are named relative to an open Directory, and no symbolic link below it is followed,
//    neither on the way nor at the last component (ELOOP for a link on the way);
//  - names are bytes: paths are never converted to text;
//  - errors are values carrying errno; nothing throws.
// A relative path must not be absolute or hold "..": such a path fails with EINVAL. An empty
// relative path names the Directory itself where an operation allows it (status, openDirectory).
// Every call opens the folders on the way anew; work on many entries of one deep folder opens
// that folder once as a Directory.
//
// The pure virtual calls adapt one system call each. The compositions below them (copyItem,
// moveItem, replaceItem, writeFileAtomically, ...) are built only from those calls, so a
// FaultInjectingFileSystem that fails a call exercises the compositions' error paths too.
// Implementations hold no per-call state and may be shared between threads.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // --- Single calls ---

    // Opens a folder by absolute path; a symbolic link as its last component is refused (ELOOP),
    // links earlier in the path are followed. A folder chosen through a link is opened by its
    // canonical path.
    virtual PosixResult<Directory> openDirectory(const std::filesystem::path& path) = 0;
    // Opens a folder below `dir`.
    virtual PosixResult<Directory> openDirectory(const Directory& dir, const std::filesystem::path& relative) = 0;
    // Opens a file below `dir`; `permissions` apply to a created file (less the umask).
    virtual PosixResult<File> openFile(const Directory& dir, const std::filesystem::path& relative, OpenMode mode,
                                       std::uint32_t permissions = 0666) = 0;

    // One read or write at the file's offset; EINTR is retried. A read of 0 bytes is the end.
    virtual PosixResult<std::size_t> read(const File& file, std::span<std::byte> buffer) = 0;
    virtual PosixResult<std::size_t> write(const File& file, std::span<const std::byte> bytes) = 0;
    // copy_file_range of at most `maxBytes` between the files' offsets; 0 at the end of `from`.
    // EXDEV, EINVAL, ENOSYS or EOPNOTSUPP mean the pair cannot do it: use read and write.
    virtual PosixResult<std::size_t> copyRange(const File& from, const File& to, std::size_t maxBytes) = 0;
    // lseek: moves the file's offset and returns it. ENXIO when no data (or hole) follows `offset`.
    virtual PosixResult<std::int64_t> seek(const File& file, std::int64_t offset, SeekTo from) = 0;
    // ftruncate; a file made longer gets a hole at its end.
    virtual std::error_code setSize(const File& file, std::int64_t size) = 0;

    // lstat of an entry below `dir` (the folder itself for an empty path).
    virtual PosixResult<FileStatus> status(const Directory& dir, const std::filesystem::path& relative) = 0;
    // fstat of an open descriptor.
    virtual PosixResult<FileStatus> status(const Descriptor& descriptor) = 0;
    // lstat by absolute path, for identity checks of folders outside any Directory.
    virtual PosixResult<FileStatus> statusAtPath(const std::filesystem::path& path) = 0;
    // faccessat with the effective ids (root reads everything; a read-only file system is EROFS).
    virtual std::error_code checkAccess(const Directory& dir, const std::filesystem::path& relative, Access access) = 0;

    // The names in a folder, without "." and "..", in the order the file system gives them.
    virtual PosixResult<std::vector<std::string>> listDirectory(const Directory& dir) = 0;

    virtual std::error_code createDirectory(const Directory& dir, const std::filesystem::path& relative,
                                            std::uint32_t permissions = 0777) = 0;
    virtual std::error_code createSymlink(const Directory& dir, const std::filesystem::path& relative,
                                          const std::string& target) = 0;
    virtual PosixResult<std::string> readSymlink(const Directory& dir, const std::filesystem::path& relative) = 0;
    virtual std::error_code createFifo(const Directory& dir, const std::filesystem::path& relative,
                                       std::uint32_t permissions) = 0;

    // renameat2 between two folders (which may be the same).
    virtual std::error_code rename(const Directory& fromDir, const std::filesystem::path& from, const Directory& toDir,
                                   const std::filesystem::path& to, RenameMode mode) = 0;
    // unlinkat of a non-folder (a link is removed, never followed).
    virtual std::error_code removeFile(const Directory& dir, const std::filesystem::path& relative) = 0;
    // unlinkat of an empty folder.
    virtual std::error_code removeEmptyDirectory(const Directory& dir, const std::filesystem::path& relative) = 0;

    virtual std::error_code setPermissions(const Descriptor& descriptor, std::uint32_t permissions) = 0;
    virtual std::error_code setOwner(const Descriptor& descriptor, std::uint32_t owner, std::uint32_t group) = 0;
    virtual std::error_code setTimes(const Descriptor& descriptor, std::timespec accessTime,
                                     std::timespec modificationTime) = 0;
    // Permissions, owner and times of an entry without opening it or following a link (for links
    // and FIFOs). A link's permissions cannot be set (EOPNOTSUPP).
    virtual std::error_code setPermissionsAt(const Directory& dir, const std::filesystem::path& relative,
                                             std::uint32_t permissions) = 0;
    virtual std::error_code setOwnerAt(const Directory& dir, const std::filesystem::path& relative,
                                       std::uint32_t owner, std::uint32_t group) = 0;
    virtual std::error_code setTimesAt(const Directory& dir, const std::filesystem::path& relative,
                                       std::timespec accessTime, std::timespec modificationTime) = 0;

    virtual PosixResult<std::vector<std::string>> listExtendedAttributes(const Descriptor& descriptor) = 0;
    virtual PosixResult<std::string> extendedAttribute(const Descriptor& descriptor, const std::string& name) = 0;
    // Creates the attribute or replaces its value.
    virtual std::error_code setExtendedAttribute(const Descriptor& descriptor, const std::string& name,
                                                 std::string_view value) = 0;
    virtual std::error_code removeExtendedAttribute(const Descriptor& descriptor, const std::string& name) = 0;

    // fsync of one file or folder.
    virtual std::error_code syncFile(const Descriptor& descriptor) = 0;
    // syncfs: flushes the whole file system holding `descriptor`; a run calls it once, before it
    // records anything about its copies.
    virtual std::error_code syncFileSystem(const Descriptor& descriptor) = 0;

    // flock(LOCK_EX | LOCK_NB): an advisory lock held until the descriptor's open file is closed.
    // EWOULDBLOCK while another open file holds it, in this process or another (on NFS, on
    // another computer too).
    virtual std::error_code lockExclusively(const Descriptor& descriptor) = 0;

    // What the file system holding `dir` is kept on (its mount's type, its disk's rotational flag).
    virtual StorageKind storageKind(const Directory& dir) = 0;

    // --- Compositions ---

    // Writes all of `bytes`; a write that accepts nothing is EIO rather than an endless loop.
    std::error_code writeAll(const File& file, std::span<const std::byte> bytes);
    std::error_code writeAll(const File& file, std::string_view bytes);

    // The next stretch of data in [from, end) of `file`, leaving the file's offset at its start.
    // Where the file system cannot tell holes from data, all of it counts as data.
    PosixResult<DataRange> nextData(const File& file, std::int64_t from, std::int64_t end);

    // Whether `dir.path()` still names the folder that was opened (same device and inode, not a
    // link). False once the folder was moved, removed or its volume unmounted.
    bool isStillAtPath(const Directory& dir);

    // mkdir -p below `dir`, each new folder made with `permissions` (less the umask). An existing
    // folder on the way is fine; a file or link there fails (ENOTDIR, EEXIST or ELOOP).
    std::error_code createDirectories(const Directory& dir, const std::filesystem::path& relative,
                                      std::uint32_t permissions = 0777);

    // Gives the open folder `copy` the permissions mirroredFolderPermissions derives from the
    // folder it mirrors, whose status is `original`: on the descriptor, never by path, and only
    // where they differ.
    std::error_code mirrorFolderMode(const FileStatus& original, const Directory& copy, const ModeRule& rule = {});

    // Like createDirectories for `relative` below `toRoot`, and opens the deepest folder. Each
    // folder made takes the mode of the folder at the same place below `fromRoot` (mirrorFolderMode),
    // owner-only where there is none; with `existingToo`, folders that were there already take it too.
    PosixResult<Directory> createMirroredFolders(const Directory& fromRoot, const Directory& toRoot,
                                                 const std::filesystem::path& relative, const ModeRule& rule,
                                                 bool existingToo);

    // Removes a file, link or whole folder; links are removed, never followed. ENOENT when
    // nothing is there. Stops at the first entry that cannot be removed.
    std::error_code removeItem(const Directory& dir, const std::filesystem::path& relative);

    // Copies one item like `cp -a` to a name where nothing stands yet (EEXIST otherwise):
    //  - a file: its data (copy_file_range, else read/write; holes stay holes), extended attributes (every name
    //    listxattr gives), owner, permissions, then access and modification times to the
    //    nanosecond;
    //  - a folder: recursively, symbolic links recreated as links, FIFOs recreated as FIFOs,
    //    sockets and devices left out; none of them is ever opened. A folder's attributes and
    //    times are set after its contents, so writing them does not change its time;
    //  - a symbolic link or FIFO: recreated.
    // Permissions follow copiedPermissions: set-user-ID and set-group-ID go where the owner
    // could not be kept. Refusals of owner, permissions or extended attributes (FAT, exFAT, names
    // outside "user.") are ignored; a failure to set times, and ENOSPC, EDQUOT or EIO setting an extended
    // attribute, are errors. Nothing is synced (the caller flushes with
    // syncFileSystem). After a failure, what was written so far stays at `to` for the caller to remove.
    std::error_code copyItem(const Directory& fromDir, const std::filesystem::path& from, const Directory& toDir,
                             const std::filesystem::path& to);

    // The regular-file step of copyItem, from a file already open and its status: creates `to`
    // (EEXIST when anything stands there), copies `sourceStatus.size` bytes and the attributes,
    // its permissions as `rule` gives them. The file is made with those permissions where the
    // umask lets them through and the process already owns it as the source is owned, so owner
    // and permissions are set only where they are not already right. Returns the bytes copied:
    // never more than `sourceStatus.size`, so a file that grows meanwhile (or reports size 0, as
    // in /proc) is copied only as far as that size, and one that shrank comes out short (the
    // caller compares the source's status afterwards). Holes in the source stay holes in the copy.
    PosixResult<std::int64_t> copyOpenFile(const File& source, const FileStatus& sourceStatus, const Directory& toDir,
                                           const std::filesystem::path& to, const ModeRule& rule = {});

    // Carries extended attributes, owner, permissions and times from one open item to another, as
    // copyItem does. Returns only a failure to set the times or one of the extended-attribute
    // errors copyItem does not ignore.
    std::error_code copyAttributes(const Descriptor& from, const Descriptor& to);

    // Moves an item (file or folder) to a name where nothing stands yet, never replacing:
    //  - renameat2 with RENAME_NOREPLACE; EEXIST when the target exists;
    //  - where the file system refuses the flag (EINVAL, ENOSYS: vfat, exFAT, NFS, CIFS), checks
    //    that nothing stands at the target and renames;
    //  - across file systems (EXDEV), copies under a ".larktmp-" name beside the target, compares
    //    the copy's kinds and sizes with the original, renames the copy into place, flushes the
    //    target's file system and only then removes the original. When the original cannot be
    //    removed, the copy stays and the removal's error is returned: nothing is lost.
    std::error_code moveItem(const Directory& fromDir, const std::filesystem::path& from, const Directory& toDir,
                             const std::filesystem::path& to);

    // Puts `replacement` at `target` in one step, whatever stands at `target` (file, folder, link,
    // or nothing). Files: rename(2). Where a folder is involved: RENAME_EXCHANGE, then removal of the
    // old item; where the flag is refused, the old item is renamed aside under a ".larktmp-" name,
    // the new one renamed in (the old one put back if that fails), then the old one removed.
    // Leftovers of a failed removal of the old item carry a ".larktmp-" name (or the replacement's)
    // and do not make the call fail. Both must be on one file system (EXDEV otherwise).
    std::error_code replaceItem(const Directory& targetDir, const std::filesystem::path& target,
                                const Directory& replacementDir, const std::filesystem::path& replacement);

    // Writes a whole file atomically: data into a new ".larktmp-" file beside it, synced, renamed
    // over the target, then the folder synced. A reader sees the old or the new content; a link
    // standing at the name is replaced, never written through. On failure the temporary is
    // removed and the old file stays.
    std::error_code writeFileAtomically(const Directory& dir, const std::filesystem::path& relative,
                                        std::string_view bytes);
    // The same with the content made piece by piece: `produce` hands each piece to `write` in
    // order, so a large file is never held whole. After a failed write the later pieces are
    // dropped and the failure is returned.
    using PieceWriter = std::function<void(std::string_view piece)>;
    std::error_code writeFileAtomicallyInPieces(const Directory& dir, const std::filesystem::path& relative,
                                                const std::function<void(const PieceWriter& write)>& produce);

    // Opens one of the program's own files without following a link (ELOOP) or waiting on a FIFO,
    // and only when it is a regular file: a folder gives EISDIR and any other kind (FIFO, socket,
    // device) ENXIO, without the item being opened where it was already that kind when looked at.
    PosixResult<File> openRegularFile(const Directory& dir, const std::filesystem::path& relative, OpenMode mode);
    // The same; `openedStatus`, when given, receives the status of what was opened.
    PosixResult<File> openRegularFile(const Directory& dir, const std::filesystem::path& relative, OpenMode mode,
                                      FileStatus* openedStatus);
    // Whether an error of openRegularFile says something other than a regular file stands at the name.
    static bool isNotRegularFile(const std::error_code& error);
    // Whether something other than a regular file (a link, folder, FIFO, ...) stands at the name.
    bool holdsOtherThanRegularFile(const Directory& dir, const std::filesystem::path& relative);

    // Reads a whole regular file, opened as openRegularFile does. One larger than `maxBytes` is
    // EFBIG and is not read, so a damaged or planted file cannot take all memory.
    PosixResult<std::string> readWholeFile(const Directory& dir, const std::filesystem::path& relative,
                                           std::int64_t maxBytes);

private:
    PosixResult<std::int64_t> copyFileData(const File& from, const File& to, const FileStatus& sourceStatus);
    // Copies `length` bytes from the files' offsets on; returns fewer when the source ends first.
    PosixResult<std::int64_t> copyStretch(const File& from, const File& to, std::int64_t length, bool& useRange,
                                          std::vector<std::byte>& buffer);
    std::error_code copyRegularFile(const Directory& fromDir, const std::filesystem::path& from,
                                    const Directory& toDir, const std::filesystem::path& to);
    std::error_code copyFolder(const Directory& fromDir, const std::filesystem::path& from, const Directory& toDir,
                               const std::filesystem::path& to);
    // `ownerRight` and `permissionsRight`: the target already has them, so they are not set again.
    std::error_code copyAttributes(const Descriptor& from, const FileStatus& status, const Descriptor& to,
                                   bool ownerRight = false, bool permissionsRight = false,
                                   const ModeRule& rule = {});
    std::error_code renameWithoutReplacing(const Directory& fromDir, const std::filesystem::path& from,
                                           const Directory& toDir, const std::filesystem::path& to);
    std::error_code moveAcrossFileSystems(const Directory& fromDir, const std::filesystem::path& from,
                                          const Directory& toDir, const std::filesystem::path& to);
    bool copiesAgree(const Directory& fromDir, const std::filesystem::path& from, const Directory& toDir,
                     const std::filesystem::path& to);
};

// The process-wide Linux implementation.
FileSystem& systemFileSystem();

// A temporary name for an item that will take the name `finalName`, in the same folder:
// ".larktmp-" + 8 random upper-case hex digits + "-" + `finalName`, shortened at its end where
// needed so it stays within the 255-byte limit of a name.
std::string temporaryNameFor(std::string_view finalName);

inline constexpr std::string_view kTemporaryPrefix = ".larktmp-";

} // namespace larkfold::platform
