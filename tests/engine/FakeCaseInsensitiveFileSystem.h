#pragma once

#include "platform/FileSystem.h"

#include <algorithm>
#include <cctype>

namespace larkfold::test {

// A file system that, like vfat, exFAT or many cloud folders, keeps the case a name was made with
// but finds it by any case: every name below a Directory is matched against the names already in
// its folder without regard to ASCII case. Paths opened by absolute path are taken as they are.
class FakeCaseInsensitiveFileSystem final : public platform::FileSystem {
public:
    using Path = std::filesystem::path;
    using Directory = platform::Directory;
    using Descriptor = platform::Descriptor;
    using File = platform::File;
    template <typename T>
    using Result = platform::PosixResult<T>;

    explicit FakeCaseInsensitiveFileSystem(platform::FileSystem& inner = platform::systemFileSystem())
        : m_inner(inner)
    {
    }

    Result<Directory> openDirectory(const Path& path) override { return m_inner.openDirectory(path); }
    Result<Directory> openDirectory(const Directory& dir, const Path& relative) override
    {
        return m_inner.openDirectory(dir, found(dir, relative));
    }
    Result<File> openFile(const Directory& dir, const Path& relative, platform::OpenMode mode,
                          std::uint32_t permissions = 0666) override
    {
        return m_inner.openFile(dir, found(dir, relative), mode, permissions);
    }
    Result<std::size_t> read(const File& file, std::span<std::byte> buffer) override { return m_inner.read(file, buffer); }
    Result<std::size_t> write(const File& file, std::span<const std::byte> bytes) override
    {
        return m_inner.write(file, bytes);
    }
    Result<std::size_t> copyRange(const File& from, const File& to, std::size_t maxBytes) override
    {
        return m_inner.copyRange(from, to, maxBytes);
    }
    Result<std::int64_t> seek(const File& file, std::int64_t offset, platform::SeekTo from) override
    {
        return m_inner.seek(file, offset, from);
    }
    std::error_code setSize(const File& file, std::int64_t size) override { return m_inner.setSize(file, size); }
    Result<platform::FileStatus> status(const Directory& dir, const Path& relative) override
    {
        return m_inner.status(dir, found(dir, relative));
    }
    Result<platform::FileStatus> status(const Descriptor& descriptor) override { return m_inner.status(descriptor); }
    Result<platform::FileStatus> statusAtPath(const Path& path) override { return m_inner.statusAtPath(path); }
    std::error_code checkAccess(const Directory& dir, const Path& relative, platform::Access access) override
    {
        return m_inner.checkAccess(dir, found(dir, relative), access);
    }
    Result<std::vector<std::string>> listDirectory(const Directory& dir) override { return m_inner.listDirectory(dir); }
    std::error_code createDirectory(const Directory& dir, const Path& relative, std::uint32_t permissions = 0777) override
    {
        return m_inner.createDirectory(dir, found(dir, relative), permissions);
    }
    std::error_code createSymlink(const Directory& dir, const Path& relative, const std::string& target) override
    {
        return m_inner.createSymlink(dir, found(dir, relative), target);
    }
    Result<std::string> readSymlink(const Directory& dir, const Path& relative) override
    {
        return m_inner.readSymlink(dir, found(dir, relative));
    }
    std::error_code createFifo(const Directory& dir, const Path& relative, std::uint32_t permissions) override
    {
        return m_inner.createFifo(dir, found(dir, relative), permissions);
    }
    std::error_code rename(const Directory& fromDir, const Path& from, const Directory& toDir, const Path& to,
                           platform::RenameMode mode) override
    {
        return m_inner.rename(fromDir, found(fromDir, from), toDir, found(toDir, to), mode);
    }
    std::error_code removeFile(const Directory& dir, const Path& relative) override
    {
        return m_inner.removeFile(dir, found(dir, relative));
    }
    std::error_code removeEmptyDirectory(const Directory& dir, const Path& relative) override
    {
        return m_inner.removeEmptyDirectory(dir, found(dir, relative));
    }
    std::error_code setPermissions(const Descriptor& descriptor, std::uint32_t permissions) override
    {
        return m_inner.setPermissions(descriptor, permissions);
    }
    std::error_code setOwner(const Descriptor& descriptor, std::uint32_t owner, std::uint32_t group) override
    {
        return m_inner.setOwner(descriptor, owner, group);
    }
    std::error_code setTimes(const Descriptor& descriptor, std::timespec access, std::timespec modification) override
    {
        return m_inner.setTimes(descriptor, access, modification);
    }
    std::error_code setPermissionsAt(const Directory& dir, const Path& relative, std::uint32_t permissions) override
    {
        return m_inner.setPermissionsAt(dir, found(dir, relative), permissions);
    }
    std::error_code setOwnerAt(const Directory& dir, const Path& relative, std::uint32_t owner,
                               std::uint32_t group) override
    {
        return m_inner.setOwnerAt(dir, found(dir, relative), owner, group);
    }
    std::error_code setTimesAt(const Directory& dir, const Path& relative, std::timespec access,
                               std::timespec modification) override
    {
        return m_inner.setTimesAt(dir, found(dir, relative), access, modification);
    }
    Result<std::vector<std::string>> listExtendedAttributes(const Descriptor& descriptor) override
    {
        return m_inner.listExtendedAttributes(descriptor);
    }
    Result<std::string> extendedAttribute(const Descriptor& descriptor, const std::string& name) override
    {
        return m_inner.extendedAttribute(descriptor, name);
    }
    std::error_code setExtendedAttribute(const Descriptor& descriptor, const std::string& name,
                                         std::string_view value) override
    {
        return m_inner.setExtendedAttribute(descriptor, name, value);
    }
    std::error_code removeExtendedAttribute(const Descriptor& descriptor, const std::string& name) override
    {
        return m_inner.removeExtendedAttribute(descriptor, name);
    }
    std::error_code syncFile(const Descriptor& descriptor) override { return m_inner.syncFile(descriptor); }
    std::error_code syncFileSystem(const Descriptor& descriptor) override
    {
        return m_inner.syncFileSystem(descriptor);
    }
    std::error_code lockExclusively(const Descriptor& descriptor) override
    {
        return m_inner.lockExclusively(descriptor);
    }
    platform::StorageKind storageKind(const Directory& dir) override { return m_inner.storageKind(dir); }

private:
    static bool sameIgnoringCase(const std::string& a, const std::string& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
            return std::tolower(x) == std::tolower(y);
        });
    }

    // `relative` with each component replaced by the name of the same spelling in any case
    // that already stands in its folder.
    Path found(const Directory& dir, const Path& relative)
    {
        Path result;
        bool searching = true;
        for (const auto& part : relative) {
            std::string name = part.native();
            if (name.empty() || name == ".")
                continue;
            if (searching) {
                searching = false;
                if (const auto folder = m_inner.openDirectory(dir, result)) {
                    if (const auto names = m_inner.listDirectory(*folder)) {
                        for (const auto& existing : *names) {
                            if (sameIgnoringCase(existing, name)) {
                                name = existing;
                                searching = true;
                                break;
                            }
                        }
                    }
                }
            }
            result /= name;
        }
        return result;
    }

    platform::FileSystem& m_inner;
};

} // namespace larkfold::test
