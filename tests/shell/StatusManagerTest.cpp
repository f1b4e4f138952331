#include "CoordinatorFixture.h"

#include "copy/BandwidthThrottle.h"
#include "engine/BackupTasks.h"
#include "platform/Bookmark.h"
#include "platform/LinuxNotifier.h"
#include "support/EventLoop.h"
#include "support/FakeNotificationServer.h"
#include "support/LogCapture.h"
#include "support/PrivateSessionBus.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <future>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using EventType = BackupEvent::EventType;

namespace {

bool isSyncing(const BackupStatus& status)
{
    return status.is<BackupStatus::Syncing>();
}

// Files that make the copy engine recommend the developer profile.
void writeCodeTree(TempTree& tree, const std::string& folder)
{
    tree.write(folder + "/package.json", "{}");
    tree.write(folder + "/node_modules/x/index.js", "x");
    tree.write(folder + "/.git/HEAD", "h");
    tree.write(folder + "/src/main.ts", "m");
    tree.write(folder + "/Cargo.toml", "");
}

} // namespace

TEST(StatusManager, StartsAnEnginePerStoredPairAndAddsAndRemovesPairs)
{
    Coordinator c;
    const auto [docs, music] = c.storeDocsAndPausedMusic();
    c.tree.write("photos/c.jpg", "c");
    StatusManager& manager = c.start();
    EXPECT_EQ(manager.engines().size(), 2u);
    EXPECT_EQ(c.engine(music.id).status(), BackupStatus::paused());
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 1));
    EXPECT_TRUE(fs::exists(c.tree.path("dest/Larkfold/Docs/file0.txt")));
    EXPECT_FALSE(fs::exists(c.tree.path("dest/Larkfold/Music")));
    EXPECT_EQ(manager.copyRedundancy(),
              (CopyRedundancyMap{{docs.id, CopyRedundancy::singleBackup()}, {music.id, CopyRedundancy::singleBackup()}}));

    int engineChanges = 0;
    QObject::connect(&manager, &StatusManager::enginesChanged, [&] { ++engineChanges; });
    const BackupPair photos = c.makePair("Photos", c.tree.path("photos"), c.tree.path("dest"));
    manager.addPair(photos);
    EXPECT_EQ(c.store().pairs().back().id, photos.id);
    EXPECT_EQ(engineChanges, 1);
    ASSERT_TRUE(c.waitForEvents(photos.id, EventType::backup, 1));
    EXPECT_TRUE(fs::exists(c.tree.path("dest/Larkfold/Photos/c.jpg")));
    EXPECT_EQ(manager.copyRedundancy().size(), 3u);

    manager.removePair(docs.id);
    EXPECT_EQ(manager.engine(docs.id), nullptr);
    EXPECT_EQ(c.store().pairs().size(), 2u);
    EXPECT_FALSE(manager.copyRedundancy().contains(docs.id));
    EXPECT_EQ(engineChanges, 2);

    // Unknown pairs: nothing happens.
    const QUuid unknown = QUuid::createUuid();
    manager.removePair(unknown);
    manager.togglePause(unknown);
    manager.backupPairNow(unknown);
    manager.handleReconnected(unknown, photos);
    EXPECT_FALSE(manager.relinkPair(unknown, c.tree.path("dest")).accepted);
    EXPECT_EQ(manager.engines().size(), 2u);
    EXPECT_EQ(c.store().pairs().size(), 2u);
    EXPECT_EQ(engineChanges, 2);
}

TEST(StatusManager, RelinkPointsThePairAtTheNewFolderWithAFreshBookmarkAndEngine)
{
    Coordinator c;
    writeCodeTree(c.tree, "code");
    c.tree.mkdir("old");
    c.tree.mkdir("new");
    // Two pairs back up one source; the second waits, paused, until it is relinked.
    const BackupPair first = c.storePair("Code", c.tree.path("code"), c.tree.path("new"));
    const BackupPair second = c.storePair("Code copy", c.tree.path("code"), c.tree.path("old"), false);
    StatusManager& manager = c.start();
    QSignalSpy suggested(&manager, &StatusManager::profileSuggested);
    QSignalSpy redundancyChanged(&manager, &StatusManager::copyRedundancyChanged);
    EXPECT_EQ(manager.copyRedundancy().at(second.id), CopyRedundancy::redundant(2));
    ASSERT_TRUE(c.waitForEvents(first.id, EventType::backup, 1));

    const auto result = manager.relinkPair(second.id, c.tree.path("new"));
    EXPECT_TRUE(result.accepted);
    EXPECT_TRUE(result.reason.isEmpty());
    const BackupPair stored = c.storedPair(second.id);
    EXPECT_EQ(stored.destinationURL, c.tree.path("new"));
    EXPECT_TRUE(stored.isEnabled);
    ASSERT_TRUE(stored.destinationBookmark);
    const auto resolved = platform::systemBookmarks().resolve(*stored.destinationBookmark);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->folder, fs::canonical(c.tree.path("new")));
    // One folder now holds both backups: the redundancy follows at once.
    EXPECT_EQ(manager.copyRedundancy().at(second.id), CopyRedundancy::singleBackup());
    EXPECT_EQ(manager.copyRedundancy().at(first.id), CopyRedundancy::singleBackup());
    EXPECT_EQ(redundancyChanged.count(), 1);

    ASSERT_TRUE(c.waitForEvents(second.id, EventType::backup, 1));
    EXPECT_TRUE(fs::exists(c.tree.path("new/Larkfold/Code copy/package.json")));
    // Both the launch engine and the replacement tell the application of their suggestion.
    ASSERT_TRUE(spinUntil([&] { return suggested.count() == 2; }));
    EXPECT_EQ(suggested[0][0].value<QUuid>(), first.id);
    EXPECT_EQ(suggested[1][0].value<QUuid>(), second.id);
    EXPECT_EQ(suggested[1][2].value<BackupProfile>(), BackupProfile::developer);
    EXPECT_TRUE(c.storedPair(second.id).didSuggestProfile);
}

TEST(StatusManager, AFailedRelinkLeavesAWiredEngineInTheAccessErrorAndNoBookmark)
{
    Coordinator c;
    c.tree.write("docs/a.txt", "a");
    c.tree.mkdir("old");
    BackupPair pair = c.makePair("Docs", c.tree.path("docs"), c.tree.path("old"));
    pair.destinationBookmark = platform::systemBookmarks().create(c.tree.path("old"));
    ASSERT_TRUE(pair.destinationBookmark);
    c.store().addPair(pair);
    StatusManager& manager = c.start();
    ASSERT_TRUE(c.waitForEvents(pair.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());

    LogCapture log;
    const fs::path missing = c.tree.path("missing");
    EXPECT_TRUE(manager.relinkPair(pair.id, missing).accepted);
    EXPECT_TRUE(log.contains("Could not create destination bookmark for relink: ", "Bookmark"));
    const BackupPair stored = c.storedPair(pair.id);
    EXPECT_EQ(stored.destinationURL, missing);
    EXPECT_EQ(stored.destinationBookmark, std::nullopt) << "never the old folder's bookmark under the new path";
    BackupEngine& engine = c.engine(pair.id);
    EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::bookmarkAccessDenied(missing)));

    // The new engine's jobs wait in the shared queue behind another job: withdrawn from there, none runs.
    c.tree.mkdir("missing");
    std::promise<void> release;
    auto held = manager.backupQueue()->enqueue(
        QUuid::createUuid(), [gate = release.get_future().share()](const platform::CancelToken&) { gate.wait(); });
    manager.backupPairNow(pair.id);
    ASSERT_TRUE(spinUntil([&] { return engine.status() == BackupStatus::queued(); }));
    manager.backupQueue()->cancel(pair.id);
    release.set_value();
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(pair.id, EventType::backup), 1);
    // And its runs are recorded in the store.
    manager.backupPairNow(pair.id);
    ASSERT_TRUE(c.waitForEvents(pair.id, EventType::backup, 2));
    EXPECT_TRUE(fs::exists(missing / "Larkfold/Docs/a.txt"));
}

TEST(StatusManager, RelinkRefusesAFolderWhereAnotherPairKeepsItsBackup)
{
    Coordinator c;
    c.tree.write("photos/a.jpg", "a");
    c.tree.write("pictures/b.jpg", "b");
    c.tree.mkdir("driveA");
    c.tree.mkdir("driveB");
    c.tree.symlink("link", c.tree.path("driveA"));
    const BackupPair owner = c.storePair("Photos", c.tree.path("photos"), c.tree.path("driveA"));
    const BackupPair other = c.storePair("Photos", c.tree.path("pictures"), c.tree.path("driveB"));
    StatusManager& manager = c.start();
    ASSERT_TRUE(c.waitForEvents(owner.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForEvents(other.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());
    QSignalSpy engineChanges(&manager, &StatusManager::enginesChanged);

    const struct {
        const char* what;
        fs::path destination;
    } cases[] = {
        {"the same folder", c.tree.path("driveA")},
        {"with a trailing slash", c.tree.path("driveA") / ""},
        {"through a link", c.tree.path("link")},
        {"its Larkfold folder", c.tree.path("driveA/Larkfold")},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        const auto result = manager.relinkPair(other.id, test.destination);
        EXPECT_FALSE(result.accepted);
        EXPECT_EQ(result.reason,
                  "The backup “Photos” already uses the folder “Photos” there — choose another destination.");
        EXPECT_EQ(c.storedPair(other.id).destinationURL, c.tree.path("driveB"));
    }
    EXPECT_EQ(engineChanges.count(), 0) << "the pair's engine was left alone";
    EXPECT_TRUE(c.waitForTasks());
    EXPECT_TRUE(fs::exists(c.tree.path("driveA/Larkfold/Photos/a.jpg")));
    EXPECT_FALSE(fs::exists(c.tree.path("driveA/Larkfold/Photos/b.jpg")));

    // Another folder on the same drive is free.
    c.tree.mkdir("driveA/Elsewhere");
    EXPECT_TRUE(manager.relinkPair(other.id, c.tree.path("driveA/Elsewhere")).accepted);
    ASSERT_TRUE(c.waitForEvents(other.id, EventType::backup, 2));
    EXPECT_TRUE(fs::exists(c.tree.path("driveA/Elsewhere/Larkfold/Photos/b.jpg")));
}

TEST(StatusManager, PausingOnePairIsStoredWhilePausingAllIsNot)
{
    Coordinator c;
    const auto [docs, music] = c.storeDocsAndPausedMusic();
    StatusManager& manager = c.start();
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 1));

    int holdChanges = 0;
    QObject::connect(&manager, &StatusManager::heldChanged, [&] { ++holdChanges; });
    manager.pauseAll();
    manager.pauseAll();
    EXPECT_TRUE(manager.isHeld(docs.id));
    EXPECT_TRUE(manager.isPaused(c.storedPair(docs.id)));
    EXPECT_EQ(c.engine(docs.id).status(), BackupStatus::paused());
    EXPECT_EQ(c.engine(music.id).status(), BackupStatus::paused());
    EXPECT_TRUE(c.storedPair(docs.id).isEnabled) << "not stored";
    EXPECT_EQ(holdChanges, 1);

    // Resuming all resumes every paused pair, the one the user paused on its own too.
    manager.resumeAll();
    EXPECT_FALSE(manager.isHeld(docs.id));
    EXPECT_EQ(holdChanges, 2);
    EXPECT_TRUE(c.storedPair(music.id).isEnabled);
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 2));
    ASSERT_TRUE(c.waitForEvents(music.id, EventType::backup, 1));
    EXPECT_TRUE(fs::exists(c.tree.path("dest/Larkfold/Music/b.txt")));

    // A pair held by "Pause All" is resumed by its own toggle, and the hold ends for it alone.
    ASSERT_TRUE(c.waitForTasks());
    manager.pauseAll();
    manager.togglePause(docs.id);
    EXPECT_FALSE(manager.isHeld(docs.id));
    EXPECT_TRUE(manager.isHeld(music.id));
    EXPECT_TRUE(c.storedPair(docs.id).isEnabled);
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 3));
    EXPECT_EQ(c.engine(music.id).status(), BackupStatus::paused());
    // Toggled again it is paused for good, and stored so.
    ASSERT_TRUE(c.waitForTasks());
    manager.togglePause(docs.id);
    EXPECT_FALSE(c.storedPair(docs.id).isEnabled);
    EXPECT_EQ(c.engine(docs.id).status(), BackupStatus::paused());
}

// While "Pause All" holds, nothing backs a pair up: not "Back Up Now", which names the pairs it
// left out, and not the start of a pair added meanwhile, which waits with the others.
TEST(StatusManager, WhilePauseAllHoldsNothingRunsAndANewPairWaitsToo)
{
    Coordinator c;
    const auto [docs, music] = c.storeDocsAndPausedMusic();
    c.tree.write("photos/p.jpg", "p");
    StatusManager& manager = c.start();
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());

    // Without the hold, only the pair the user paused is left out.
    std::vector<BackupPair> leftOut = manager.backupAllNow();
    ASSERT_EQ(leftOut.size(), 1u);
    EXPECT_EQ(leftOut[0].id, music.id);
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 2));
    ASSERT_TRUE(c.waitForTasks());

    manager.pauseAll();
    leftOut = manager.backupAllNow();
    EXPECT_EQ(leftOut.size(), 2u);
    manager.backupPairNow(docs.id);
    const BackupPair photos = c.makePair("Photos", c.tree.path("photos"), c.tree.path("dest"));
    manager.addPair(photos);
    EXPECT_TRUE(manager.isHeld(photos.id));
    EXPECT_EQ(c.engine(photos.id).status(), BackupStatus::paused());
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(docs.id, EventType::backup), 2);
    EXPECT_TRUE(c.eventTypes(photos.id).empty());
    EXPECT_FALSE(fs::exists(c.tree.path("dest/Larkfold/Photos")));

    manager.resumeAll();
    ASSERT_TRUE(c.waitForEvents(photos.id, EventType::backup, 1));
    EXPECT_TRUE(fs::exists(c.tree.path("dest/Larkfold/Photos/p.jpg")));
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_TRUE(manager.backupAllNow().empty());
}

// "Back up now" in any of its forms never cuts a running job short: the new run follows it.
TEST(StatusManager, BackingUpNowLetsARunningJobFinishAndFollowsIt)
{
    Coordinator c;
    c.setBandwidthMode(AppConfig::BandwidthMode::quiet);
    const auto [docs, music] = c.storeDocsAndPausedMusic(40);
    StatusManager& manager = c.start();

    const struct {
        const char* what;
        std::function<void()> act;
    } cases[] = {
        {"back up all now", [&] { manager.backupAllNow(); }},
        {"resume all", [&] { manager.resumeAll(); }},
        {"back up this pair now", [&] { manager.backupPairNow(docs.id); }},
    };
    int round = 0;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        if (round > 0) // the watcher backs up the new files by itself; act while that run copies
            writeFiles(c.tree.path("docs/round" + std::to_string(round)), 40);
        ASSERT_TRUE(spinUntil([&] { return isSyncing(c.engine(docs.id).status()); }, 15000));
        test.act();
        ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 2 * (round + 1)));
        ASSERT_TRUE(c.waitForTasks());
        std::vector<std::int64_t> copied;
        for (const BackupEvent& event : c.store().events())
            if (event.pairId == docs.id && event.type == EventType::backup)
                copied.push_back(event.filesAffected);
        EXPECT_EQ(copied[copied.size() - 2], 40) << "the running job copied everything it had found";
        EXPECT_EQ(copied.back(), 0);
        ++round;
    }
    EXPECT_EQ(countFiles(c.tree.path("dest/Larkfold/Docs")), 120);
    EXPECT_TRUE(c.storedPair(music.id).isEnabled) << "resuming all resumed the pair paused on its own";
}

TEST(StatusManager, StopAllHandsOverTheStoppedEnginesAndEmptiesTheDictionary)
{
    Coordinator c;
    c.setBandwidthMode(AppConfig::BandwidthMode::quiet);
    const BackupPair docs = c.storeDocsAndPausedMusic(60).docs;
    StatusManager& manager = c.start();
    ASSERT_TRUE(spinUntil([&] { return isSyncing(c.engine(docs.id).status()); }, 15000));
    int allEnded = 0;
    QObject counting; // the process's task count outlives this test
    QObject::connect(&BackupTasks::instance(), &BackupTasks::allEnded, &counting, [&] { ++allEnded; });

    auto stopped = manager.stopAll();
    EXPECT_TRUE(manager.engines().empty());
    ASSERT_EQ(stopped.size(), 2u);
    for (const auto& engine : stopped)
        EXPECT_TRUE(engine->status() == BackupStatus::idle() || engine->status() == BackupStatus::paused());
    ASSERT_TRUE(spinUntil([&] { return allEnded > 0; }, 15000));
    EXPECT_LT(countFiles(c.tree.path("dest/Larkfold/Docs")), 60);
    EXPECT_EQ(c.eventCount(docs.id, EventType::backup), 0);

    // With no engines the commands find nothing to do.
    manager.backupAllNow();
    manager.resumeAll();
    EXPECT_EQ(BackupTasks::instance().runningCount(), 0);
}

TEST(StatusManager, ADriveThatLeavesStopsItsPairsAndOneThatReturnsStartsThemAgain)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeNotificationServer server(bus.connection(QStringLiteral("server")));
    ASSERT_TRUE(server.isRegistered());

    // The folder "drive" stands for a mounted drive; renaming it away unplugs it.
    Coordinator c;
    c.tree.write("docs/a.txt", "a");
    c.tree.write("music/b.txt", "b");
    c.tree.write("notes/n.txt", "n");
    c.tree.write("other/o.txt", "o");
    c.tree.mkdir("drive/Backups");
    c.tree.mkdir("drive/Paused");
    c.tree.mkdir("drive2/Backups");
    const BackupPair docs = c.storePair("Docs", c.tree.path("docs"), c.tree.path("drive/Backups"));
    const BackupPair music = c.storePair("Music", c.tree.path("music"), c.tree.path("drive"));
    const BackupPair notes = c.storePair("Notes", c.tree.path("notes"), c.tree.path("drive/Paused"), false);
    const BackupPair other = c.storePair("Other", c.tree.path("other"), c.tree.path("drive2/Backups"));
    StatusManager& manager = c.start(std::make_unique<platform::LinuxNotifier>(bus.connection("client")));
    for (const BackupPair& pair : {docs, music, other})
        ASSERT_TRUE(c.waitForEvents(pair.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(manager.copyRedundancy().at(other.id), CopyRedundancy::singleBackup());

    fs::rename(c.tree.path("drive"), c.tree.path("unplugged"));
    fs::remove_all(c.tree.path("other")); // meanwhile a source was deleted
    manager.handleVolumeUnmounted(c.tree.path("drive"));
    for (const BackupPair& pair : {docs, music}) {
        EXPECT_EQ(c.engine(pair.id).status(), BackupStatus::destinationUnreachable());
        EXPECT_EQ(c.eventCount(pair.id, EventType::volumeLost), 1);
    }
    EXPECT_EQ(c.engine(notes.id).status(), BackupStatus::paused()) << "paused by the user, and so it stays";
    EXPECT_TRUE(c.eventTypes(notes.id).empty());
    EXPECT_NE(c.engine(other.id).status(), BackupStatus::destinationUnreachable()) << "drive2 is another drive";
    EXPECT_EQ(c.eventCount(other.id, EventType::volumeLost), 0);
    EXPECT_EQ(manager.copyRedundancy().at(other.id), CopyRedundancy::onlyCopy()) << "recomputed after the event";
    ASSERT_TRUE(spinUntil([&] { return server.calls().size() == 2; }));
    EXPECT_EQ(server.calls()[0].summary, "Backup Drive Disconnected");
    EXPECT_EQ(server.calls()[0].body, "Docs can't back up until the drive is reconnected.");
    EXPECT_EQ(server.calls()[1].body, "Music can't back up until the drive is reconnected.");

    // While it is away, a backup finds nothing to write into and rebuilds no folder.
    manager.backupAllNow();
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_FALSE(fs::exists(c.tree.path("drive")));
    EXPECT_EQ(c.engine(docs.id).status(), BackupStatus::destinationUnreachable());

    fs::rename(c.tree.path("unplugged"), c.tree.path("drive"));
    manager.handleVolumeMounted(c.tree.path("drive"));
    for (const BackupPair& pair : {docs, music}) {
        ASSERT_TRUE(c.waitForEvents(pair.id, EventType::backup, 2));
        const auto types = c.eventTypes(pair.id);
        EXPECT_EQ(std::count(types.begin(), types.end(), EventType::volumeRestored), 1);
        EXPECT_LT(std::find(types.begin(), types.end(), EventType::volumeRestored) - types.begin(),
                  std::find(types.begin() + 2, types.end(), EventType::backup) - types.begin());
    }
    EXPECT_EQ(c.engine(notes.id).status(), BackupStatus::paused());
    EXPECT_FALSE(fs::exists(c.tree.path("drive/Paused/Larkfold")));

    // Watching started again with the engine: a change is backed up without being asked.
    ASSERT_TRUE(c.waitForTasks());
    c.tree.write("docs/new.txt", "new");
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 3));
    EXPECT_TRUE(fs::exists(c.tree.path("drive/Backups/Larkfold/Docs/new.txt")));

    // Mounting again does nothing for pairs that do not wait.
    ASSERT_TRUE(c.waitForTasks());
    manager.handleVolumeMounted(c.tree.path("drive"));
    EXPECT_EQ(c.eventCount(docs.id, EventType::volumeRestored), 1);
    EXPECT_EQ(BackupTasks::instance().runningCount(), 0);
}

TEST(StatusManager, ADestinationIsOnAVolumeAtItsMountPointOrBelow)
{
    const struct {
        const char* path;
        const char* mountPoint;
        bool onVolume;
    } cases[] = {
        {"/media/sam/Drive", "/media/sam/Drive", true},
        {"/media/sam/Drive/Backups", "/media/sam/Drive", true},
        {"/media/sam/Drive/Backups", "/media/sam/Drive/", true},
        {"/media/sam/Drive2/Backups", "/media/sam/Drive", false},
        {"/media/sam/drive/Backups", "/media/sam/Drive", false},
        {"/media/sam/Drive/../Other", "/media/sam/Drive", false},
        {"/media/sam/Drive/Backups", "/", true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.path) + " on " + test.mountPoint);
        EXPECT_EQ(StatusManager::isOnVolume(test.path, test.mountPoint), test.onVolume);
    }
}

TEST(StatusManager, TheBandwidthModeReachesTheCopyLoopsAtLaunch)
{
    Coordinator c;
    c.setBandwidthMode(AppConfig::BandwidthMode::full);
    c.start();
    EXPECT_EQ(currentBandwidthMode.load(), 2);
}

// Ties go to the pair stored first, whatever order the engines are kept in.
TEST(StatusManager, TheOverallStatusVisitsPairsInTheStoresOrder)
{
    Coordinator c;
    c.tree.mkdir("dest");
    std::vector<BackupPair> pairs;
    for (const char* name : {"One", "Two", "Three"}) {
        c.tree.write(std::string(name) + "/a.txt", "a");
        pairs.push_back(c.storePair(name, c.tree.path(name), c.tree.path("dest"), false));
    }
    StatusManager& manager = c.start();
    EXPECT_EQ(manager.overallStatus(), BackupStatus::paused());
    EXPECT_EQ(manager.statusSummary(), "Paused");
    for (std::size_t i = 0; i < pairs.size(); ++i)
        c.engine(pairs[i].id).setStatus(BackupStatus::error(BackupError::copyFailed(QString::number(i))));
    EXPECT_EQ(manager.overallStatus(), BackupStatus::error(BackupError::copyFailed("0")));
    EXPECT_EQ(manager.statusSummary(), "3 of 3 pair(s) need attention");
}

// The tray icon looks again only when the generation moves: it must move with every change of
// what the overall status and summary are made of, and stay while nothing changes.
TEST(StatusManager, TheStatusGenerationMovesWithEveryChangeTheIconShows)
{
    Coordinator c;
    c.tree.mkdir("dest");
    c.tree.write("One/a.txt", "a");
    const BackupPair one = c.storePair("One", c.tree.path("One"), c.tree.path("dest"), false);
    StatusManager& manager = c.start();
    std::uint64_t seen = manager.statusGeneration();
    const auto moved = [&] {
        const bool did = manager.statusGeneration() != seen;
        seen = manager.statusGeneration();
        return did;
    };

    spinFor(300);
    EXPECT_FALSE(moved()) << "nothing changed";
    c.engine(one.id).setStatus(BackupStatus::paused());
    EXPECT_FALSE(moved()) << "the same status again";
    c.engine(one.id).setStatus(BackupStatus::error(BackupError::copyFailed("x")));
    EXPECT_TRUE(moved());

    c.tree.write("Two/a.txt", "a");
    const BackupPair two = c.makePair("Two", c.tree.path("Two"), c.tree.path("dest"), false);
    manager.addPair(two);
    EXPECT_TRUE(moved());
    manager.removePair(two.id);
    EXPECT_TRUE(moved());
    EXPECT_EQ(manager.statusSummary(), "1 of 1 pair(s) need attention");
}
