#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace larkfold::platform {

// The internal battery as the power-supply layer describes it; a field is none when not reported.
struct BatteryReading {
    std::optional<std::int64_t> currentCapacity;
    std::optional<std::int64_t> maxCapacity;
    // "Charging", "Discharging", "Not charging", "Full", "Unknown".
    std::optional<std::string> status;
};

// The computer's power state, read afresh on every call. Safe from any thread.
class PowerSource {
public:
    virtual ~PowerSource() = default;
    // None when the computer has no internal battery.
    virtual std::optional<BatteryReading> internalBattery() const = 0;
    // Whether any mains or USB supply is online.
    virtual bool isExternalPowerOnline() const = 0;
    // The power-saver profile is active; false when no profile service answers.
    virtual bool isPowerSaverOn() const = 0;
    // The hardware reports being too hot; false when nothing says so.
    virtual bool isRunningHot() const = 0;
};

// /sys and the system bus.
PowerSource& systemPowerSource();

} // namespace larkfold::platform
