#include "engine/FingerprintDatabase.h"

#include "platform/Json.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace larkfold;
using larkfold::platform::Json;
using Database = larkfold::FingerprintDatabase;

namespace {

constexpr const char* kHelloSha = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";
constexpr const char* kEmptySha = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// An entry as the files hold it.
struct StoredEntry {
    std::string sha256;
    std::int64_t fileSize;
    std::string recordedAt;
    std::optional<std::string> lastVerifiedAt;
};

// The text the program wrote before this database type: a JSON tree of the entries, encoded by
// the program's JSON encoder.
std::string writtenByTheJsonEncoder(const std::map<std::string, StoredEntry>& entries)
{
    Json root = Json::object();
    for (const auto& [path, entry] : entries) {
        Json object = Json::object();
        object["relativePath"] = path;
        object["sha256"] = entry.sha256;
        object["fileSize"] = entry.fileSize;
        object["recordedAt"] = entry.recordedAt;
        if (entry.lastVerifiedAt)
            object["lastVerifiedAt"] = *entry.lastVerifiedAt;
        root[path] = object;
    }
    return platform::encodeJsonPretty(root);
}

// Hands `text` over in pieces of `pieceBytes`.
Database readInPieces(std::string_view text, std::size_t pieceBytes, std::size_t* skipped = nullptr)
{
    std::size_t at = 0;
    return Database::read(
        [&]() -> std::optional<std::string_view> {
            if (at >= text.size())
                return std::nullopt;
            const std::string_view piece = text.substr(at, pieceBytes);
            at += piece.size();
            return piece;
        },
        0, skipped);
}

Database::Entry entry(const char* sha, std::int64_t size, const char* recorded, const char* verified = nullptr)
{
    return {*Database::digestFromHex(sha), size, *Database::decodeDate(recorded),
            verified ? *Database::decodeDate(verified) : Database::kNever};
}

std::string entryText(const std::string& path, const std::string& members)
{
    return "\"" + path + "\": {" + members + "}";
}

std::string validMembers(const std::string& path)
{
    return "\"relativePath\": \"" + path + "\", \"sha256\": \"" + kHelloSha
         + "\", \"fileSize\": 5, \"recordedAt\": \"2026-03-01T18:04:05Z\"";
}

// Names that test every escape the encoder makes, multi-byte text in both Unicode forms, and
// keys that share a prefix, so their order is the bytes' order.
TEST(FingerprintDatabase, ADatabaseTheJsonEncoderWroteIsWrittenBackByteForByte)
{
    std::map<std::string, StoredEntry> entries;
    const std::vector<std::string> names = {
        "a.txt", "a", "a/b", "a b", "a.b/c", "Photos/2024/IMG_0001.JPG", "quote\"d", "back\\slash",
        "tab\there", "new\nline", "cr\rform\ffeed\bback", std::string("nul\0byte", 8), "\x01\x1f\x7f",
        "caf\xc3\xa9", "cafe\xcc\x81", "\xe6\x97\xa5\xe6\x9c\xac/\xf0\x9f\x93\xb7.heic", "ends/with/slash\\/",
    };
    const std::vector<StoredEntry> kinds = {
        {kHelloSha, 5, "2026-03-01T18:04:05Z", std::nullopt},
        {kEmptySha, 0, "0001-01-01T00:00:00Z", "9999-12-31T23:59:59Z"},
        {kHelloSha, -1, "2024-02-29T12:00:00Z", "1969-12-31T23:59:59Z"},
        {kEmptySha, std::numeric_limits<std::int64_t>::max(), "1970-01-01T00:00:00Z", "2000-01-01T00:00:00Z"},
        {kHelloSha, std::numeric_limits<std::int64_t>::min(), "1900-02-28T23:59:59Z", std::nullopt},
    };
    for (std::size_t i = 0; i < names.size(); ++i)
        entries[names[i]] = kinds[i % kinds.size()];
    const std::string text = writtenByTheJsonEncoder(entries);

    for (const std::size_t pieceBytes : {std::size_t(1), std::size_t(7), text.size()}) {
        SCOPED_TRACE(pieceBytes);
        std::size_t skipped = 99;
        Database database = readInPieces(text, pieceBytes, &skipped);
        EXPECT_EQ(skipped, 0u);
        EXPECT_EQ(database.size(), names.size());
        EXPECT_EQ(database.text(), text);
    }
    EXPECT_EQ(Database().text(), writtenByTheJsonEncoder({}));

    // Changed, it is written as the encoder would write the changed entries.
    Database database = Database::fromText(text);
    database.set("zz-new", entry(kHelloSha, 7, "2026-03-02T08:00:00Z"));
    database.set("a", entry(kEmptySha, 1, "2026-03-02T08:00:00Z", "2026-03-03T08:00:00Z"));
    database.erase("a b");
    entries["zz-new"] = {kHelloSha, 7, "2026-03-02T08:00:00Z", std::nullopt};
    entries["a"] = {kEmptySha, 1, "2026-03-02T08:00:00Z", "2026-03-03T08:00:00Z"};
    entries.erase("a b");
    EXPECT_EQ(database.text(), writtenByTheJsonEncoder(entries));
}

// Text as the program writes it is read by a quicker path: whatever is changed in it, it reads as
// the general reader (here: pieces of one byte, too small for the quick path) reads it.
TEST(FingerprintDatabase, TextAsWrittenReadsAsTheGeneralReaderReadsIt)
{
    Database written;
    written.set("Photos/2024/caf\xc3\xa9.jpg", entry(kHelloSha, 5, "2026-03-01T18:04:05Z", "2026-03-02T08:00:00Z"));
    written.set("z", entry(kEmptySha, 0, "2026-03-01T18:04:05Z"));
    const std::string text = written.text();
    const std::pair<std::string, std::string> changes[] = {
        {"", ""},
        {"\"fileSize\": 5", "\"fileSize\": -5"},
        {"\"fileSize\": 5", "\"fileSize\": 05"},
        {"\"fileSize\": 5", "\"fileSize\": 5.0"},
        {"\"fileSize\": 5", "\"fileSize\": 123456789012345678"},
        {"\"fileSize\": 5", "\"fileSize\": 1234567890123456789"},
        {"\"fileSize\": 5", "\"fileSize\": 9223372036854775808"},
        {"\"fileSize\": 5", "\"fileSize\": -9223372036854775808"},
        {"\"fileSize\": 5", "\"fileSize\": \"5\""},
        {"2026-03-02T08:00:00Z", "2026-02-30T08:00:00Z"},
        {"\"2026-03-02T08:00:00Z\"", "null"},
        {"\"2026-03-02T08:00:00Z\"", "\"2026-03-02T08:00:00.5Z\""},
        {"\"recordedAt\": \"2026-03-01T18:04:05Z\"", "\"recordedAt\": \"2026-03-01T18:04:0Z\""},
        {"\"relativePath\": \"Photos", "\"relativePath\": \"Other"},
        {"\"relativePath\": \"Photos", "\"relativePath\" : \"Photos"},
        {"2cf24dba", "2CF24DBA"},
        {"2cf24dba", "2cf24db"},
        {"\"\n  },", "\", \"future\": [1]\n  },"},
        {"\"Photos\\/", "\"Photos\\u002f"},
        {"\"Photos\\/", "\"Photos\\x"},
        {"\"Photos\\/", "\"Photos\\"},
        {"caf\xc3\xa9", "caf\xc3("},
        {"caf\xc3\xa9", "caf\xed\xa0\x80"},
        {"caf\xc3\xa9", "caf\x01"},
        {"caf\xc3\xa9", "caf\xe2\x82\xac"},
        {"caf\xc3\xa9", "caf\xe2\x82("},
        {"Photos\\/2024\\/caf\xc3\xa9.jpg", ""},
        {"\n    \"fileSize", " \"fileSize"},
    };
    for (const auto& [from, to] : changes) {
        SCOPED_TRACE(to);
        // Everywhere: a key's change is made to its "relativePath" too, as the writer would.
        std::string changed = text;
        for (auto at = from.empty() ? std::string::npos : changed.find(from); at != std::string::npos;
             at = changed.find(from, at + to.size()))
            changed.replace(at, from.size(), to);
        EXPECT_TRUE(from.empty() || changed != text);
        std::size_t quickSkipped = 0, generalSkipped = 0;
        std::optional<std::string> quick, general;
        try {
            quick = Database::fromText(changed, &quickSkipped).text();
        } catch (const Database::DecodeError&) {
        }
        try {
            general = readInPieces(changed, 1, &generalSkipped).text();
        } catch (const Database::DecodeError&) {
        }
        EXPECT_EQ(quick, general);
        EXPECT_EQ(quickSkipped, generalSkipped);
    }
    EXPECT_EQ(Database::fromText(text).text(), text);
}

// The short date forms agree with the program's own date reader and writer, which cost too much
// for millions of dates.
TEST(FingerprintDatabase, DatesAreReadAndWrittenAsTheProgramsDateFunctionsDo)
{
    const char* texts[] = {
        "2026-03-01T18:04:05Z", "0001-01-01T00:00:00Z", "9999-12-31T23:59:59Z", "1970-01-01T00:00:00Z",
        "1969-12-31T23:59:59Z", "2000-02-29T00:00:00Z", "2024-02-29T23:59:59Z", "0999-06-15T01:02:03Z",
        // Not dates, or not in this form.
        "1900-02-29T00:00:00Z", "2023-02-29T00:00:00Z", "2026-04-31T00:00:00Z", "0000-01-01T00:00:00Z",
        "2026-13-01T00:00:00Z", "2026-00-10T00:00:00Z", "2026-01-00T00:00:00Z", "2026-03-01T24:00:00Z",
        "2026-03-01T23:60:00Z", "2026-03-01T23:59:60Z", "2026-03-01T18:04:05.5Z", "2026-03-01 18:04:05Z",
        "2026-03-01T18:04:05+00:00", "2026-3-01T18:04:05Z", "+026-03-01T18:04:05Z", "2026-03-01T18:04:05z", "",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const auto expected = platform::decodeDate(text);
        const auto seconds = Database::decodeDate(text);
        ASSERT_EQ(seconds.has_value(), expected.has_value());
        if (!expected)
            continue;
        EXPECT_EQ(*seconds, expected->toSecsSinceEpoch());
        EXPECT_EQ(Database::encodeDate(*seconds), text);
        EXPECT_EQ(Database::encodeDate(*seconds), platform::encodeDate(*expected));
    }
}

// A backup drive may have been prepared by anyone: what is not a database is refused as a whole,
// and an entry that cannot be one is left out, with memory bounded whatever the file holds.
TEST(FingerprintDatabase, TextThatIsNoDatabaseIsRefused)
{
    const std::string good = entryText("a", validMembers("a"));
    const auto withMember = [](const std::string& member) {
        return "{" + entryText("a", "\"relativePath\": \"a\", \"sha256\": \"" + std::string(kHelloSha)
                                        + "\", \"recordedAt\": \"2026-03-01T18:04:05Z\", " + member)
             + "}";
    };
    const std::string cases[] = {
        "",
        "   ",
        "[]",
        "null",
        "\"a\"",
        "{",
        "{" + good,
        "{" + good + ",}",
        "{" + good + "} {}",
        "{" + good + "}x",
        "{\"a\": []}",
        "{\"a\": 5}",
        "{\"a\": {}}",
        "{\"a\": {" + validMembers("a") + ",}}",
        "{\"a\" {" + validMembers("a") + "}}",
        // Missing or mistyped members, dates in other forms.
        "{" + entryText("a", "\"sha256\": \"" + std::string(kHelloSha) + "\", \"fileSize\": 5, \"recordedAt\": \"2026-03-01T18:04:05Z\"") + "}",
        withMember("\"fileSize\": \"5\""),
        withMember("\"fileSize\": 5.0"),
        withMember("\"fileSize\": 5e3"),
        withMember("\"fileSize\": 05"),
        withMember("\"fileSize\": -"),
        withMember("\"fileSize\": 9223372036854775808"),
        withMember("\"fileSize\": -9223372036854775809"),
        withMember("\"fileSize\": 5, \"lastVerifiedAt\": 5"),
        withMember("\"fileSize\": 5, \"lastVerifiedAt\": \"2026-03-01\""),
        withMember("\"fileSize\": true"),
        "{" + entryText("a", "\"relativePath\": 5, \"sha256\": \"" + std::string(kHelloSha) + "\", \"fileSize\": 5, \"recordedAt\": \"2026-03-01T18:04:05Z\"") + "}",
        "{" + entryText("a", "\"relativePath\": \"a\", \"sha256\": 5, \"fileSize\": 5, \"recordedAt\": \"2026-03-01T18:04:05Z\"") + "}",
        "{" + entryText("a", "\"relativePath\": \"a\", \"sha256\": \"" + std::string(kHelloSha) + "\", \"fileSize\": 5, \"recordedAt\": 0") + "}",
        // Strings that are not JSON's or not UTF-8.
        "{" + entryText("a\x01", validMembers("a")) + "}",
        "{" + entryText("a\\x", validMembers("a")) + "}",
        "{" + entryText("a\\u12", validMembers("a")) + "}",
        "{" + entryText("\\ud800", validMembers("a")) + "}",
        "{" + entryText("\\udc00\\ud800", validMembers("a")) + "}",
        "{" + entryText("\xc0\x80", validMembers("a")) + "}",
        "{" + entryText("\xed\xa0\x80", validMembers("a")) + "}",
        "{" + entryText("\xf4\x90\x80\x80", validMembers("a")) + "}",
        "{" + entryText("\xc3", validMembers("a")) + "}",
        "{" + entryText("\xff", validMembers("a")) + "}",
        "{\"a",
        // Unknown members must still be JSON.
        withMember("\"fileSize\": 5, \"future\": [1, 2,]"),
        withMember("\"fileSize\": 5, \"future\": {\"x\" 1}"),
        withMember("\"fileSize\": 5, \"future\": tru"),
        withMember("\"fileSize\": 5, \"future\": -01"),
        withMember("\"fileSize\": 5, \"future\": 1.e5"),
        withMember("\"fileSize\": 5, \"future\": [[[]]"),
        withMember("\"fileSize\": 5, \"future\": " + std::string(100000, '[') + std::string(100000, ']')),
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 200));
        EXPECT_THROW(Database::fromText(text), Database::DecodeError);
        EXPECT_THROW(readInPieces(text, 3), Database::DecodeError);
    }
}

TEST(FingerprintDatabase, EntriesThatCannotBeOnesAreLeftOutAndTheRestKept)
{
    const auto withDigest = [](const std::string& path, const std::string& digest) {
        return entryText(path, "\"relativePath\": \"" + path + "\", \"sha256\": \"" + digest
                                   + "\", \"fileSize\": 5, \"recordedAt\": \"2026-03-01T18:04:05Z\"");
    };
    const std::string longPath(Database::kMaxPathBytes + 1, 'x');
    const std::string text = "\xef\xbb\xbf {" + withDigest("upper", "2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824")
                           + ", " + withDigest("short", "2cf24dba") + ", " + withDigest("nothex", std::string(64, 'g'))
                           + ", " + withDigest("", kHelloSha) + ", " + withDigest(longPath, kHelloSha) + ", "
                           + withDigest("kept", kHelloSha) + ", "
                           // Members of a later version, whatever they hold, are passed over.
                           + entryText("later", validMembers("later") + ", \"future\": {\"a\": [1, -2.5e-3, true, false, null, "
                                                  "\"" + std::string(3 << 20, 'y') + "\", {}, []], \"b\": "
                                                  + std::string(60, '[') + std::string(60, ']') + "}, \"lastVerifiedAt\": null")
                           + "\n}\r\n\t ";
    for (const std::size_t pieceBytes : {std::size_t(5), text.size()}) {
        SCOPED_TRACE(pieceBytes);
        std::size_t skipped = 0;
        Database database = readInPieces(text, pieceBytes, &skipped);
        EXPECT_EQ(skipped, 5u);
        EXPECT_EQ(database.size(), 2u);
        ASSERT_TRUE(database.find("kept"));
        EXPECT_EQ(*database.find("kept"), entry(kHelloSha, 5, "2026-03-01T18:04:05Z"));
        ASSERT_TRUE(database.find("later"));
        EXPECT_EQ(database.find("later")->lastVerifiedAt, Database::kNever);
    }
}

// Of a path named twice, and of a member named twice, the later one counts, as JSON readers
// take it; entries out of order are put in order.
TEST(FingerprintDatabase, DuplicatesKeepTheLaterOneAndDisorderIsSorted)
{
    const std::string text = "{" + entryText("b", validMembers("b")) + ", "
                           + entryText("a", validMembers("a") + ", \"fileSize\": 7") + ", "
                           + entryText("b", validMembers("b") + ", \"sha256\": \"" + kEmptySha + "\"") + ", "
                           + entryText("c", validMembers("c") + ", \"sha256\": \"bad\"") + "}";
    std::size_t skipped = 0;
    Database database = Database::fromText(text, &skipped);
    EXPECT_EQ(skipped, 1u);
    EXPECT_EQ(database.size(), 2u);
    EXPECT_EQ(database.find("a")->fileSize, 7);
    EXPECT_EQ(Database::hexOf(database.find("b")->sha256), kEmptySha);
    std::vector<std::string> order;
    database.forEach([&](std::string_view path, const Database::Entry&) { order.emplace_back(path); });
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b"}));
}

// Runs a long mixed series of changes on the database and on a plain map side by side: the
// same entries, the same order, the same text.
TEST(FingerprintDatabase, BehavesAsAnOrderedMapThroughAnySeriesOfChanges)
{
    std::mt19937 random(7);
    std::vector<std::string> paths;
    for (int i = 0; i < 3000; ++i)
        paths.push_back("d" + std::to_string(random() % 40) + (i % 3 ? "/" : ".") + "f" + std::to_string(i));
    std::map<std::string, Database::Entry> model;
    Database database;
    const auto check = [&] {
        ASSERT_EQ(database.size(), model.size());
        std::vector<std::pair<const std::string, Database::Entry>> seen;
        database.forEach([&](std::string_view path, const Database::Entry& e) { seen.emplace_back(path, e); });
        ASSERT_TRUE(std::equal(seen.begin(), seen.end(), model.begin(), model.end()));
    };
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        for (int step = 0; step < 4000; ++step) {
            const std::string& path = paths[random() % paths.size()];
            const Database::Entry e{*Database::digestFromHex(random() % 2 ? kHelloSha : kEmptySha),
                                    std::int64_t(random() % 1000), std::int64_t(random() % 100000), Database::kNever};
            switch (random() % 4) {
            case 0:
            case 1:
                database.set(path, e);
                model[path] = e;
                break;
            case 2:
                EXPECT_EQ(database.erase(path), model.erase(path) == 1);
                break;
            default: {
                const Database::Entry* found = database.find(path);
                const auto it = model.find(path);
                ASSERT_EQ(found != nullptr, it != model.end());
                if (found) {
                    EXPECT_EQ(*found, it->second);
                    database.find(path)->lastVerifiedAt = step;
                    it->second.lastVerifiedAt = step;
                }
            }
            }
        }
        check();
        // Removal in order, stopping part way.
        std::size_t looked = 0;
        const std::size_t removed = database.removeWhere([&](std::string_view path, const Database::Entry&) {
            if (++looked > model.size() / 2)
                return Database::Verdict::stop;
            return path.back() % 3 == 0 ? Database::Verdict::remove : Database::Verdict::keep;
        });
        std::size_t modelRemoved = 0;
        looked = 0;
        for (auto it = model.begin(); it != model.end() && ++looked <= (model.size() + modelRemoved) / 2;) {
            if (it->first.back() % 3 == 0) {
                it = model.erase(it);
                ++modelRemoved;
            } else {
                ++it;
            }
        }
        EXPECT_EQ(removed, modelRemoved);
        check();
        // And through its text.
        database = Database::fromText(database.text());
        check();
    }
}

// The text of a database far larger than the memory given is never held: a file of many
// entries is read piece by piece into entries of their own size.
TEST(FingerprintDatabase, MemoryFollowsTheEntriesNotTheText)
{
    const auto outcome = test::runWithAddressSpaceLimit(std::uint64_t(1) << 30, [] {
        // 2 GiB of one unknown member's text, handed over a piece at a time.
        const std::string head = "{\"a\": {" + validMembers("a") + ", \"future\": \"";
        const std::string tail = "\"}}";
        const std::string filler(1 << 20, 'z');
        std::size_t handed = 0;
        const std::size_t pieces = 2048;
        Database database = Database::read([&]() -> std::optional<std::string_view> {
            const std::size_t n = handed++;
            if (n == 0)
                return head;
            if (n <= pieces)
                return filler;
            if (n == pieces + 1)
                return tail;
            return std::nullopt;
        });
        return std::to_string(database.size());
    });
    ASSERT_TRUE(outcome) << "the reader ran out of memory";
    EXPECT_EQ(*outcome, "1");
}

} // namespace
