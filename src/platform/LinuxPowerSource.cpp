#include "platform/LinuxPowerSource.h"

#include "net_hadess_powerprofiles_interface.h"
#include "org_freedesktop_upower_powerprofiles_interface.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <system_error>
#include <vector>

namespace larkfold::platform {
namespace {

// A hung service must not hold up a backup job.
constexpr int kDBusTimeoutMs = 1000;

namespace fs = std::filesystem;

std::optional<std::string> readLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    return line;
}

std::optional<std::int64_t> readInteger(const fs::path& file)
{
    const auto text = readLine(file);
    if (!text)
        return std::nullopt;
    std::int64_t value = 0;
    const auto end = text->data() + text->size();
    if (std::from_chars(text->data(), end, value).ptr != end || text->empty())
        return std::nullopt;
    return value;
}

// The entries of a sysfs class folder, in name order so the answer does not depend on readdir.
std::vector<fs::path> classEntries(const fs::path& folder)
{
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isCharger(const std::string& type)
{
    return type == "Mains" || type.rfind("USB", 0) == 0;
}

template <typename Proxy>
std::optional<std::pair<QString, QString>> readProfilesFrom(const QDBusConnection& bus, const QString& service,
                                                            const QString& path)
{
    Proxy proxy(service, path, bus);
    proxy.setTimeout(kDBusTimeoutMs);
    const QString active = proxy.activeProfile();
    if (proxy.lastError().isValid())
        return std::nullopt;
    return std::pair(active, proxy.performanceDegraded());
}

} // namespace

LinuxPowerSource::LinuxPowerSource(fs::path sysRoot, QDBusConnection bus)
    : m_sysRoot(std::move(sysRoot)), m_bus(std::move(bus))
{
}

std::optional<BatteryReading> LinuxPowerSource::internalBattery() const
{
    for (const fs::path& supply : classEntries(m_sysRoot / "class/power_supply")) {
        if (readLine(supply / "type") != "Battery")
            continue;
        // A wireless mouse or headset battery has scope Device.
        const auto scope = readLine(supply / "scope");
        if (scope && *scope != "System")
            continue;
        if (readLine(supply / "present") == "0")
            continue;
        BatteryReading reading;
        if (auto now = readInteger(supply / "energy_now")) {
            reading.currentCapacity = now;
            reading.maxCapacity = readInteger(supply / "energy_full");
        } else if (auto charge = readInteger(supply / "charge_now")) {
            reading.currentCapacity = charge;
            reading.maxCapacity = readInteger(supply / "charge_full");
        } else if (auto percent = readInteger(supply / "capacity")) {
            reading.currentCapacity = percent;
            reading.maxCapacity = 100;
        }
        reading.status = readLine(supply / "status");
        return reading;
    }
    return std::nullopt;
}

bool LinuxPowerSource::isExternalPowerOnline() const
{
    for (const fs::path& supply : classEntries(m_sysRoot / "class/power_supply")) {
        const auto type = readLine(supply / "type");
        if (type && isCharger(*type) && readLine(supply / "online") == "1")
            return true;
    }
    return false;
}

std::optional<LinuxPowerSource::Profiles> LinuxPowerSource::readProfiles() const
{
    auto values = readProfilesFrom<OrgFreedesktopUPowerPowerProfilesInterface>(m_bus, QStringLiteral("org.freedesktop.UPower.PowerProfiles"),
                                                       QStringLiteral("/org/freedesktop/UPower/PowerProfiles"));
    if (!values)
        values = readProfilesFrom<NetHadessPowerProfilesInterface>(m_bus, QStringLiteral("net.hadess.PowerProfiles"),
                                                            QStringLiteral("/net/hadess/PowerProfiles"));
    if (!values)
        return std::nullopt;
    return Profiles{values->first, values->second};
}

bool LinuxPowerSource::isPowerSaverOn() const
{
    const auto profiles = readProfiles();
    return profiles && profiles->activeProfile == QLatin1String("power-saver");
}

bool LinuxPowerSource::isRunningHot() const
{
    if (const auto profiles = readProfiles()) {
        const auto reasons = profiles->performanceDegraded.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString& reason : reasons)
            if (reason.trimmed() == QLatin1String("high-operating-temperature"))
                return true;
    }
    return isThermalZoneHot();
}

bool LinuxPowerSource::isThermalZoneHot() const
{
    for (const fs::path& zone : classEntries(m_sysRoot / "class/thermal")) {
        if (zone.filename().string().rfind("thermal_zone", 0) != 0)
            continue;
        const auto temperature = readInteger(zone / "temp");
        if (!temperature)
            continue;
        for (const fs::path& file : classEntries(zone)) {
            const std::string name = file.filename().string();
            const std::string suffix = "_type";
            if (name.rfind("trip_point_", 0) != 0 || name.size() <= suffix.size()
                || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
                continue;
            const auto type = readLine(file);
            if (type != "hot" && type != "passive")
                continue;
            const auto trip = readInteger(zone / (name.substr(0, name.size() - suffix.size()) + "_temp"));
            if (trip && *trip > 0 && *temperature >= *trip)
                return true;
        }
    }
    return false;
}

PowerSource& systemPowerSource()
{
    static LinuxPowerSource source("/sys", QDBusConnection::systemBus());
    return source;
}

} // namespace larkfold::platform
