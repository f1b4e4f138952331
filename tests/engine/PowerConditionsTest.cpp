#include "engine/PowerConditions.h"
#include "platform/LinuxPowerSource.h"
#include "support/EventLoop.h"
#include "support/PrivateSessionBus.h"
#include "support/TempTree.h"

#include <QDBusConnectionInterface>
#include <QObject>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <utility>
#include <vector>

using larkfold::platform::LinuxPowerSource;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinUntil;
using larkfold::test::TempTree;

// power-profiles-daemon as it appears on the bus, under its current and its older name.
class FakePowerProfiles : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower.PowerProfiles")
    Q_PROPERTY(QString ActiveProfile MEMBER activeProfile)
    Q_PROPERTY(QString PerformanceDegraded MEMBER performanceDegraded)
public:
    QString activeProfile = QStringLiteral("balanced");
    QString performanceDegraded;
};

class FakeHadessPowerProfiles : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.hadess.PowerProfiles")
    Q_PROPERTY(QString ActiveProfile MEMBER activeProfile)
    Q_PROPERTY(QString PerformanceDegraded MEMBER performanceDegraded)
public:
    QString activeProfile = QStringLiteral("balanced");
    QString performanceDegraded;
};

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kHot = "Your computer is running hot — will resume when it cools down.";
constexpr const char* kPowerSaver = "Power Saver is on — will resume when disabled or plugged in.";

Files battery(const std::string& name, const std::string& status, const std::string& now = "1000",
              const std::string& full = "10000")
{
    const std::string dir = "class/power_supply/" + name + "/";
    Files files{{dir + "type", "Battery\n"}, {dir + "energy_now", now + "\n"}, {dir + "energy_full", full + "\n"}};
    if (!status.empty())
        files.push_back({dir + "status", status + "\n"});
    return files;
}

Files operator+(Files a, const Files& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Files kMainsOnline{{"class/power_supply/AC/type", "Mains\n"}, {"class/power_supply/AC/online", "1\n"}};
const Files kMainsOffline{{"class/power_supply/AC/type", "Mains\n"}, {"class/power_supply/AC/online", "0\n"}};

void build(TempTree& sys, const Files& files)
{
    for (const auto& [path, content] : files)
        sys.write(path, content);
}

// The reason asked on a worker thread, as the backup job does; the fake service answers on the main thread.
std::optional<QString> reasonOffMainThread(const LinuxPowerSource& source)
{
    auto reason = std::async(std::launch::async, [&] { return larkfold::powerPauseReason(source); });
    EXPECT_TRUE(spinUntil([&] { return reason.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return reason.get();
}

} // namespace

TEST(PowerConditions, ReasonsFromTheSysfsTree)
{
    struct Case {
        const char* name;
        Files files;
        const char* reason; // nullptr: none
    };
    const Case cases[] = {
        {"nothing there", {}, nullptr},
        {"battery at 50 % on battery power", battery("BAT0", "Discharging", "5000"), nullptr},
        {"battery at 29 %", battery("BAT0", "Discharging", "2900"), "Battery at 29% — will resume when plugged in."},
        {"2999 of 10000 is 29 %", battery("BAT0", "Discharging", "2999"), "Battery at 29% — will resume when plugged in."},
        {"battery at 30 %", battery("BAT0", "Discharging", "3000"), nullptr},
        {"only a percentage", {{"class/power_supply/BAT0/type", "Battery\n"},
                               {"class/power_supply/BAT0/capacity", "29\n"},
                               {"class/power_supply/BAT0/status", "Discharging\n"}},
         "Battery at 29% — will resume when plugged in."},
        {"battery at 10 % with mains online", battery("BAT0", "Discharging") + kMainsOnline, nullptr},
        {"battery at 10 % with mains offline", battery("BAT0", "Discharging") + kMainsOffline,
         "Battery at 10% — will resume when plugged in."},
        {"battery at 10 % charging from an unlisted supply", battery("BAT0", "Charging"), nullptr},
        {"battery without a status", battery("BAT0", ""), nullptr},
        {"full capacity 0", battery("BAT0", "Discharging", "0", "0"), nullptr},
        {"a mouse battery at 10 %", battery("hidpp_battery_0", "Discharging") + Files{{"class/power_supply/hidpp_battery_0/scope", "Device\n"}},
         nullptr},
        {"a system-scope battery at 10 %", battery("BAT1", "Discharging") + Files{{"class/power_supply/BAT1/scope", "System\n"}},
         "Battery at 10% — will resume when plugged in."},
        {"an empty battery bay", battery("BAT0", "Discharging") + Files{{"class/power_supply/BAT0/present", "0\n"}}, nullptr},
        {"a zone above its passive trip point",
         {{"class/thermal/thermal_zone0/temp", "95000\n"},
          {"class/thermal/thermal_zone0/trip_point_0_type", "critical\n"},
          {"class/thermal/thermal_zone0/trip_point_0_temp", "105000\n"},
          {"class/thermal/thermal_zone0/trip_point_1_type", "passive\n"},
          {"class/thermal/thermal_zone0/trip_point_1_temp", "90000\n"}},
         kHot},
        {"a zone below its hot trip point",
         {{"class/thermal/thermal_zone0/temp", "60000\n"},
          {"class/thermal/thermal_zone0/trip_point_0_type", "hot\n"},
          {"class/thermal/thermal_zone0/trip_point_0_temp", "90000\n"}},
         nullptr},
        {"a trip point of 0 means none",
         {{"class/thermal/thermal_zone0/temp", "40000\n"},
          {"class/thermal/thermal_zone0/trip_point_0_type", "passive\n"},
          {"class/thermal/thermal_zone0/trip_point_0_temp", "0\n"}},
         nullptr},
        {"heat comes before the battery",
         battery("BAT0", "Discharging") + Files{{"class/thermal/thermal_zone0/temp", "95000\n"},
                                                {"class/thermal/thermal_zone0/trip_point_0_type", "hot\n"},
                                                {"class/thermal/thermal_zone0/trip_point_0_temp", "90000\n"}},
         kHot},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        TempTree sys;
        build(sys, test.files);
        const LinuxPowerSource source(sys.root(), QDBusConnection(QStringLiteral("no bus")));
        const auto reason = larkfold::powerPauseReason(source);
        if (test.reason)
            EXPECT_EQ(reason, QString::fromUtf8(test.reason));
        else
            EXPECT_FALSE(reason.has_value()) << reason->toStdString();
    }
}

TEST(PowerConditions, BatteryFunctions)
{
    TempTree sys;
    const LinuxPowerSource none(sys.root(), QDBusConnection(QStringLiteral("no bus")));
    EXPECT_FALSE(larkfold::internalBatteryDescription(none).has_value());
    EXPECT_FALSE(larkfold::batteryPercentage(none).has_value());
    EXPECT_TRUE(larkfold::isOnACPower(none));

    build(sys, battery("BAT0", "Discharging", "2999"));
    const LinuxPowerSource one(sys.root(), QDBusConnection(QStringLiteral("no bus")));
    EXPECT_EQ(larkfold::batteryPercentage(one), 29);
    EXPECT_FALSE(larkfold::isOnACPower(one));
}

TEST(PowerConditions, PowerProfilesServiceOnTheBus)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    QDBusConnection service = bus.connection(QStringLiteral("ppd"));
    QDBusConnection client = bus.connection(QStringLiteral("client"));
    TempTree sys;
    build(sys, battery("BAT0", "Discharging"));
    const LinuxPowerSource source(sys.root(), client);

    EXPECT_EQ(reasonOffMainThread(source), QStringLiteral("Battery at 10% — will resume when plugged in."))
        << "no service: only the battery counts";

    FakePowerProfiles current;
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.UPower.PowerProfiles")));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/UPower/PowerProfiles"), &current,
                                       QDBusConnection::ExportAllProperties));
    current.activeProfile = QStringLiteral("power-saver");
    EXPECT_EQ(reasonOffMainThread(source), QString::fromUtf8(kPowerSaver)) << "Power Saver comes before the battery";
    current.performanceDegraded = QStringLiteral("high-operating-temperature");
    EXPECT_EQ(reasonOffMainThread(source), QString::fromUtf8(kHot));
    current.performanceDegraded = QStringLiteral("lap-detected");
    current.activeProfile = QStringLiteral("performance");
    build(sys, kMainsOnline);
    EXPECT_FALSE(reasonOffMainThread(source).has_value());

    service.unregisterObject(QStringLiteral("/org/freedesktop/UPower/PowerProfiles"));
    ASSERT_TRUE(service.unregisterService(QStringLiteral("org.freedesktop.UPower.PowerProfiles")));
    FakeHadessPowerProfiles older;
    older.activeProfile = QStringLiteral("power-saver");
    ASSERT_TRUE(service.registerService(QStringLiteral("net.hadess.PowerProfiles")));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/net/hadess/PowerProfiles"), &older,
                                       QDBusConnection::ExportAllProperties));
    EXPECT_EQ(reasonOffMainThread(source), QString::fromUtf8(kPowerSaver)) << "the older name";
}

#include "PowerConditionsTest.moc"
