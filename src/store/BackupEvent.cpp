#include "store/BackupEvent.h"

#include "platform/Json.h"

namespace larkfold {

using platform::Json;
namespace json = platform::json;

Json BackupEvent::toJson() const
{
    Json object{
        {"id", platform::encodeUuid(id)},
        {"pairId", platform::encodeUuid(pairId)},
        {"timestamp", platform::encodeDate(timestamp)},
        {"type", storedString(type)},
        {"filesAffected", filesAffected},
        {"bytesTransferred", bytesTransferred},
        {"duration", duration},
    };
    if (message)
        object["message"] = message->toStdString();
    return object;
}

BackupEvent BackupEvent::fromJson(const Json& object)
{
    BackupEvent event;
    event.id = json::requireUuid(object, "id");
    event.pairId = json::requireUuid(object, "pairId");
    event.timestamp = json::requireDate(object, "timestamp");
    event.type = requireEnum<EventType>(object, "type");
    event.filesAffected = json::requireInt(object, "filesAffected");
    event.bytesTransferred = json::requireInt(object, "bytesTransferred");
    event.duration = json::requireDouble(object, "duration");
    if (const auto text = json::optionalString(object, "message"))
        event.message = QString::fromStdString(*text);
    return event;
}

} // namespace larkfold
