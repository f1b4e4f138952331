#pragma once

#include "platform/FileSystem.h"

#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace larkfold::platform {

// The groups of single calls a fault can be put on.
enum class FileOperation {
    open,            // openDirectory, openFile
    read,            // read, and the reading side of copyRange
    write,           // write, and the writing side of copyRange
    copyRange,       // copy_file_range itself (ENOSYS here makes copies use read and write)
    seek,            // seek (EINVAL here acts like a file system that cannot tell holes from data)
    setSize,         // setSize
    status,          // status, statusAtPath
    access,          // checkAccess
    list,            // listDirectory
    createDirectory, // createDirectory
    createSpecial,   // createSymlink, createFifo
    readLink,        // readSymlink
    rename,          // rename with RenameMode::replace
    renameNoReplace, // rename with RenameMode::noReplace (EINVAL here acts like vfat)
    renameExchange,  // rename with RenameMode::exchange
    remove,          // removeFile, removeEmptyDirectory
    setPermissions,  // setPermissions, setPermissionsAt
    setOwner,        // setOwner, setOwnerAt
    setTimes,        // setTimes, setTimesAt
    readAttributes,  // listExtendedAttributes, extendedAttribute
    writeAttributes, // setExtendedAttribute, removeExtendedAttribute
    sync,            // syncFile, syncFileSystem
    lock,            // lockExclusively
};

// A FileSystem that passes every call to another one, except the calls it was told to fail:
// the N-th write with ENOSPC, the N-th read with EIO, every rename with EXDEV, ... A failed call
// does nothing. The compositions (copyItem, moveItem, ...) run on this object, so their error
// paths can be driven without a broken disk. Safe to use from several threads.
class FaultInjectingFileSystem final : public FileSystem {
public:
    explicit FaultInjectingFileSystem(FileSystem& inner = systemFileSystem());

    // The n-th call of `operation` from now on (1 = the next one) fails with `errorNumber`, once.
    void failNth(FileOperation operation, int n, int errorNumber);
    // Every call of `operation` fails with `errorNumber` until clearFaults().
    void failAlways(FileOperation operation, int errorNumber);
    // The n-th read or copyRange from now on reports the end of the file, as when the file
    // shrank while being read.
    void endFileEarly(int n);
    // Every write from now on accepts no bytes (and reports no error), as a broken device might.
    void acceptNoWrites();
    // Times set from now on are kept only to whole multiples of `seconds`, as FAT keeps them (2 s).
    void keepTimesTo(int seconds);
    // Runs `action` on the calling thread just before the n-th call of `operation` from now on,
    // which then goes ahead: a drive pulled or a stop pressed in the middle of some work.
    void beforeNth(FileOperation operation, int n, std::function<void()> action);
    void clearFaults();

    // Calls of `operation` so far, failed ones included.
    int callCount(FileOperation operation) const;
    // The path of every open asked for (Directory path joined with the relative path), in order.
    std::vector<std::filesystem::path> openedPaths() const;

    PosixResult<Directory> openDirectory(const std::filesystem::path& path) override;
    PosixResult<Directory> openDirectory(const Directory& dir, const std::filesystem::path& relative) override;
    PosixResult<File> openFile(const Directory& dir, const std::filesystem::path& relative, OpenMode mode,
                               std::uint32_t permissions = 0666) override;

    PosixResult<std::size_t> read(const File& file, std::span<std::byte> buffer) override;
    PosixResult<std::size_t> write(const File& file, std::span<const std::byte> bytes) override;
    PosixResult<std::size_t> copyRange(const File& from, const File& to, std::size_t maxBytes) override;
    PosixResult<std::int64_t> seek(const File& file, std::int64_t offset, SeekTo from) override;
    std::error_code setSize(const File& file, std::int64_t size) override;

    PosixResult<FileStatus> status(const Directory& dir, const std::filesystem::path& relative) override;
    PosixResult<FileStatus> status(const Descriptor& descriptor) override;
    PosixResult<FileStatus> statusAtPath(const std::filesystem::path& path) override;
    std::error_code checkAccess(const Directory& dir, const std::filesystem::path& relative, Access access) override;

    PosixResult<std::vector<std::string>> listDirectory(const Directory& dir) override;

    std::error_code createDirectory(const Directory& dir, const std::filesystem::path& relative,
                                    std::uint32_t permissions = 0777) override;
    std::error_code createSymlink(const Directory& dir, const std::filesystem::path& relative,
                                  const std::string& target) override;
    PosixResult<std::string> readSymlink(const Directory& dir, const std::filesystem::path& relative) override;
    std::error_code createFifo(const Directory& dir, const std::filesystem::path& relative,
                               std::uint32_t permissions) override;

    std::error_code rename(const Directory& fromDir, const std::filesystem::path& from, const Directory& toDir,
                           const std::filesystem::path& to, RenameMode mode) override;
    std::error_code removeFile(const Directory& dir, const std::filesystem::path& relative) override;
    std::error_code removeEmptyDirectory(const Directory& dir, const std::filesystem::path& relative) override;

    std::error_code setPermissions(const Descriptor& descriptor, std::uint32_t permissions) override;
    std::error_code setOwner(const Descriptor& descriptor, std::uint32_t owner, std::uint32_t group) override;
    std::error_code setTimes(const Descriptor& descriptor, std::timespec accessTime,
                             std::timespec modificationTime) override;
    std::error_code setPermissionsAt(const Directory& dir, const std::filesystem::path& relative,
                                     std::uint32_t permissions) override;
    std::error_code setOwnerAt(const Directory& dir, const std::filesystem::path& relative, std::uint32_t owner,
                               std::uint32_t group) override;
    std::error_code setTimesAt(const Directory& dir, const std::filesystem::path& relative, std::timespec accessTime,
                               std::timespec modificationTime) override;

    PosixResult<std::vector<std::string>> listExtendedAttributes(const Descriptor& descriptor) override;
    PosixResult<std::string> extendedAttribute(const Descriptor& descriptor, const std::string& name) override;
    std::error_code removeExtendedAttribute(const Descriptor& descriptor, const std::string& name) override;
    std::error_code setExtendedAttribute(const Descriptor& descriptor, const std::string& name,
                                         std::string_view value) override;

    std::error_code syncFile(const Descriptor& descriptor) override;
    std::error_code syncFileSystem(const Descriptor& descriptor) override;
    std::error_code lockExclusively(const Descriptor& descriptor) override;
    // Always unknown, so a copy run through it copies one file at a time and a fault or action on
    // the N-th call falls on the same file at every run.
    StorageKind storageKind(const Directory& dir) override;

private:
    struct Fault {
        FileOperation operation;
        int remainingCalls; // 0: every call
        int errorNumber;
    };

    // Counts the call and returns the error it must fail with, if any.
    std::error_code fault(FileOperation operation);
    void recordOpen(std::filesystem::path path);
    bool endsEarly();
    std::timespec kept(std::timespec time) const;

    FileSystem& m_inner;
    mutable std::mutex m_mutex;
    struct Action {
        FileOperation operation;
        int remainingCalls;
        std::function<void()> run;
    };

    std::vector<Fault> m_faults;
    std::vector<Action> m_actions;
    int m_readsUntilEarlyEnd = 0;
    bool m_acceptNoWrites = false;
    int m_timeResolutionSeconds = 0; // 0: as the inner file system keeps them
    std::map<FileOperation, int> m_callCounts;
    std::vector<std::filesystem::path> m_openedPaths;
};

} // namespace larkfold::platform
