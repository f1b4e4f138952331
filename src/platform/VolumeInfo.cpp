#include "platform/VolumeInfo.h"

#include "platform/MountSource.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <system_error>

namespace larkfold::platform {

LinuxVolumeInfo::LinuxVolumeInfo(const MountSource& mounts) : m_mounts(mounts) {}

std::optional<VolumeSpace> LinuxVolumeInfo::space(const std::filesystem::path& path) const
{
    struct statvfs info{};
    if (::statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    return VolumeSpace{static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize,
                       static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize};
}

std::optional<VolumeId> LinuxVolumeInfo::identity(const std::filesystem::path& path) const
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<VolumeId>(st.st_dev);
}

bool LinuxVolumeInfo::isNetwork(const std::filesystem::path& path) const
{
    // Symbolic links resolved, so a link into a network share counts as the share.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (error)
        return false;
    const auto mounts = m_mounts.mounts();
    const MountEntry* mount = findMountHolding(mounts, resolved.native(),
                                               [](const MountEntry& entry) -> std::string_view { return entry.mountPoint; });
    return mount && isNetworkFileSystemType(mount->fileSystemType);
}

VolumeInfo& systemVolumeInfo()
{
    static LinuxVolumeInfo info(systemMountSource());
    return info;
}

} // namespace larkfold::platform
