#include "platform/Json.h"

#include <gtest/gtest.h>

using namespace larkfold::platform;

TEST(Json, PrettyFormIsSortedIndentedAndEscapesSlashes)
{
    Json value = {{"zeta", 1}, {"alpha", "a/b"}, {"list", Json::array({true, 2.5})}, {"empty", Json::array()}};
    EXPECT_EQ(encodeJsonPretty(value),
              "{\n  \"alpha\": \"a\\/b\",\n  \"empty\": [],\n  \"list\": [\n    true,\n    2.5\n  ],\n  \"zeta\": 1\n}");
    EXPECT_EQ(encodeJsonCompact(value), R"({"alpha":"a\/b","empty":[],"list":[true,2.5],"zeta":1})");
    EXPECT_EQ(parseJson(encodeJsonCompact(value)), value);
}

TEST(Json, DatesAreWholeSecondsInUtc)
{
    const QDateTime date(QDate(2026, 3, 1), QTime(9, 30, 0, 500), QTimeZone::utc());
    EXPECT_EQ(encodeDate(date), "2026-03-01T09:30:00Z");
    const auto back = decodeDate("2026-03-01T09:30:00Z");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toSecsSinceEpoch(), QDateTime(QDate(2026, 3, 1), QTime(9, 30), QTimeZone::utc()).toSecsSinceEpoch());
    for (const char* bad : {"2026-03-01T09:30:00.500Z", "2026-03-01T09:30:00+01:00", "2026-03-01 09:30:00Z",
                            "2026-02-30T09:30:00Z", "2026-03-01T09:30Z", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(decodeDate(bad));
    }
}

TEST(Json, UuidsAreUpperCase)
{
    const QUuid uuid = QUuid::fromString(QStringLiteral("{6f1c3e2a-9b7d-4c1e-8a2f-0123456789ab}"));
    EXPECT_EQ(encodeUuid(uuid), "6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB");
    EXPECT_EQ(decodeUuid("6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB"), uuid);
    EXPECT_FALSE(decodeUuid("{6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB}"));
    EXPECT_FALSE(decodeUuid("not-a-uuid"));
}

TEST(Json, FileUrlsKeepBytes)
{
    const std::filesystem::path odd(std::string("/tmp/a b/\xff\xfe/na%me"));
    const std::string url = encodeFileUrl(odd, true);
    EXPECT_EQ(url, "file:///tmp/a%20b/%FF%FE/na%25me/");
    EXPECT_EQ(decodeFileUrl(url), odd);
    EXPECT_EQ(encodeFileUrl("/tmp/file.txt", false), "file:///tmp/file.txt");
    EXPECT_EQ(decodeFileUrl("file://localhost/tmp/x"), std::filesystem::path("/tmp/x"));
    EXPECT_FALSE(decodeFileUrl("http://example.invalid/x"));
    EXPECT_FALSE(decodeFileUrl("file:///tmp/%00"));
    EXPECT_FALSE(decodeFileUrl("file://server/share"));
}

TEST(Json, StrictReadersRejectWrongTypes)
{
    const Json object = {{"n", 3}, {"d", 3.5}, {"s", "x"}, {"b", true}};
    EXPECT_EQ(json::requireInt(object, "n"), 3);
    EXPECT_THROW(json::requireInt(object, "d"), JsonDecodeError);
    EXPECT_THROW(json::requireString(object, "n"), JsonDecodeError);
    EXPECT_THROW(json::requireBool(object, "missing"), JsonDecodeError);
    EXPECT_EQ(json::optionalString(object, "missing"), std::nullopt);
    EXPECT_DOUBLE_EQ(json::requireDouble(object, "n"), 3.0);
    EXPECT_THROW(parseJson("{\"a\":"), JsonDecodeError);
}
