#include "store/BackupEvent.h"

#include "RecordFixture.h"

#include <gtest/gtest.h>

using namespace larkfold;
using platform::Json;
using platform::JsonDecodeError;

namespace {

BackupEvent sampleEvent()
{
    BackupEvent event;
    event.id = QUuid::fromString(QStringLiteral("00000000-0000-4000-8000-00000000000a"));
    event.pairId = QUuid::fromString(QStringLiteral("6f1c3e2a-9b7d-4c1e-8a2f-0123456789ab"));
    event.timestamp = QDateTime(QDate(2026, 12, 10), QTime(9, 30), QTimeZone::utc());
    event.type = BackupEvent::EventType::verificationFailed;
    event.filesAffected = 3;
    event.bytesTransferred = 4096;
    event.duration = 1.25;
    event.message = QStringLiteral("a/b \u2014 done");
    return event;
}

} // namespace

TEST(BackupEvent, EncodesEveryKeyAndRoundTrips)
{
    const BackupEvent event = sampleEvent();
    EXPECT_EQ(platform::encodeJsonCompact(event.toJson()),
              R"({"bytesTransferred":4096,"duration":1.25,"filesAffected":3,"id":"00000000-0000-4000-8000-00000000000A",)"
              R"("message":"a\/b )" "\u2014" R"( done","pairId":"6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB",)"
              R"("timestamp":"2026-12-10T09:30:00Z","type":"verificationFailed"})");
    const BackupEvent back = BackupEvent::fromJson(event.toJson());
    EXPECT_EQ(back.id, event.id);
    EXPECT_EQ(back.pairId, event.pairId);
    EXPECT_EQ(back.timestamp, event.timestamp);
    EXPECT_EQ(back.type, event.type);
    EXPECT_EQ(back.filesAffected, 3);
    EXPECT_EQ(back.bytesTransferred, 4096);
    EXPECT_DOUBLE_EQ(back.duration, 1.25);
    EXPECT_EQ(back.message, event.message);
}

TEST(BackupEvent, MessageIsOptional)
{
    BackupEvent event = sampleEvent();
    event.message.reset();
    Json object = event.toJson();
    EXPECT_FALSE(object.contains("message"));
    EXPECT_EQ(BackupEvent::fromJson(object).message, std::nullopt);
    object["message"] = nullptr;
    EXPECT_EQ(BackupEvent::fromJson(object).message, std::nullopt);
}

TEST(BackupEvent, BadValuesFailTheDecoding)
{
    struct Case {
        const char* key;
        Json value; // null removes the key
    } cases[] = {{"type", "Backup"}, {"type", nullptr},          {"duration", nullptr},
                 {"duration", "1"},  {"filesAffected", 2.5},    {"timestamp", "2026-12-10T09:30:00.5Z"},
                 {"pairId", nullptr}, {"message", 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.value.dump());
        EXPECT_THROW(BackupEvent::fromJson(test::withKey(sampleEvent().toJson(), c.key, c.value)), JsonDecodeError);
    }
    for (auto type : allCases<BackupEvent::EventType>())
        EXPECT_EQ(fromStoredString<BackupEvent::EventType>(storedString(type)), type);
}
