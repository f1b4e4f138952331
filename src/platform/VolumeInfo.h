#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace larkfold::platform {

class MountSource;

// The identity of a file system: the device number its files report.
using VolumeId = std::uint64_t;

struct VolumeSpace {
    std::uint64_t totalBytes = 0;
    // Room left for an ordinary user (blocks reserved for root not counted).
    std::uint64_t availableBytes = 0;

    bool operator==(const VolumeSpace&) const = default;
};

// What the program asks about the volume that holds a path.
class VolumeInfo {
public:
    virtual ~VolumeInfo() = default;
    // None when the volume cannot be asked (the path is missing or unreadable).
    virtual std::optional<VolumeSpace> space(const std::filesystem::path& path) const = 0;
    // None when the path cannot be examined.
    virtual std::optional<VolumeId> identity(const std::filesystem::path& path) const = 0;
    // Whether the file system holding the path is served over the network; false when the mount
    // table does not show it.
    virtual bool isNetwork(const std::filesystem::path& path) const = 0;
};

// statvfs and stat for space and identity, the mount table for the network flag.
class LinuxVolumeInfo final : public VolumeInfo {
public:
    explicit LinuxVolumeInfo(const MountSource& mounts);
    std::optional<VolumeSpace> space(const std::filesystem::path& path) const override;
    std::optional<VolumeId> identity(const std::filesystem::path& path) const override;
    bool isNetwork(const std::filesystem::path& path) const override;

private:
    const MountSource& m_mounts;
};

VolumeInfo& systemVolumeInfo();

} // namespace larkfold::platform
