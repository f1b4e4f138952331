#pragma once

#include "platform/JsonFwd.h"
#include "store/StoredEnum.h"

#include <optional>

namespace larkfold {

// The user's settings. A default-constructed AppConfig is the default settings.
struct AppConfig {
    enum class BackupInterval { thirtyMinutes, hourly, fourHours, manual };
    enum class NotificationLevel { errorsOnly, dailySummary, everyBackup, nothing };
    // `automatic` is stored as "auto"; its number (0, 1, 2) is what the copy loops read.
    enum class BandwidthMode { automatic, quiet, full };

    BackupInterval backupInterval = BackupInterval::hourly;
    NotificationLevel notificationLevel = NotificationLevel::errorsOnly;
    bool launchAtLogin = true;
    bool hasCompletedOnboarding = false;
    bool trashReminderEnabled = true;
    BandwidthMode bandwidthMode = BandwidthMode::automatic;

    bool operator==(const AppConfig&) const = default;

    // Writes all six keys.
    platform::Json toJson() const;
    // Throws platform::JsonDecodeError when a required key is missing or any key holds a bad value.
    static AppConfig fromJson(const platform::Json& object);

    // Seconds between scheduled runs; none for `manual`.
    static std::optional<int> periodSeconds(BackupInterval interval);
};

template <>
struct StoredNames<AppConfig::BackupInterval> {
    static constexpr std::array<std::string_view, 4> names{"30min", "1hr", "4hr", "manual"};
};

template <>
struct StoredNames<AppConfig::NotificationLevel> {
    static constexpr std::array<std::string_view, 4> names{"errorsOnly", "dailySummary", "everyBackup", "nothing"};
};

template <>
struct StoredNames<AppConfig::BandwidthMode> {
    static constexpr std::array<std::string_view, 3> names{"auto", "quiet", "full"};
};

} // namespace larkfold
