#pragma once

#include "platform/PowerSource.h"

#include <mutex>

namespace larkfold::platform {

// A computer whose power state tests set; at first without a battery, on mains, cool and not
// saving power. Safe from any thread.
class FakePowerSource final : public PowerSource {
public:
    std::optional<BatteryReading> internalBattery() const override;
    bool isExternalPowerOnline() const override;
    bool isPowerSaverOn() const override;
    bool isRunningHot() const override;

    // None: no internal battery.
    void setInternalBattery(std::optional<BatteryReading> battery);
    void setExternalPowerOnline(bool online);
    void setPowerSaverOn(bool on);
    void setRunningHot(bool hot);

private:
    mutable std::mutex m_mutex;
    std::optional<BatteryReading> m_battery;
    bool m_externalPower = true;
    bool m_powerSaver = false;
    bool m_hot = false;
};

} // namespace larkfold::platform
