#include "EngineHarnessFixture.h"

#include "copy/BandwidthThrottle.h"
#include "engine/BackupTasks.h"
#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/InotifyFileEvents.h"
#include "platform/MountSource.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/OpenFiles.h"

#include <gtest/gtest.h>

#include <future>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using EventType = BackupEvent::EventType;

TEST(BackupEngine, StartStopsAtTheFirstReasonNotToBackUp)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}, {"other/", ""}};
    const auto bookmark = platform::systemBookmarks().create(tree.path("other"));
    ASSERT_TRUE(bookmark);
    fs::remove(tree.path("other"));

    struct Case {
        const char* what;
        std::function<void(BackupPair&)> change;
        BackupStatus expected;
    } cases[] = {
        {"disabled", [](BackupPair& p) { p.isEnabled = false; }, BackupStatus::paused()},
        {"destination missing", [&](BackupPair& p) { p.destinationURL = tree.path("gone"); },
         BackupStatus::destinationUnreachable()},
        {"bookmark lost", [&](BackupPair& p) { p.destinationBookmark = *bookmark; },
         BackupStatus::error(BackupError::bookmarkStale(tree.path("dest")))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
        c.change(pair);
        BackupEngine& engine = harness.startEngine(pair);
        spinFor(200);
        EXPECT_EQ(engine.status(), c.expected);
        EXPECT_FALSE(engine.hasRunningTask());
    }
    EXPECT_TRUE(harness.store().events().empty());

    // A source that cannot be watched is still backed up, which then finds it missing.
    BackupPair missingSource = harness.addPair("Missing", tree.path("nothing"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(missingSource);
    ASSERT_TRUE(harness.waitForStatus(isError));
    EXPECT_EQ(harness.eventMessages(),
              std::vector<QString>{"Source folder is not readable — check permissions or reconnect the drive."});
    EXPECT_FALSE(engine.watchWarning().isEmpty());
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold")));
}

TEST(BackupEngine, StatusNotifiesOnlyOnARealChange)
{
    BackupEngine engine(QUuid::createUuid());
    int changes = 0;
    QObject::connect(&engine, &BackupEngine::statusChanged, [&] { ++changes; });
    engine.setStatus(BackupStatus::idle());
    engine.setStatus(BackupStatus::syncing(0.5, "a.txt"));
    engine.setStatus(BackupStatus::syncing(0.5, "a.txt"));
    engine.setStatus(BackupStatus::syncing(0.5, "b.txt"));
    EXPECT_EQ(changes, 2);
}

TEST(BackupEngine, DestinationsOnTheSystemDiskInPlaceOfADriveAreUnreachable)
{
    TempTree tree{{"backups/", ""}};
    const platform::TextMountSource rootOnly("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
    EXPECT_TRUE(BackupEngine::isDestinationAvailable(tree.path("backups"), std::nullopt, rootOnly));
    EXPECT_FALSE(BackupEngine::isDestinationAvailable(tree.path("missing"), std::nullopt, rootOnly));
    EXPECT_FALSE(BackupEngine::isDestinationAvailable(tree.path("backups"), std::nullopt, platform::TextMountSource("")));

    // Real folders under /media are needed for the rest: a private tmpfs there keeps the host untouched.
    const auto outcome = runInPrivateMountNamespace([] {
        if (::mount("tmpfs", "/media", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories("/media/sam/Drive/Backups");
        fs::create_directories("/mnt");
        if (::mount("tmpfs", "/mnt", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories("/mnt/Drive/Backups");
        const auto table = [](const std::string& mountPoint) {
            return platform::TextMountSource("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:2 / " + mountPoint
                                             + " rw - ext4 /dev/sdb1 rw\n");
        };
        std::string answers;
        for (const auto& [path, mountPoint] : std::vector<std::pair<std::string, std::string>>{
                 {"/media/sam/Drive/Backups", "/media/sam/Drive"}, // the drive is there
                 {"/media/sam/Drive/Backups", "/media"},           // only the folder it leaves behind
                 {"/media/sam/Drive/Backups", "/run"},
                 {"/mnt/Drive/Backups", "/mnt/Drive"},
                 {"/mnt/Drive/Backups", "/mnt"},
             })
            answers += BackupEngine::isDestinationAvailable(path, std::nullopt, table(mountPoint)) ? '1' : '0';
        return answers;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "10010");
}

TEST(BackupEngine, TriggersGiveUpWaitingTasksButNeverARunningJob)
{
    QuietMode quiet;
    EngineHarness harness;
    TempTree tree{{"dest/", ""}};
    writeFiles(tree.path("source"), 40);
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.makeEngine(pair);

    // Two triggers in a row: the first never reaches the queue, only one run happens.
    engine.triggerBackup(pair);
    engine.triggerBackup(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    EXPECT_EQ(harness.eventTypes(), std::vector<EventType>({EventType::backup, EventType::integrityChecked}));

    // Triggers while a job copies: the job finishes, then one new run follows it.
    writeFiles(tree.path("source/more"), 40);
    engine.triggerBackup(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& s) { return s.is<BackupStatus::Syncing>(); }));
    for (int i = 0; i < 20; ++i)
        engine.triggerBackup(pair);
    ASSERT_TRUE(spinUntil(
        [&] {
            const auto types = harness.eventTypes();
            return std::count(types.begin(), types.end(), EventType::backup) == 3;
        },
        15000));
    const auto& events = harness.store().events();
    EXPECT_EQ(events[events.size() - 2].filesAffected, 40);
    EXPECT_EQ(events.back().filesAffected, 0);
    EXPECT_EQ(countFiles(tree.path("dest/Larkfold/Docs")), 80);
    ASSERT_TRUE(harness.waitForTasks());
    spinFor(500);
    EXPECT_EQ(harness.store().events().size(), 4u);
}

// A stop must end the job at once: fingerprinting what the run copied can take minutes after a
// large first run, so the next run fingerprints those copies first.
TEST(BackupEngine, StopDuringARunEndsItAtOnceAndTheNextRunFingerprintsWhatItCopied)
{
    QuietMode quiet;
    EngineHarness harness;
    TempTree tree{{"dest/", ""}};
    writeFiles(tree.path("source"), 60);
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& s) {
        return s.is<BackupStatus::Syncing>() && s.as<BackupStatus::Syncing>()->progress > 0.2;
    }));

    // As the coordinator does when the drive goes: stop, then show the drive as missing.
    engine.stop();
    EXPECT_TRUE(isIdle(engine.status()));
    engine.setStatus(BackupStatus::destinationUnreachable());
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(engine.status(), BackupStatus::destinationUnreachable());
    EXPECT_EQ(harness.statuses().back(), BackupStatus::destinationUnreachable());
    EXPECT_TRUE(harness.store().events().empty());
    EXPECT_FALSE(harness.storedPair(pair.id).lastBackupAt.has_value());

    const int copied = countFiles(tree.path("dest/Larkfold/Docs"));
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, 60);
    const fs::path hashes = tree.path("dest/Larkfold/Docs/.larkfold-hashes.json");
    EXPECT_FALSE(fs::exists(hashes));

    // The queue is free again for the next job, which copies the rest and fingerprints all.
    engine.triggerBackup(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun(15000));
    EXPECT_EQ(countFiles(tree.path("dest/Larkfold/Docs")), 60);
    const std::string database = readFile(hashes);
    EXPECT_EQ(std::count(database.begin(), database.end(), '{') - 1, 60);
    EXPECT_LT(harness.storedPair(pair.id).lastBackupFileCount, 60);
}

TEST(BackupEngine, AStaleBookmarkAtTheSamePathIsRenewedWithoutUndoingOtherFields)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    pair.destinationBookmark = platform::systemBookmarks().create(tree.path("dest"));
    harness.store().updatePair(pair);

    // The folder was replaced by another of the same name; meanwhile the store's record moved on.
    fs::rename(tree.path("dest"), tree.path("old"));
    tree.mkdir("dest");
    BackupPair stored = harness.storedPair(pair.id);
    stored.lastOffsiteFileCount = 7;
    harness.store().updatePair(stored);

    BackupEngine& engine = harness.makeEngine(pair);
    EXPECT_EQ(engine.resolveURLs(pair), std::nullopt);
    EXPECT_EQ(engine.resolvedDestinationURL(), fs::canonical(tree.path("dest")));
    const BackupPair saved = harness.storedPair(pair.id);
    EXPECT_EQ(saved.lastOffsiteFileCount, 7);
    ASSERT_TRUE(saved.destinationBookmark);
    EXPECT_NE(*saved.destinationBookmark, *pair.destinationBookmark);
    const auto fresh = platform::systemBookmarks().resolve(*saved.destinationBookmark);
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->isStale);
}

TEST(BackupEngine, ANetworkShareMountedTwiceIsLoggedOnce)
{
    const platform::TextMountSource mounts("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                           "2 1 0:50 / /mnt/nas-b rw - nfs4 nas:/backups rw\n"
                                           "3 1 0:51 / /mnt/nas-a rw - nfs4 nas:/backups rw\n"
                                           "4 1 8:17 / /media/usb rw - ext4 /dev/sdb1 rw\n"
                                           "5 1 8:17 / /media/usb2 rw - ext4 /dev/sdb1 rw\n");
    LogCapture log;
    BackupEngine::logDuplicateMounts("/mnt/nas-a/Larkfold", mounts);
    BackupEngine::logDuplicateMounts("/media/usb/Larkfold", mounts);
    ASSERT_EQ(log.count("Destination volume is mounted"), 1);
    EXPECT_TRUE(log.contains("Destination volume is mounted 2 times: <private>. Using <private>.", "App"));
}

TEST(BackupEngine, AStaleBookmarkThatLeadsElsewhereFails)
{
    // A device node for the temporary folder's file system stands in for /dev/disk/by-uuid.
    TempTree tree{{"source/a.txt", "a"}, {"drive/Backups/", ""}, {"by-uuid/", ""}};
    struct stat st{};
    ASSERT_EQ(::stat(tree.root().c_str(), &st), 0);
    if (::mknod(tree.path("by-uuid/1234-ABCD").c_str(), S_IFBLK | 0600, st.st_dev) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    const auto mountLine = [](const fs::path& point) { return "2 1 8:2 / " + point.string() + " rw - ext4 /dev/sdz1 rw\n"; };
    const platform::TextMountSource before("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n" + mountLine(tree.path("drive")));
    const platform::TextMountSource after("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n" + mountLine(tree.path("drive1")));

    EngineHarness harness;
    BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("drive/Backups"));
    pair.destinationBookmark = platform::Bookmarks(before, tree.path("by-uuid")).create(tree.path("drive/Backups"));
    ASSERT_TRUE(pair.destinationBookmark);
    // The drive now shows up at another mount point; the stored path holds an empty stand-in.
    fs::rename(tree.path("drive"), tree.path("drive1"));
    tree.mkdir("drive/Backups");
    platform::Bookmarks bookmarks(after, tree.path("by-uuid"));
    harness.environment.bookmarks = &bookmarks;

    BackupEngine& engine = harness.makeEngine(pair);
    EXPECT_EQ(engine.resolveURLs(pair), BackupError::bookmarkStale(tree.path("drive/Backups")));
    EXPECT_FALSE(engine.resolvedDestinationURL().has_value());
    EXPECT_EQ(harness.storedPair(pair.id).destinationBookmark, std::nullopt);
}

TEST(BackupEngine, FreeSpaceRuleAtBothThresholds)
{
    constexpr std::int64_t kMargin = 524288000;
    struct Case {
        const char* what;
        bool sameVolume;
        std::optional<std::int64_t> available; // none: the capacity cannot be read
        std::optional<BackupError> refusal;
    } cases[] = {
        {"same volume, margin exactly", true, kMargin, std::nullopt},
        {"same volume, a byte short", true, kMargin - 1, BackupError::diskSpaceLow(kMargin - 1, kMargin)},
        {"other volume, room for 1000 bytes", false, kMargin + 1000, std::nullopt},
        {"other volume, a byte short", false, kMargin + 999, BackupError::diskSpaceLow(kMargin + 999, kMargin + 1000)},
        {"capacity unknown", false, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineHarness harness;
        TempTree tree{{"source/a.bin", std::string(600, 'a')}, {"source/b.bin", std::string(400, 'b')}, {"dest/", ""}};
        harness.volumes.setVolume({tree.path("source"), platform::VolumeSpace{1 << 30, 1 << 30}, 1, false});
        harness.volumes.setVolume({tree.path("dest"),
                                   c.available ? std::optional(platform::VolumeSpace{1ull << 40, std::uint64_t(*c.available)})
                                               : std::nullopt,
                                   c.sameVolume ? 1u : 2u, false});
        const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
        BackupEngine& engine = harness.startEngine(pair);
        ASSERT_TRUE(harness.waitForTasks());
        if (c.refusal) {
            EXPECT_EQ(engine.status(), BackupStatus::error(*c.refusal));
            EXPECT_EQ(harness.eventMessages(), std::vector<QString>{"The backup drive is running low on space."});
            EXPECT_EQ(harness.notificationTitles(), std::vector<QString>{"Backup Drive Almost Full"});
            EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold")));
        } else {
            EXPECT_EQ(harness.eventTypes().front(), EventType::backup);
            EXPECT_EQ(countFiles(tree.path("dest/Larkfold/Docs")), 2);
        }
    }
}

TEST(BackupEngine, PowerConditionsPauseTheJobWithAnEvent)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    harness.power.setRunningHot(true);
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(engine.status(), BackupStatus::paused());
    EXPECT_EQ(harness.eventTypes(), std::vector<EventType>{EventType::error});
    EXPECT_EQ(harness.eventMessages(),
              std::vector<QString>{"Your computer is running hot — will resume when it cools down."});
    EXPECT_TRUE(harness.notificationTitles().empty());
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold")));
}

TEST(BackupEngine, AJobOverTheTimeLimitEndsWithItsStatusEventAndNotification)
{
    QuietMode quiet;
    platform::FakeContinuousClock clock;
    EngineHarness harness(BackupQueue::Options{std::chrono::seconds(3600), &clock});
    TempTree tree{{"dest/", ""}};
    writeFiles(tree.path("source"), 200);
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& s) {
        return s.is<BackupStatus::Syncing>() && s.as<BackupStatus::Syncing>()->progress > 0.05;
    }));
    ASSERT_TRUE(spinUntil([&] { return clock.sleeperCount() >= 1; }));

    clock.advance(std::chrono::seconds(3600));
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::timedOut()));
    EXPECT_EQ(harness.eventTypes(), std::vector<EventType>{EventType::error});
    EXPECT_EQ(harness.eventMessages(), std::vector<QString>{"This backup took too long and was stopped part-way."});
    EXPECT_EQ(harness.notificationTitles(), std::vector<QString>{"Backup Problem"});
    // What it copied before the limit stays; its fingerprints come with the next run.
    EXPECT_GT(countFiles(tree.path("dest/Larkfold/Docs")), 0);
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold/Docs/.larkfold-hashes.json")));
}

TEST(BackupEngine, ASecondPairForTheSameBackupFolderRefusesToRun)
{
    EngineHarness harness;
    TempTree tree{{"photos/a.jpg", "a"}, {"pictures/b.jpg", "b"}, {"dest/", ""}};
    const BackupPair first = harness.addPair("Photos", tree.path("photos"), tree.path("dest"));
    const BackupPair second = harness.addPair("Photos/", tree.path("pictures"), tree.path("dest/"));
    harness.startEngine(first);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    BackupEngine& engine = harness.startEngine(second);
    ASSERT_TRUE(harness.waitForTasks());
    const auto* error = engine.status().as<BackupStatus::Error>();
    ASSERT_TRUE(error && error->error.is<BackupError::CopyFailed>());
    EXPECT_TRUE(error->error.errorDescription().startsWith("Another backup already uses the folder “Photos”"));
    EXPECT_EQ(harness.store().events().back().message, error->error.errorDescription());
    EXPECT_TRUE(fs::exists(tree.path("dest/Larkfold/Photos/a.jpg")));
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold/Photos/b.jpg")));
    EXPECT_FALSE(fs::exists(tree.path("dest/.Larkfold-Trash")));
}

TEST(BackupEngine, ARunThatCannotStartShowsTheCopyEnginesOwnMessage)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"elsewhere/", ""}};
    fs::create_directories(tree.path("dest/Larkfold"));
    fs::create_directory_symlink(tree.path("elsewhere"), tree.path("dest/Larkfold/Docs"));
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForTasks());
    const QString message =
        QStringLiteral("Destination path is a symbolic link — refusing to write to prevent data redirection.");
    EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::copyFailed(message)));
    EXPECT_EQ(harness.eventMessages(), std::vector<QString>{message});
    EXPECT_TRUE(fs::is_empty(tree.path("elsewhere")));
}

TEST(BackupEngine, ASourceOnTheProcFileSystemIsRefusedWithAnEvent)
{
    EngineHarness harness;
    TempTree tree{{"dest/", ""}};
    const BackupPair pair = harness.addPair("Process", "/proc/self/fdinfo", tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForTasks());
    const QString message =
        QStringLiteral("Source folder is on the system's proc file system, which holds no files to back up.");
    EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::copyFailed(message)));
    EXPECT_EQ(harness.eventMessages(), std::vector<QString>{message});
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold/Process")));
}

namespace {

// A stream whose start fails, as inotify_init1 does once the user's instances are used up.
class FailingFileEvents final : public platform::FileEvents {
public:
    std::optional<QString> start(const fs::path&, BatchHandler) override
    {
        return QStringLiteral("inotify_init1 failed for path: x (Too many open files)");
    }
    void stop() override {}
};

} // namespace

TEST(BackupEngine, ASourceThatCannotBeWatchedIsStillBackedUpWithAWarning)
{
    EngineHarness harness;
    harness.environment.fileEvents = [] { return std::make_unique<FailingFileEvents>(); };
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);

    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    EXPECT_EQ(readFile(tree.path("dest/Larkfold/Docs/a.txt")), "a");
    EXPECT_EQ(engine.watchWarning(), "Changes here can't be watched, so they're backed up on the schedule.");
}

// A user may hold only 128 inotify instances: one per pair would take them from the user's other
// programs and leave the pairs after the 128th unwatched. Pairs of one source share its watches too.
TEST(BackupEngine, EveryPairWatchesThroughTheProcesssOneInotifyInstance)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}};
    const int before = inotifyInstances();
    std::vector<BackupEngine*> engines;
    for (int i = 0; i < 4; ++i) {
        const std::string dest = "dest" + std::to_string(i);
        tree.mkdir(dest);
        engines.push_back(&harness.startEngine(harness.addPair("Docs", tree.path("source"), tree.path(dest))));
    }
    ASSERT_TRUE(harness.waitForTasks(60000));
    EXPECT_LE(inotifyInstances(), std::max(before, 1));

    tree.write("source/b.txt", "b");
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(spinUntil([&] { return fs::exists(tree.path("dest" + std::to_string(i) + "/Larkfold/Docs/b.txt")); },
                              60000));
        EXPECT_TRUE(engines[std::size_t(i)]->watchWarning().isEmpty());
    }
}

TEST(BackupEngine, ASourceWithMoreFoldersThanTheWatchBudgetIsBackedUpAndSaysOnceWhatToDo)
{
    TempTree limit{{"max_user_watches", "10\n"}};
    platform::InotifyInstance instance({limit.path("max_user_watches")});
    EngineHarness harness;
    harness.setNotificationLevel(AppConfig::NotificationLevel::errorsOnly);
    harness.environment.fileEvents = [&instance] {
        return std::make_unique<platform::InotifyFileEvents>(
            platform::InotifyFileEvents::Options{std::chrono::milliseconds(100), SIZE_MAX, &instance});
    };
    TempTree tree{{"dest/", ""}};
    for (int i = 0; i < 20; ++i)
        tree.write("source/folder" + std::to_string(i) + "/f.txt", "x");
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);

    ASSERT_TRUE(spinUntil([&] { return !engine.watchWarning().isEmpty(); }));
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    EXPECT_EQ(countFiles(tree.path("dest/Larkfold/Docs")), 20);
    EXPECT_TRUE(engine.watchWarning().contains("fs.inotify.max_user_watches"));
    ASSERT_TRUE(spinUntil([&] { return !harness.notificationTitles().empty(); }));
    EXPECT_EQ(harness.notificationTitles(), std::vector<QString>{"Some Folders Aren't Watched"});
    EXPECT_TRUE(harness.notificationBodies().front().contains("fs.inotify.max_user_watches"));

    // Started again (resumed, relinked): still one notification.
    engine.stop();
    engine.start(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    spinFor(300);
    EXPECT_EQ(harness.notificationTitles(), std::vector<QString>{"Some Folders Aren't Watched"});
    EXPECT_FALSE(engine.watchWarning().isEmpty());
}

TEST(BackupEngine, ADestinationThatWentAwayWhileTheJobWaitedIsNotRecreated)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));

    // Another pair's job holds the queue while this one waits its turn.
    std::promise<void> release;
    auto held = harness.queue().enqueue(QUuid::createUuid(), [gate = release.get_future().share()](
                                                                 const platform::CancelToken&) { gate.wait(); });
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& s) { return s.is<BackupStatus::Queued>(); }));

    fs::remove_all(tree.path("dest"));
    release.set_value();
    held.wait();
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(engine.status(), BackupStatus::destinationUnreachable());
    EXPECT_FALSE(fs::exists(tree.path("dest")));
    EXPECT_TRUE(harness.store().events().empty());
}

// Whoever quits waits for the process's tasks, also those of engines already destroyed.
TEST(BackupEngine, TheProcessCountsTasksOfDestroyedEnginesUntilTheyEnd)
{
    QuietMode quiet;
    EngineHarness harness;
    TempTree tree{{"dest/", ""}};
    writeFiles(tree.path("source"), 60);
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupTasks& tasks = BackupTasks::instance();
    int allEnded = 0;
    QObject counting; // the process's task count outlives this test
    QObject::connect(&tasks, &BackupTasks::allEnded, &counting, [&] { ++allEnded; });
    {
        BackupEngine engine(pair.id, harness.environment);
        engine.setConfigStore(&harness.store());
        engine.setBackupQueue(std::shared_ptr<BackupQueue>(&harness.queue(), [](BackupQueue*) {}));
        engine.start(pair);
        EXPECT_EQ(tasks.runningCount(), 1);
        ASSERT_TRUE(spinUntil([&] { return engine.status().is<BackupStatus::Syncing>(); }));
        engine.triggerBackup(pair); // waits behind the running one
        EXPECT_EQ(tasks.runningCount(), 2);
    }
    ASSERT_TRUE(spinUntil([&] { return allEnded > 0; }, 15000));
    EXPECT_EQ(tasks.runningCount(), 0);
    spinFor(100);
    EXPECT_EQ(allEnded, 1);
    EXPECT_LT(countFiles(tree.path("dest/Larkfold/Docs")), 60) << "the destroyed engine's run was stopped";
}

// An offsite folder whose drive is away is not rebuilt on the disk below; once it is back and the
// offsite copy is due, the copy is made.
TEST(BackupEngine, TheOffsiteCopyWaitsForItsDrive)
{
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    const auto outcome = runInPrivateMountNamespace([&] {
        if (::mount("tmpfs", "/media", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        const fs::path drive = "/media/sam/Cloud";
        fs::create_directories(drive); // only the empty folder a drive leaves
        std::string seen;
        EngineHarness harness;
        BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
        pair.offsiteURL = drive / "Offsite";
        harness.store().updatePair(pair);
        harness.startEngine(pair);
        seen += harness.waitUntilIdleAfterRun() ? "ran" : "no run";
        seen += fs::is_empty(drive) ? " not rebuilt" : " rebuilt";
        // The week's wait that follows a lost offsite folder is over.
        BackupPair waited = harness.storedPair(pair.id);
        waited.lastOffsiteAt.reset();
        harness.store().updatePair(waited);

        // Room for the offsite copy's margin; tmpfs takes memory only for what is written.
        if (::mount("tmpfs", drive.c_str(), "tmpfs", 0, "size=1g") != 0)
            return std::string("skip");
        fs::create_directories(drive / "Offsite");
        harness.engine().triggerBackup(harness.storedPair(pair.id));
        seen += harness.waitForTasks() ? " ran" : " no run";
        seen += fs::exists(drive / "Offsite/Larkfold/Docs/a.txt") ? " copied" : " not copied";
        return seen;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "ran not rebuilt ran copied");
}

TEST(BackupEngine, ARunStoppedBeforeItCopiesIsToldOnceUntilTheOutcomeChanges)
{
    platform::FaultInjectingFileSystem faults;
    struct Case {
        const char* what;
        // Breaks the pair before its next run; the source's readable check is the first access of a run.
        std::function<void(EngineHarness&, BackupPair&, TempTree&)> breakIt;
        QString description;
    } cases[] = {
        {"read-only destination",
         [&](EngineHarness&, BackupPair&, TempTree&) { faults.failNth(platform::FileOperation::access, 2, EROFS); },
         "Destination folder is not writable — check permissions or disk space."},
        {"protected system folder",
         [](EngineHarness& harness, BackupPair& pair, TempTree&) {
             pair.destinationURL = "/etc";
             harness.store().updatePair(pair);
         },
         "Destination is a protected system folder. Choose a different destination."},
        {"source gone", [](EngineHarness&, BackupPair&, TempTree& tree) { fs::remove_all(tree.path("source")); },
         "Source folder is not readable — check permissions or reconnect the drive."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineHarness harness;
        harness.environment.fileSystem = &faults;
        TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
        BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
        BackupEngine& engine = harness.startEngine(pair);
        ASSERT_TRUE(harness.waitUntilIdleAfterRun());
        ASSERT_TRUE(harness.notificationBodies().empty());

        // Told at the default level, once however often the run is tried again.
        for (int attempt = 0; attempt < 2; ++attempt) {
            c.breakIt(harness, pair, tree);
            engine.triggerBackup(pair);
            ASSERT_TRUE(harness.waitForTasks());
            EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::copyFailed(c.description)));
        }
        EXPECT_EQ(harness.notificationBodies(), std::vector<QString>{"Docs — " + c.description});
        ASSERT_EQ(engine.lastRunErrors().kept.size(), 1u);
        EXPECT_EQ(engine.lastRunErrors().kept[0].message, c.description);
        faults.clearFaults();
    }

    // Once a run has gone well, the same failure is news again.
    EngineHarness harness;
    harness.environment.fileSystem = &faults;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    faults.failNth(platform::FileOperation::access, 2, EROFS);
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForTasks());
    engine.triggerBackup(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    EXPECT_TRUE(engine.lastRunErrors().empty());
    faults.failNth(platform::FileOperation::access, 2, EROFS);
    engine.triggerBackup(pair);
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(harness.notificationTitles(), (std::vector<QString>{"Backup Problem", "Backup Problem"}));
}
