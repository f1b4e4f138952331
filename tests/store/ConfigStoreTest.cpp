#include "store/ConfigStore.h"

#include "platform/Clock.h"
#include "platform/Json.h"
#include "platform/UserDefaults.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/TempTree.h"
#include "support/ChildProcess.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second = 0, int ms = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), QTimeZone::utc());
}

BackupPair samplePair(const char* id = "6f1c3e2a-9b7d-4c1e-8a2f-0123456789ab", const char* name = "Photos")
{
    BackupPair pair;
    pair.id = QUuid::fromString(QString::fromLatin1(id));
    pair.name = QString::fromLatin1(name);
    pair.sourceURL = "/home/ada/Photos";
    pair.destinationURL = "/media/ada/Backup";
    pair.createdAt = utc(2026, 3, 1, 9, 30);
    return pair;
}

BackupEvent sampleEvent(int n)
{
    BackupEvent event;
    event.id = QUuid::createUuid();
    event.pairId = samplePair().id;
    event.timestamp = utc(2026, 3, 1, 9, 30);
    event.filesAffected = n;
    return event;
}

// A config.json body holding one pair with the given name.
std::string configWithPair(const char* name)
{
    AppConfig config;
    config.backupInterval = AppConfig::BackupInterval::manual;
    const platform::Json file{{"appConfig", config.toJson()}, {"pairs", {samplePair("6f1c3e2a-9b7d-4c1e-8a2f-0123456789ab", name).toJson()}}};
    return platform::encodeJsonPretty(file);
}

// The most memory this process has held so far.
std::int64_t peakResidentBytes()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return std::int64_t(usage.ru_maxrss) * 1024;
}

ino_t inodeOf(const fs::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

mode_t modeOf(const fs::path& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Sets the process's umask for one scope.
struct ScopedUmask {
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }
    mode_t previous;
};

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setWallClock(&m_clock);
        platform::setUserDefaults(&m_defaults);
    }
    void TearDown() override
    {
        platform::setWallClock(nullptr);
        platform::setUserDefaults(nullptr);
    }

    fs::path dir() const { return m_root / "Larkfold"; }
    fs::path file(const char* name) const { return dir() / name; }
    void put(const char* name, const std::string& content)
    {
        fs::create_directories(dir());
        writeFile(file(name), content);
    }

    TempDir m_root;
    platform::FakeWallClock m_clock{utc(2026, 12, 10, 9, 30)};
    platform::MemoryUserDefaults m_defaults;
};

} // namespace

TEST_F(ConfigStoreTest, FirstLaunchCreatesTheFolderAndWritesNothing)
{
    {
        ConfigStore store(dir());
        EXPECT_TRUE(fs::is_directory(dir()));
        EXPECT_TRUE(fs::is_empty(dir()));
        EXPECT_TRUE(store.pairs().empty());
        EXPECT_EQ(store.appConfig(), AppConfig{});
        EXPECT_TRUE(store.events().empty());
        store.save();
    }
    EXPECT_EQ(readFile(file("config.json")), platform::encodeJsonPretty(platform::Json{{"appConfig", AppConfig{}.toJson()}, {"pairs", platform::Json::array()}}));
    EXPECT_EQ(readFile(file("backup-log.json")), "[]");
    EXPECT_FALSE(fs::exists(file("config.json.backup")));
}

TEST_F(ConfigStoreTest, ConfigFileBytes)
{
    ConfigStore store(dir());
    AppConfig config;
    config.backupInterval = AppConfig::BackupInterval::thirtyMinutes;
    config.notificationLevel = AppConfig::NotificationLevel::dailySummary;
    config.launchAtLogin = false;
    config.hasCompletedOnboarding = true;
    config.bandwidthMode = AppConfig::BandwidthMode::quiet;
    store.setAppConfig(config);
    BackupPair pair = samplePair();
    pair.name = QStringLiteral("Ada's \"Photos\" / 2026");
    pair.destinationURL = "/media/ada/My Drive";
    pair.destinationBookmark = QByteArray("dst");
    pair.createdAt = utc(2026, 3, 1, 9, 30, 0, 500);
    pair.lastBackupAt = utc(2026, 3, 2, 10, 0, 5);
    pair.lastBackupFileCount = 12;
    pair.lastBackupByteCount = 5'000'000'000;
    pair.profile = BackupProfile::photography;
    store.addPair(pair);

    EXPECT_EQ(readFile(file("config.json")), R"({
  "appConfig": {
    "backupInterval": "30min",
    "bandwidthMode": "quiet",
    "hasCompletedOnboarding": true,
    "launchAtLogin": false,
    "notificationLevel": "dailySummary",
    "trashReminderEnabled": true
  },
  "pairs": [
    {
      "createdAt": "2026-03-01T09:30:00Z",
      "destinationBookmark": "ZHN0",
      "destinationURL": "file:\/\/\/media\/ada\/My%20Drive\/",
      "didSuggestProfile": false,
      "id": "6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB",
      "isEnabled": true,
      "lastBackupAt": "2026-03-02T10:00:05Z",
      "lastBackupByteCount": 5000000000,
      "lastBackupFileCount": 12,
      "name": "Ada's \"Photos\" \/ 2026",
      "profile": "photography",
      "sourceURL": "file:\/\/\/home\/ada\/Photos\/"
    }
  ]
})");

    BackupEvent event;
    event.id = QUuid::fromString(QStringLiteral("00000000-0000-4000-8000-00000000000a"));
    event.pairId = pair.id;
    event.timestamp = utc(2026, 3, 2, 10, 0, 5);
    event.type = BackupEvent::EventType::backup;
    event.filesAffected = 12;
    event.bytesTransferred = 4096;
    event.duration = 2.5;
    store.addEvent(event);
    store.save();
    EXPECT_EQ(readFile(file("backup-log.json")), R"([
  {
    "bytesTransferred": 4096,
    "duration": 2.5,
    "filesAffected": 12,
    "id": "00000000-0000-4000-8000-00000000000A",
    "pairId": "6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB",
    "timestamp": "2026-03-02T10:00:05Z",
    "type": "backup"
  }
])");

    // A second store reads back what the first wrote; the fraction of a second is gone.
    ConfigStore again(dir());
    pair.createdAt = utc(2026, 3, 1, 9, 30);
    EXPECT_EQ(again.pairs(), std::vector<BackupPair>{pair});
    EXPECT_EQ(again.appConfig(), config);
    ASSERT_EQ(again.events().size(), 1u);
    EXPECT_EQ(again.events()[0].id, event.id);
}

TEST_F(ConfigStoreTest, SaveKeepsThePreviousFileAsBackup)
{
    {
        ConfigStore store(dir());
        store.addPair(samplePair());
        EXPECT_FALSE(fs::exists(file("config.json.backup")));
    }
    const std::string first = readFile(file("config.json"));
    ConfigStore store(dir());
    BackupPair renamed = samplePair();
    renamed.name = QStringLiteral("Renamed");
    store.updatePair(renamed);
    EXPECT_EQ(readFile(file("config.json.backup")), first);
    const std::string second = readFile(file("config.json"));
    EXPECT_NE(second, first);
    store.save();
    EXPECT_EQ(readFile(file("config.json.backup")), second);
}

TEST_F(ConfigStoreTest, UnusableConfigIsSetAsideAndTheBackupRecovers)
{
    struct Case {
        const char* what;
        std::string content;
    } cases[] = {
        {"bad JSON", "{\"appConfig\": "},
        {"wrong type", R"({"appConfig": [], "pairs": []})"},
        {"pairs missing", R"({"appConfig": {"backupInterval": "1hr", "notificationLevel": "errorsOnly", "launchAtLogin": true, "hasCompletedOnboarding": false}})"},
        {"unknown enumeration value", [] {
             std::string text = configWithPair("Broken");
             text.replace(text.find("\"manual\""), 8, "\"weekly\"");
             return text;
         }()},
        {"date with a fraction", [] {
             std::string text = configWithPair("Broken");
             text.replace(text.find("09:30:00Z"), 9, "09:30:00.500Z");
             return text;
         }()},
        {"pair without createdAt", [] {
             platform::Json file = platform::parseJson(configWithPair("Broken"));
             file["pairs"][0].erase("createdAt");
             return platform::encodeJsonPretty(file);
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir());
        put("config.json", c.content);
        put("config.json.backup", configWithPair("From backup"));
        LogCapture log;
        ConfigStore store(dir());

        ASSERT_EQ(store.pairs().size(), 1u);
        EXPECT_EQ(store.pairs()[0].name, "From backup");
        EXPECT_EQ(store.appConfig().backupInterval, AppConfig::BackupInterval::manual);
        EXPECT_EQ(log.count("Failed to load config.json: ", "ConfigStore"), 1);
        EXPECT_EQ(log.count("Recovered from config.json.backup", "ConfigStore"), 1);
        EXPECT_EQ(readFile(file("config.json.damaged-20261210T093000Z")), c.content);
        // The recovered state is written at once; the good backup stays as it was.
        EXPECT_EQ(readFile(file("config.json")), configWithPair("From backup"));
        EXPECT_EQ(readFile(file("config.json.backup")), configWithPair("From backup"));
    }
}

TEST_F(ConfigStoreTest, UnusableConfigWithoutBackupNeverBecomesTheBackup)
{
    put("config.json", "not json");
    {
        ConfigStore store(dir());
        EXPECT_TRUE(store.pairs().empty());
        EXPECT_FALSE(fs::exists(file("config.json")));
        store.addPair(samplePair());
        store.addPair(samplePair("00000000-0000-4000-8000-000000000002", "Second"));
    }
    EXPECT_EQ(readFile(file("config.json.damaged-20261210T093000Z")), "not json");
    // The first save had no file to keep; the second kept the one this process wrote.
    EXPECT_EQ(platform::parseJson(readFile(file("config.json")))["pairs"].size(), 2u);
    EXPECT_EQ(platform::parseJson(readFile(file("config.json.backup")))["pairs"].size(), 1u);
}

TEST_F(ConfigStoreTest, BothUnusableStartFromDefaultsAndKeepBothAside)
{
    put("config.json", "[1, 2");
    put("config.json.backup", "{}");
    put("config.json.damaged-20261210T093000Z", "an earlier one");
    LogCapture log;
    {
        ConfigStore store(dir());
        EXPECT_TRUE(store.pairs().empty());
        EXPECT_EQ(store.appConfig(), AppConfig{});
        EXPECT_EQ(log.count("Backup recovery also failed: ", "ConfigStore"), 1);
        store.addPair(samplePair());
    }
    EXPECT_EQ(readFile(file("config.json.damaged-20261210T093000Z")), "an earlier one");
    EXPECT_EQ(readFile(file("config.json.damaged-20261210T093000Z-2")), "[1, 2");
    EXPECT_EQ(readFile(file("config.json.backup.damaged-20261210T093000Z")), "{}");
    EXPECT_FALSE(fs::exists(file("config.json.backup")));
    EXPECT_EQ(platform::parseJson(readFile(file("config.json")))["pairs"].size(), 1u);
}

TEST_F(ConfigStoreTest, BackupWithoutConfigIsRecovered)
{
    // What a launch leaves when it set the damaged file aside and then could not write the
    // recovered one (a full disk, a crash): no "config.json", only the good backup.
    put("config.json.damaged-20261201T080000Z", "not json");
    put("config.json.backup", configWithPair("From backup"));
    LogCapture log;
    {
        ConfigStore store(dir());
        ASSERT_EQ(store.pairs().size(), 1u);
        EXPECT_EQ(store.pairs()[0].name, "From backup");
        EXPECT_EQ(log.count("Recovered from config.json.backup", "ConfigStore"), 1);
        EXPECT_EQ(readFile(file("config.json")), configWithPair("From backup"));
        store.addPair(samplePair("00000000-0000-4000-8000-000000000002", "Second"));
        store.save();
    }
    EXPECT_EQ(platform::parseJson(readFile(file("config.json")))["pairs"].size(), 2u);
    EXPECT_EQ(readFile(file("config.json.damaged-20261201T080000Z")), "not json");
}

TEST_F(ConfigStoreTest, HugeOrDeeplyNestedFilesAreRefusedWithoutParsing)
{
    const std::string huge(std::size_t(ConfigStore::kMaxFileBytes) + 1, '[');
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    struct Case {
        const char* what;
        const char* name;
        const std::string& content;
        const char* reason;
    } cases[] = {
        {"a huge config.json", "config.json", huge, "Too large to read: 16 MB (at most 16 MB)"},
        {"a deep config.json", "config.json", deep, "Nested more than 32 levels deep"},
        {"a huge backup-log.json", "backup-log.json", huge, "Too large to read: "},
        {"a deep backup-log.json", "backup-log.json", deep, "Nested more than 32 levels deep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir());
        put(c.name, c.content);
        put("config.json.backup", configWithPair("From backup"));
        const std::int64_t peakBefore = peakResidentBytes();
        LogCapture log;
        ConfigStore store(dir());
        // Parsing either file would take many times its size.
        EXPECT_LT(peakResidentBytes() - peakBefore, 4 * ConfigStore::kMaxFileBytes);
        EXPECT_EQ(log.count(QStringLiteral("Failed to load %1: ").arg(QLatin1String(c.name)) + QLatin1String(c.reason),
                            "ConfigStore"),
                  1);
        EXPECT_TRUE(store.events().empty());
        ASSERT_EQ(store.pairs().size(), 1u);
        if (std::string_view(c.name) == "config.json") {
            EXPECT_EQ(store.pairs()[0].name, "From backup");
            EXPECT_EQ(fs::file_size(file("config.json.damaged-20261210T093000Z")), c.content.size());
        }
    }

    // Brackets inside a string are text, not nesting.
    fs::remove_all(dir());
    const std::string name = std::string(100, '[') + "\"{";
    put("config.json", configWithPair(name.c_str()));
    ConfigStore store(dir());
    ASSERT_EQ(store.pairs().size(), 1u);
    EXPECT_EQ(store.pairs()[0].name.toStdString(), name);
}

TEST_F(ConfigStoreTest, LeftoverTemporariesOfASaveAreRemovedAtLaunch)
{
    put("config.json", configWithPair("Current"));
    put("config.json.backup", configWithPair("Previous"));
    const char* leftovers[] = {"config.json.Ab3xYz", "config.json.backup.QwErTy", "backup-log.json.abcdef"};
    for (const char* name : leftovers)
        put(name, "half a save");
    const char* kept[] = {"config.json.damaged-20261201T080000Z", "config.json.abcdefg", "config.json.tmp",
                          "config.json.ab-def", "notes.txt.abcdef", "larkfold.lock"};
    for (const char* name : kept)
        put(name, "not ours to remove");
    put("backup-log.json", "[]");
    fs::create_directory(file("config.json.FOLDER"));
    fs::create_symlink(file("config.json.backup"), file("config.json.LINKED"));

    LogCapture log;
    ConfigStore store(dir());
    for (const char* name : leftovers)
        EXPECT_FALSE(fs::exists(file(name))) << name;
    for (const char* name : kept)
        EXPECT_EQ(readFile(file(name)), "not ours to remove") << name;
    EXPECT_TRUE(fs::is_directory(file("config.json.FOLDER")));
    EXPECT_TRUE(fs::is_symlink(file("config.json.LINKED")));
    EXPECT_EQ(readFile(file("backup-log.json")), "[]");
    EXPECT_EQ(readFile(file("config.json.backup")), configWithPair("Previous"));
    ASSERT_EQ(store.pairs().size(), 1u);
    EXPECT_EQ(store.pairs()[0].name, "Current");
    EXPECT_EQ(log.count("Removed the leftover temporary file ", "ConfigStore"), 3);
}

TEST_F(ConfigStoreTest, ConfigThatCannotBeReadIsSetAside)
{
    // A folder where the file should be fails the read like an I/O error would.
    fs::create_directories(file("config.json"));
    put("config.json.backup", configWithPair("From backup"));
    {
        ConfigStore store(dir());
        ASSERT_EQ(store.pairs().size(), 1u);
        EXPECT_TRUE(fs::is_directory(file("config.json.damaged-20261210T093000Z")));
    }

    // Permission denied, as a user that may not read the file but owns the folder.
    fs::remove_all(dir());
    put("config.json", configWithPair("Unreadable"));
    put("config.json.backup", configWithPair("From backup"));
    ::chmod(file("config.json").c_str(), 0);
    ::chmod(m_root.path().c_str(), 0755);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir().c_str(), 65534, 65534), 0);
    }
    const auto result = runUnprivileged([&] {
        ConfigStore store(dir());
        const bool aside = fs::exists(file("config.json.damaged-20261210T093000Z"));
        return (store.pairs().size() == 1 ? store.pairs()[0].name.toStdString() : std::string("none"))
            + (aside ? "+aside" : "");
    });
    ASSERT_TRUE(result) << "could not drop privileges";
    EXPECT_EQ(*result, "From backup+aside");
}

TEST_F(ConfigStoreTest, FailedSaveLeavesBothFilesAndLogs)
{
    put("config.json", configWithPair("Current"));
    put("config.json.backup", configWithPair("Previous"));
    ::chmod(m_root.path().c_str(), 0755);
    ::chmod(dir().c_str(), 0555); // root keeps ownership; the unprivileged user may only read
    const auto result = runUnprivileged([&] {
        LogCapture log;
        ConfigStore store(dir());
        store.addPair(samplePair("00000000-0000-4000-8000-000000000002", "New"));
        return std::to_string(store.pairs().size()) + " "
            + std::to_string(log.count("Failed to write config.json: ", "ConfigStore"));
    });
    ASSERT_TRUE(result) << "could not drop privileges";
    EXPECT_EQ(*result, "2 1");
    EXPECT_EQ(readFile(file("config.json")), configWithPair("Current"));
    EXPECT_EQ(readFile(file("config.json.backup")), configWithPair("Previous"));
}

TEST_F(ConfigStoreTest, SaveOnAFullDiskKeepsTheBackup)
{
    // A large current file and a small backup: removing the backup first would free too little
    // room for the copy, and the backup would be lost.
    platform::Json pairs = platform::Json::array();
    for (int n = 0; n < 100; ++n)
        pairs.push_back(samplePair("6f1c3e2a-9b7d-4c1e-8a2f-0123456789ab", "A pair with a long enough name").toJson());
    const std::string current = platform::encodeJsonPretty(platform::Json{{"appConfig", AppConfig{}.toJson()}, {"pairs", pairs}});
    const std::string previous = configWithPair("Previous");
    fs::create_directories(dir());
    const auto result = runInPrivateMountNamespace([&] {
        if (::mount("tmpfs", dir().c_str(), "tmpfs", 0, "size=256k") != 0)
            return std::string("no tmpfs");
        writeFile(file("config.json"), current);
        writeFile(file("config.json.backup"), previous);
        writeFile(file("filler"), std::string(256 * 1024, 'x')); // stops short at ENOSPC
        ::truncate(file("filler").c_str(), fs::file_size(file("filler")) - 8 * 1024);

        LogCapture log;
        ConfigStore store(dir());
        store.addPair(samplePair("00000000-0000-4000-8000-000000000002", "New"));
        const bool unchanged = readFile(file("config.json")) == current && readFile(file("config.json.backup")) == previous;
        return std::string(unchanged ? "unchanged" : "changed") + " "
            + std::to_string(log.count("Failed to update config.json.backup: ", "ConfigStore")) + " "
            + std::to_string(log.count("Failed to write config.json: ", "ConfigStore"));
    });
    if (!result || *result == "no tmpfs")
        GTEST_SKIP() << "no private mount namespace with tmpfs here";
    EXPECT_EQ(*result, "unchanged 1 1");
}

TEST_F(ConfigStoreTest, OurFolderAndFilesAreTheUsersAloneWhateverTheUmask)
{
    for (const mode_t mask : {mode_t(022), mode_t(0277), mode_t(0)}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        fs::remove_all(dir());
        ScopedUmask umask(mask);
        ConfigStore store(dir());
        EXPECT_EQ(modeOf(dir()), 0700u);
        store.addPair(samplePair());
        store.addPair(samplePair("00000000-0000-4000-8000-000000000002", "Music")); // makes the backup
        store.addEvent(sampleEvent(1));
        store.save();
        for (const char* name : {"config.json", "config.json.backup", "backup-log.json"})
            EXPECT_EQ(modeOf(file(name)), 0600u) << name;
    }

    // What an older version left open to everyone is closed at the next start.
    fs::remove_all(dir());
    ScopedUmask umask(022);
    const char* files[] = {"config.json", "config.json.backup", "backup-log.json", "larkfold.lock",
                           "config.json.damaged-20261201T080000Z"};
    for (const char* name : files) {
        put(name, name == std::string_view("config.json") ? configWithPair("Docs") : "[]");
        ::chmod(file(name).c_str(), 0644);
    }
    ::chmod(dir().c_str(), 0755);
    const fs::path outside = m_root / "outside.txt";
    writeFile(outside, "not ours");
    ::chmod(outside.c_str(), 0644);
    fs::create_symlink(outside, file("linked"));
    ConfigStore store(dir());
    EXPECT_EQ(modeOf(dir()), 0700u);
    for (const char* name : files)
        EXPECT_EQ(modeOf(file(name)), 0600u) << name;
    EXPECT_EQ(modeOf(outside), 0644u) << "a link is not followed";
}

TEST_F(ConfigStoreTest, EventLogKeepsTheNewest500)
{
    {
        ConfigStore store(dir());
        for (int n = 0; n < 501; ++n)
            store.addEvent(sampleEvent(n));
        ASSERT_EQ(store.events().size(), 500u);
        EXPECT_EQ(store.events().front().filesAffected, 1);
        EXPECT_EQ(store.events().back().filesAffected, 500);
    }

    platform::Json log = platform::Json::array();
    for (int n = 0; n < 600; ++n)
        log.push_back(sampleEvent(n).toJson());
    put("backup-log.json", platform::encodeJsonPretty(log));
    ConfigStore store(dir());
    EXPECT_EQ(store.events().size(), 600u);
    store.addEvent(sampleEvent(600));
    ASSERT_EQ(store.events().size(), 500u);
    EXPECT_EQ(store.events().front().filesAffected, 101);
    EXPECT_EQ(store.events().back().filesAffected, 600);
}

TEST_F(ConfigStoreTest, EventBurstIsWrittenOnceAfterItEnds)
{
    ConfigStore store(dir());
    for (int n = 0; n < 10; ++n)
        store.addEvent(sampleEvent(n));
    EXPECT_FALSE(fs::exists(file("backup-log.json")));
    ASSERT_TRUE(spinUntil([&] { return fs::exists(file("backup-log.json")); }, 5000));
    const ino_t written = inodeOf(file("backup-log.json"));
    EXPECT_EQ(platform::parseJson(readFile(file("backup-log.json"))).size(), 10u);
    spinFor(2 * ConfigStore::kLogFlushDelayMs);
    EXPECT_EQ(inodeOf(file("backup-log.json")), written); // no second write
}

TEST_F(ConfigStoreTest, SaveWritesThePendingLogAtOnce)
{
    {
        ConfigStore store(dir());
        store.addEvent(sampleEvent(1));
        store.save();
        EXPECT_TRUE(fs::exists(file("config.json")));
        EXPECT_EQ(platform::parseJson(readFile(file("backup-log.json"))).size(), 1u);
        const ino_t written = inodeOf(file("backup-log.json"));
        spinFor(2 * ConfigStore::kLogFlushDelayMs);
        EXPECT_EQ(inodeOf(file("backup-log.json")), written); // the pending flush never ran

        store.addEvent(sampleEvent(2));
    }
    // Destroyed with a write pending: dropped.
    spinFor(2 * ConfigStore::kLogFlushDelayMs);
    EXPECT_EQ(platform::parseJson(readFile(file("backup-log.json"))).size(), 1u);
}

TEST_F(ConfigStoreTest, LogRecordsThatCannotBeReadAreSkippedAndTheRestKept)
{
    platform::Json log = platform::Json::array();
    for (int n = 0; n < 300; ++n) {
        platform::Json event = sampleEvent(n).toJson();
        if (n == 150)
            event["type"] = "someFutureEventType"; // written by a newer version
        log.push_back(event);
    }
    log.push_back("not a record");
    put("backup-log.json", platform::encodeJsonPretty(log));

    LogCapture capture;
    ConfigStore store(dir());
    ASSERT_EQ(store.events().size(), 299u);
    EXPECT_EQ(store.events()[150].filesAffected, 151);
    EXPECT_EQ(capture.count("Skipped 2 of 301 events in backup-log.json that could not be read: ", "ConfigStore"), 1);
    EXPECT_EQ(capture.count("Failed to load backup-log.json", "ConfigStore"), 0);
    store.addEvent(sampleEvent(300));
    store.save();
    EXPECT_EQ(platform::parseJson(readFile(file("backup-log.json"))).size(), 300u);
}

TEST_F(ConfigStoreTest, LogThatCannotBeReadIsSetAsideBeforeItIsReplaced)
{
    const struct {
        const char* what;
        const char* content; // a folder when null
    } cases[] = {
        {"not JSON", "[{\"id\": "},
        {"not an array", "{\"events\": []}"},
        {"a folder at its name", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir());
        if (c.content)
            put("backup-log.json", c.content);
        else
            fs::create_directories(file("backup-log.json"));
        LogCapture log;
        ConfigStore store(dir());
        EXPECT_TRUE(store.events().empty());
        EXPECT_EQ(log.count("Failed to load backup-log.json: ", "ConfigStore"), 1);
        store.addEvent(sampleEvent(1));
        store.save();
        EXPECT_EQ(platform::parseJson(readFile(file("backup-log.json"))).size(), 1u);
        const fs::path aside = file("backup-log.json.damaged-20261210T093000Z");
        if (c.content)
            EXPECT_EQ(readFile(aside), c.content);
        else
            EXPECT_TRUE(fs::is_directory(aside));
    }
}

TEST_F(ConfigStoreTest, SignalsOnlyOnRealChange)
{
    ConfigStore store(dir());
    QSignalSpy pairsChanged(&store, &ConfigStore::pairsChanged);
    QSignalSpy configChanged(&store, &ConfigStore::appConfigChanged);
    QSignalSpy eventsChanged(&store, &ConfigStore::eventsChanged);

    store.setAppConfig(AppConfig{});
    store.setPairs({});
    store.setEvents({});
    EXPECT_EQ(configChanged.count() + pairsChanged.count() + eventsChanged.count(), 0);

    AppConfig quiet;
    quiet.bandwidthMode = AppConfig::BandwidthMode::quiet;
    store.setAppConfig(quiet);
    store.setAppConfig(quiet);
    EXPECT_EQ(configChanged.count(), 1);
    EXPECT_FALSE(fs::exists(file("config.json"))); // assigning writes nothing

    store.setPairs({samplePair()});
    store.setPairs({samplePair()});
    EXPECT_EQ(pairsChanged.count(), 1);

    store.addEvent(sampleEvent(1));
    EXPECT_EQ(eventsChanged.count(), 1);
}

TEST_F(ConfigStoreTest, PairOperationsByIdentity)
{
    ConfigStore store(dir());
    QSignalSpy pairsChanged(&store, &ConfigStore::pairsChanged);

    store.updatePair(samplePair());
    EXPECT_EQ(pairsChanged.count(), 0);
    EXPECT_FALSE(fs::exists(file("config.json"))); // unknown id: nothing at all

    const BackupPair other = samplePair("00000000-0000-4000-8000-000000000002", "Other");
    store.addPair(samplePair());
    store.addPair(other);
    store.addPair(samplePair("6f1c3e2a-9b7d-4c1e-8a2f-0123456789ab", "Duplicate id"));
    EXPECT_EQ(pairsChanged.count(), 3);

    BackupPair changed = samplePair();
    changed.isEnabled = false;
    store.updatePair(changed);
    ASSERT_EQ(store.pairs().size(), 3u);
    EXPECT_FALSE(store.pairs()[0].isEnabled);
    EXPECT_EQ(store.pairs()[2].name, "Duplicate id");

    m_defaults.setValue("didLogPackageUpgrade_6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB", true);
    store.removePair(samplePair().id);
    EXPECT_EQ(store.pairs(), std::vector<BackupPair>{other});
    EXPECT_FALSE(m_defaults.contains("didLogPackageUpgrade_6F1C3E2A-9B7D-4C1E-8A2F-0123456789AB"));

    // An unknown id still rewrites the file and forgets the key.
    m_defaults.setValue("didLogPackageUpgrade_00000000-0000-4000-8000-0000000000FF", true);
    fs::remove(file("config.json"));
    store.removePair(QUuid::fromString(QStringLiteral("00000000-0000-4000-8000-0000000000ff")));
    EXPECT_TRUE(fs::exists(file("config.json")));
    EXPECT_FALSE(m_defaults.contains("didLogPackageUpgrade_00000000-0000-4000-8000-0000000000FF"));
}
