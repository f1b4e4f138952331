#include "store/AppConfig.h"

#include "RecordFixture.h"

#include <gtest/gtest.h>

using namespace larkfold;
using platform::Json;
using platform::JsonDecodeError;

namespace {

Json requiredKeys()
{
    return Json{{"backupInterval", "4hr"},
                {"notificationLevel", "everyBackup"},
                {"launchAtLogin", false},
                {"hasCompletedOnboarding", true}};
}

} // namespace

TEST(AppConfig, DefaultsAndTheirEncoding)
{
    const AppConfig config;
    EXPECT_EQ(config.toJson(), Json::parse(R"({"backupInterval":"1hr","notificationLevel":"errorsOnly",
        "launchAtLogin":true,"hasCompletedOnboarding":false,"trashReminderEnabled":true,"bandwidthMode":"auto"})"));
    EXPECT_EQ(AppConfig::fromJson(config.toJson()), config);
}

TEST(AppConfig, EveryCaseRoundTrips)
{
    for (auto interval : allCases<AppConfig::BackupInterval>()) {
        for (auto level : allCases<AppConfig::NotificationLevel>()) {
            for (auto mode : allCases<AppConfig::BandwidthMode>()) {
                AppConfig config;
                config.backupInterval = interval;
                config.notificationLevel = level;
                config.bandwidthMode = mode;
                config.trashReminderEnabled = false;
                EXPECT_EQ(AppConfig::fromJson(config.toJson()), config);
            }
        }
    }
    EXPECT_EQ(storedString(AppConfig::BackupInterval::thirtyMinutes), "30min");
    EXPECT_EQ(int(AppConfig::BandwidthMode::full), 2);
}

TEST(AppConfig, AbsentOptionalKeysTakeDefaults)
{
    Json object = requiredKeys();
    AppConfig config = AppConfig::fromJson(object);
    EXPECT_EQ(config.backupInterval, AppConfig::BackupInterval::fourHours);
    EXPECT_EQ(config.notificationLevel, AppConfig::NotificationLevel::everyBackup);
    EXPECT_FALSE(config.launchAtLogin);
    EXPECT_TRUE(config.hasCompletedOnboarding);
    EXPECT_TRUE(config.trashReminderEnabled);
    EXPECT_EQ(config.bandwidthMode, AppConfig::BandwidthMode::automatic);

    object["trashReminderEnabled"] = nullptr;
    object["bandwidthMode"] = nullptr;
    object["unknownKey"] = 12;
    config = AppConfig::fromJson(object);
    EXPECT_TRUE(config.trashReminderEnabled);
    EXPECT_EQ(config.bandwidthMode, AppConfig::BandwidthMode::automatic);
}

TEST(AppConfig, BadValuesFailTheDecoding)
{
    struct Case {
        const char* key;
        Json value; // null removes the key
    } cases[] = {{"launchAtLogin", nullptr},
                 {"backupInterval", nullptr},
                 {"backupInterval", "hourly"},
                 {"notificationLevel", "ErrorsOnly"},
                 {"hasCompletedOnboarding", "true"},
                 {"launchAtLogin", 1},
                 {"bandwidthMode", "fast"},
                 {"bandwidthMode", 0},
                 {"trashReminderEnabled", "yes"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.value.dump());
        EXPECT_THROW(AppConfig::fromJson(test::withKey(requiredKeys(), c.key, c.value)), JsonDecodeError);
    }
    EXPECT_THROW(AppConfig::fromJson(Json::array()), JsonDecodeError);
}

TEST(AppConfig, SchedulePeriods)
{
    EXPECT_EQ(AppConfig::periodSeconds(AppConfig::BackupInterval::thirtyMinutes), 1800);
    EXPECT_EQ(AppConfig::periodSeconds(AppConfig::BackupInterval::hourly), 3600);
    EXPECT_EQ(AppConfig::periodSeconds(AppConfig::BackupInterval::fourHours), 14400);
    EXPECT_EQ(AppConfig::periodSeconds(AppConfig::BackupInterval::manual), std::nullopt);
}
