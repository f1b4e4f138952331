#include "store/AppConfig.h"

#include "platform/Json.h"

namespace larkfold {

using platform::Json;
namespace json = platform::json;

Json AppConfig::toJson() const
{
    return Json{
        {"backupInterval", storedString(backupInterval)},
        {"notificationLevel", storedString(notificationLevel)},
        {"launchAtLogin", launchAtLogin},
        {"hasCompletedOnboarding", hasCompletedOnboarding},
        {"trashReminderEnabled", trashReminderEnabled},
        {"bandwidthMode", storedString(bandwidthMode)},
    };
}

AppConfig AppConfig::fromJson(const Json& object)
{
    AppConfig config;
    config.backupInterval = requireEnum<BackupInterval>(object, "backupInterval");
    config.notificationLevel = requireEnum<NotificationLevel>(object, "notificationLevel");
    config.launchAtLogin = json::requireBool(object, "launchAtLogin");
    config.hasCompletedOnboarding = json::requireBool(object, "hasCompletedOnboarding");
    config.trashReminderEnabled = json::optionalBool(object, "trashReminderEnabled").value_or(true);
    config.bandwidthMode = optionalEnum<BandwidthMode>(object, "bandwidthMode").value_or(BandwidthMode::automatic);
    return config;
}

std::optional<int> AppConfig::periodSeconds(BackupInterval interval)
{
    switch (interval) {
    case BackupInterval::thirtyMinutes: return 1800;
    case BackupInterval::hourly: return 3600;
    case BackupInterval::fourHours: return 14400;
    case BackupInterval::manual: return std::nullopt;
    }
    return std::nullopt;
}

} // namespace larkfold
