#pragma once

#include "platform/PowerSource.h"

#include <QDBusConnection>
#include <QString>

#include <filesystem>

namespace larkfold::platform {

// The power-supply and thermal classes of sysfs, and power-profiles-daemon on `bus`.
class LinuxPowerSource final : public PowerSource {
public:
    LinuxPowerSource(std::filesystem::path sysRoot, QDBusConnection bus);

    std::optional<BatteryReading> internalBattery() const override;
    bool isExternalPowerOnline() const override;
    bool isPowerSaverOn() const override;
    bool isRunningHot() const override;

private:
    struct Profiles {
        QString activeProfile;
        QString performanceDegraded;
    };
    std::optional<Profiles> readProfiles() const;
    bool isThermalZoneHot() const;

    std::filesystem::path m_sysRoot;
    QDBusConnection m_bus;
};

} // namespace larkfold::platform
