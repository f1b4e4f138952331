#pragma once

#include "platform/VolumeInfo.h"

#include <mutex>
#include <string>
#include <vector>

namespace larkfold::platform {

// Volumes that tests declare by their mount point; a path belongs to the longest one that holds it.
class FakeVolumeInfo final : public VolumeInfo {
public:
    struct Volume {
        std::filesystem::path mountPoint;
        // None: asking for the space fails.
        std::optional<VolumeSpace> space;
        VolumeId id = 0;
        bool isNetwork = false;
    };

    // Adds the volume, or replaces the one with the same mount point.
    void setVolume(Volume volume);
    void removeVolume(const std::filesystem::path& mountPoint);

    std::optional<VolumeSpace> space(const std::filesystem::path& path) const override;
    std::optional<VolumeId> identity(const std::filesystem::path& path) const override;
    bool isNetwork(const std::filesystem::path& path) const override;

private:
    std::optional<Volume> volumeHolding(const std::filesystem::path& path) const;

    mutable std::mutex m_mutex;
    std::vector<Volume> m_volumes;
};

} // namespace larkfold::platform
