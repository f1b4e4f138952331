#pragma once

#include "platform/JsonFwd.h"
#include "store/StoredEnum.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace larkfold {

// One entry of the event log.
struct BackupEvent {
    enum class EventType { backup, deletion, error, volumeLost, volumeRestored, verificationFailed, integrityChecked };

    QUuid id;
    QUuid pairId; // the pair may since have been removed
    QDateTime timestamp;
    EventType type = EventType::backup;
    std::int64_t filesAffected = 0;
    std::int64_t bytesTransferred = 0;
    double duration = 0; // seconds
    std::optional<QString> message;

    // Writes every key, "message" only when there is one.
    platform::Json toJson() const;
    // Throws platform::JsonDecodeError when a required key is missing or any key holds a bad value.
    static BackupEvent fromJson(const platform::Json& object);
};

template <>
struct StoredNames<BackupEvent::EventType> {
    static constexpr std::array<std::string_view, 7> names{"backup",         "deletion",           "error",
                                                           "volumeLost",     "volumeRestored",     "verificationFailed",
                                                           "integrityChecked"};
};

} // namespace larkfold
