#pragma once

#include <cstdint>
#include <filesystem>

namespace larkfold::platform {

// An owned open file descriptor, closed when the object goes. Move-only.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { close(); }
    Descriptor(Descriptor&& other) noexcept : m_fd(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int release();
    void close();

private:
    int m_fd = -1;
};

// An open file (or folder opened for its attributes) from FileSystem::openFile.
class File : public Descriptor {
public:
    using Descriptor::Descriptor;
};

// An open folder. Every FileSystem operation given a Directory names entries relative to it and
// never follows a symbolic link below it, so a link planted inside cannot redirect a write.
// Keeps the identity the folder had when opened, so a caller can tell when its path no longer
// names it (FileSystem::isStillAtPath).
class Directory : public Descriptor {
public:
    Directory() = default;
    Directory(int fd, std::filesystem::path path, std::uint64_t device, std::uint64_t inode,
              bool givesItsGroup = false)
        : Descriptor(fd), m_path(std::move(path)), m_device(device), m_inode(inode), m_givesItsGroup(givesItsGroup) {}

    // The path it was opened by (for messages and the identity check; never used to write).
    const std::filesystem::path& path() const { return m_path; }
    // st_dev and st_ino at the time it was opened.
    std::uint64_t device() const { return m_device; }
    std::uint64_t inode() const { return m_inode; }
    // Set-group-ID: items made in it take its group rather than the process's.
    bool givesItsGroup() const { return m_givesItsGroup; }

private:
    std::filesystem::path m_path;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    bool m_givesItsGroup = false;
};

} // namespace larkfold::platform
