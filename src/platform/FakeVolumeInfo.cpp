#include "platform/FakeVolumeInfo.h"

#include "platform/MountSource.h"


namespace larkfold::platform {

void FakeVolumeInfo::setVolume(Volume volume)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_volumes, [&](const Volume& v) { return v.mountPoint == volume.mountPoint; });
    m_volumes.push_back(std::move(volume));
}

void FakeVolumeInfo::removeVolume(const std::filesystem::path& mountPoint)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_volumes, [&](const Volume& v) { return v.mountPoint == mountPoint; });
}

std::optional<FakeVolumeInfo::Volume> FakeVolumeInfo::volumeHolding(const std::filesystem::path& path) const
{
    std::lock_guard lock(m_mutex);
    const Volume* volume = findMountHolding(m_volumes, path.native(),
                                            [](const Volume& v) -> std::string_view { return v.mountPoint.native(); });
    return volume ? std::optional<Volume>(*volume) : std::nullopt;
}

std::optional<VolumeSpace> FakeVolumeInfo::space(const std::filesystem::path& path) const
{
    const auto volume = volumeHolding(path);
    return volume ? volume->space : std::nullopt;
}

std::optional<VolumeId> FakeVolumeInfo::identity(const std::filesystem::path& path) const
{
    const auto volume = volumeHolding(path);
    return volume ? std::optional<VolumeId>(volume->id) : std::nullopt;
}

bool FakeVolumeInfo::isNetwork(const std::filesystem::path& path) const
{
    const auto volume = volumeHolding(path);
    return volume && volume->isNetwork;
}

} // namespace larkfold::platform
