#include "platform/FakePowerSource.h"

namespace larkfold::platform {

std::optional<BatteryReading> FakePowerSource::internalBattery() const
{
    std::lock_guard lock(m_mutex);
    return m_battery;
}

bool FakePowerSource::isExternalPowerOnline() const
{
    std::lock_guard lock(m_mutex);
    return m_externalPower;
}

bool FakePowerSource::isPowerSaverOn() const
{
    std::lock_guard lock(m_mutex);
    return m_powerSaver;
}

bool FakePowerSource::isRunningHot() const
{
    std::lock_guard lock(m_mutex);
    return m_hot;
}

void FakePowerSource::setInternalBattery(std::optional<BatteryReading> battery)
{
    std::lock_guard lock(m_mutex);
    m_battery = std::move(battery);
}

void FakePowerSource::setExternalPowerOnline(bool online)
{
    std::lock_guard lock(m_mutex);
    m_externalPower = online;
}

void FakePowerSource::setPowerSaverOn(bool on)
{
    std::lock_guard lock(m_mutex);
    m_powerSaver = on;
}

void FakePowerSource::setRunningHot(bool hot)
{
    std::lock_guard lock(m_mutex);
    m_hot = hot;
}

} // namespace larkfold::platform
