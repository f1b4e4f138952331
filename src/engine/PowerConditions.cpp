#include "engine/PowerConditions.h"

namespace larkfold {
namespace {

constexpr int kBatteryThresholdPercent = 30;

} // namespace

std::optional<platform::BatteryReading> internalBatteryDescription(const platform::PowerSource& source)
{
    return source.internalBattery();
}

std::optional<int> batteryPercentage(const platform::PowerSource& source)
{
    const auto battery = internalBatteryDescription(source);
    if (!battery || !battery->currentCapacity || !battery->maxCapacity || *battery->maxCapacity < 1)
        return std::nullopt;
    // In integers: in doubles 29 / 100 * 100 is 28.999…, which would truncate to 28.
    return static_cast<int>(*battery->currentCapacity * 100 / *battery->maxCapacity);
}

bool isOnACPower(const platform::PowerSource& source)
{
    const auto battery = internalBatteryDescription(source);
    if (!battery)
        return true;
    if (source.isExternalPowerOnline())
        return true;
    if (!battery->status)
        return true;
    return *battery->status != "Discharging";
}

std::optional<QString> powerPauseReason(const platform::PowerSource& source)
{
    if (source.isRunningHot())
        return QStringLiteral("Your computer is running hot — will resume when it cools down.");
    if (source.isPowerSaverOn())
        return QStringLiteral("Power Saver is on — will resume when disabled or plugged in.");
    const auto percentage = batteryPercentage(source);
    if (!percentage)
        return std::nullopt;
    if (!isOnACPower(source) && *percentage < kBatteryThresholdPercent)
        return QStringLiteral("Battery at %1% — will resume when plugged in.").arg(*percentage);
    return std::nullopt;
}

} // namespace larkfold
