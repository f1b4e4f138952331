#pragma once

#include "platform/PowerSource.h"

#include <atomic>

namespace larkfold::test {

// A computer without a battery that a test can make run hot.
class FakePowerSource final : public platform::PowerSource {
public:
    std::optional<platform::BatteryReading> internalBattery() const override { return std::nullopt; }
    bool isExternalPowerOnline() const override { return true; }
    bool isPowerSaverOn() const override { return false; }
    bool isRunningHot() const override { return m_hot; }

    void setRunningHot(bool hot) { m_hot = hot; }

private:
    std::atomic<bool> m_hot{false};
};

} // namespace larkfold::test
