#pragma once

#include "platform/FileSystem.h"

namespace larkfold::platform {

// The FileSystem on Linux system calls. Paths below a Directory are resolved one folder at a time
// with openat(O_PATH | O_DIRECTORY | O_NOFOLLOW), and the last component is used with the *at
// call's own no-follow form, so no symbolic link below the Directory is ever followed.
class PosixFileSystem final : public FileSystem {
public:
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
    StorageKind storageKind(const Directory& dir) override;
};

} // namespace larkfold::platform
