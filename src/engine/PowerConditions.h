#pragma once

#include "platform/PowerSource.h"

#include <QString>

#include <optional>

namespace larkfold {

// The power state, read afresh on every call from `source` (the computer's own unless given).
// Safe from any thread.

// The internal battery, or none when there is none.
std::optional<platform::BatteryReading> internalBatteryDescription(
    const platform::PowerSource& source = platform::systemPowerSource());

// The charge in whole percent, truncated; none without a battery or a usable capacity.
std::optional<int> batteryPercentage(const platform::PowerSource& source = platform::systemPowerSource());

// True without an internal battery, and with a battery that does not say it discharges.
bool isOnACPower(const platform::PowerSource& source = platform::systemPowerSource());

// Why heavy work must wait (heat, Power Saver, battery below 30 % off power), or none.
std::optional<QString> powerPauseReason(const platform::PowerSource& source = platform::systemPowerSource());

} // namespace larkfold
