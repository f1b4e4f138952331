#include "store/BackupPair.h"

#include "RecordFixture.h"

#include <gtest/gtest.h>

using namespace larkfold;
using platform::Json;
using platform::JsonDecodeError;

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

BackupPair minimalPair()
{
    BackupPair pair;
    pair.id = QUuid::fromString(QStringLiteral("6f1c3e2a-9b7d-4c1e-8a2f-0123456789ab"));
    pair.name = QStringLiteral("Photos");
    pair.sourceURL = "/home/ada/Photos";
    pair.destinationURL = "/media/ada/Backup";
    pair.createdAt = utc(2026, 3, 1, 9, 30);
    return pair;
}

BackupPair fullPair()
{
    BackupPair pair = minimalPair();
    pair.sourceBookmark = QByteArray("src\x00\xff", 5);
    pair.destinationBookmark = QByteArray("dst");
    pair.isEnabled = false;
    pair.lastBackupAt = utc(2026, 3, 2, 10, 0, 5);
    pair.lastBackupFileCount = 12;
    pair.lastBackupByteCount = 5'000'000'000;
    pair.offsiteURL = std::filesystem::path(std::string("/home/ada/Cloud/\xff odd"));
    pair.offsiteBookmark = QByteArray("off");
    pair.lastOffsiteAt = utc(2026, 3, 3, 0, 0);
    pair.lastOffsiteFileCount = 0;
    pair.profile = BackupProfile::photography;
    pair.didSuggestProfile = true;
    pair.sourceMountPoints = {"/home/ada/Photos/Card", std::string("/home/ada/Photos/\xff")};
    return pair;
}

std::set<std::string> keysOf(const Json& object)
{
    std::set<std::string> keys;
    for (const auto& item : object.items())
        keys.insert(item.key());
    return keys;
}

} // namespace

TEST(BackupPair, MinimalPairWritesOnlyItsValues)
{
    const Json object = minimalPair().toJson();
    EXPECT_EQ(keysOf(object), (std::set<std::string>{"createdAt", "destinationURL", "didSuggestProfile", "id",
                                                     "isEnabled", "name", "profile", "sourceURL"}));
    EXPECT_EQ(object["id"], "6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB");
    EXPECT_EQ(object["sourceURL"], "file:///home/ada/Photos/");
    EXPECT_EQ(object["createdAt"], "2026-03-01T09:30:00Z");
    EXPECT_EQ(object["profile"], "standard");
    EXPECT_EQ(object["didSuggestProfile"], false);
    EXPECT_EQ(BackupPair::fromJson(object), minimalPair());
}

TEST(BackupPair, FullPairRoundTrips)
{
    const BackupPair pair = fullPair();
    const Json object = pair.toJson();
    EXPECT_EQ(object.size(), 18u);
    EXPECT_EQ(object["sourceBookmark"], "c3JjAP8=");
    EXPECT_EQ(object["sourceMountPoints"], Json::array({"file:///home/ada/Photos/Card/", "file:///home/ada/Photos/%FF/"}));
    EXPECT_EQ(object["offsiteURL"], "file:///home/ada/Cloud/%FF%20odd/");
    EXPECT_EQ(object["lastBackupByteCount"], 5'000'000'000);
    EXPECT_EQ(BackupPair::fromJson(Json::parse(platform::encodeJsonPretty(object))), pair);
}

TEST(BackupPair, AbsentKeysTakeDefaultsAndNullCountsAsAbsent)
{
    Json object = minimalPair().toJson();
    object.erase("profile");
    object.erase("didSuggestProfile");
    object["lastBackupAt"] = nullptr;
    object["offsiteURL"] = nullptr;
    object["somethingNew"] = "ignored";
    const BackupPair pair = BackupPair::fromJson(object);
    EXPECT_EQ(pair.profile, BackupProfile::standard);
    EXPECT_FALSE(pair.didSuggestProfile);
    EXPECT_EQ(pair.lastBackupAt, std::nullopt);
    EXPECT_EQ(pair.offsiteURL, std::nullopt);
}

TEST(BackupPair, BadValuesFailTheDecoding)
{
    struct Case {
        const char* key;
        Json value; // null removes the key
    } cases[] = {{"createdAt", nullptr},
                 {"id", nullptr},
                 {"isEnabled", nullptr},
                 {"createdAt", "2026-03-01T09:30:00.500Z"},
                 {"id", "not-a-uuid"},
                 {"sourceURL", "/home/ada/Photos"},
                 {"destinationURL", "https://example.invalid/x/"},
                 {"profile", "Film"},
                 {"profile", "video"},
                 {"lastBackupFileCount", 1.5},
                 {"sourceBookmark", "not base64!"},
                 {"sourceMountPoints", "file:///home/ada/Photos/Card/"},
                 {"sourceMountPoints", Json::array({"Card"})},
                 {"didSuggestProfile", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.value.dump());
        EXPECT_THROW(BackupPair::fromJson(test::withKey(fullPair().toJson(), c.key, c.value)), JsonDecodeError);
    }
}

TEST(BackupPair, EqualityComparesEveryField)
{
    EXPECT_EQ(fullPair(), fullPair());
    BackupPair other = fullPair();
    (*other.destinationBookmark)[1] = 'X';
    EXPECT_NE(other, fullPair());
    other = fullPair();
    other.lastOffsiteFileCount.reset();
    EXPECT_NE(other, fullPair());
    other = fullPair();
    other.createdAt = other.createdAt.toOffsetFromUtc(3600); // same instant
    EXPECT_EQ(other, fullPair());
}

TEST(BackupPair, SanitizedFolderName)
{
    struct Case {
        QString name;
        QString folder;
    } cases[] = {
        {"My Photos", "My Photos"},
        {"", "Untitled Backup"},
        {"   ", "Untitled Backup"},
        {"...", "Untitled Backup"},
        {"....", "Untitled Backup"},
        {".....", "Untitled Backup"},
        {"..", "Untitled Backup"},
        {"/", "Untitled Backup"},
        {"a/../b", "ab"},
        {"../../x", "x"},
        {" .hidden ", "hidden"},
        {". x", " x"},
        {QString::fromUtf16(u"a.\0.b", 5), "a..b"},
        {QString::fromUtf16(u"\0\0", 2), "Untitled Backup"},
        {"name.", "name."},
        {"back\\slash\\", "backslash"},
        {"\t\nTabs\u2003", "Tabs"},
        {QString::fromUtf8("Fotos \u00e9t\u00e9"), QString::fromUtf8("Fotos \u00e9t\u00e9")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(BackupPair::sanitizedFolderName(c.name), c.folder);
    }
}
