#include "EngineHarnessFixture.h"

#include "copy/BandwidthThrottle.h"
#include "copy/CopyRunFixture.h"
#include "copy/FileCopier.h"
#include "platform/Bookmark.h"
#include "platform/Clock.h"
#include "platform/FaultInjectingFileSystem.h"
#include "support/EventLoop.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <new>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using EventType = BackupEvent::EventType;

namespace {

int fingerprintCount(const fs::path& backupFolder)
{
    const std::string hashes = readFile(backupFolder / ".larkfold-hashes.json");
    return hashes.empty() ? 0 : int(std::count(hashes.begin(), hashes.end(), '{')) - 1;
}

bool contains(const std::vector<BackupStatus>& statuses, const BackupStatus& status)
{
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
}

// A run of the harness's engine after `clock` moved on.
void runAgain(EngineHarness& harness, const BackupPair& pair)
{
    harness.engine().triggerBackup(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
}

class RunTest : public ::testing::Test {
protected:
    void SetUp() override { platform::setWallClock(&clock); }
    void TearDown() override { platform::setWallClock(nullptr); }

    platform::FakeWallClock clock{QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC)};
};

} // namespace

TEST_F(RunTest, EventsFingerprintsSampleTrashReminderAndWeeklyOffsiteInTheirOrder)
{
    EngineHarness harness;
    harness.setNotificationLevel(AppConfig::NotificationLevel::everyBackup);
    TempTree tree{{"source/a.txt", "alpha"}, {"source/sub/b.txt", "beta"}, {"source/c.txt", "gamma"},
                  {"offsite/", ""}};
    // A trash of exactly 1 GiB, sparse so it costs no disk.
    fs::create_directories(tree.path("dest/.Larkfold-Trash/2026-01-01"));
    writeFile(tree.path("dest/.Larkfold-Trash/2026-01-01/big.mov"), "");
    fs::resize_file(tree.path("dest/.Larkfold-Trash/2026-01-01/big.mov"), 1073741824);
    harness.volumes.setVolume({tree.path("dest"), platform::VolumeSpace{1ull << 40, 1ull << 39}, 7, false});

    BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    pair.offsiteURL = tree.path("offsite");
    harness.store().updatePair(pair);
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    const fs::path backup = tree.path("dest/Larkfold/Docs");
    EXPECT_EQ(harness.eventTypes(), (std::vector<EventType>{EventType::backup, EventType::integrityChecked,
                                                            EventType::backup}));
    EXPECT_EQ(harness.store().events().front().filesAffected, 3);
    EXPECT_EQ(harness.eventMessages()[1], "Every file checked today.");
    EXPECT_EQ(harness.eventMessages()[2], "Offsite copy updated — 3 files synced to your cloud folder.");
    EXPECT_EQ(fingerprintCount(backup), 3);
    EXPECT_TRUE(fs::exists(backup / ".larkfold-lastcheck"));
    EXPECT_EQ(readFile(tree.path("offsite/Larkfold/Docs/sub/b.txt")), "beta");
    EXPECT_EQ(harness.notificationTitles(),
              (std::vector<QString>{"Backup Complete", "Backup Trash Using 1.07 GB"}));
    EXPECT_EQ(engine.destinationFreeSpace(), std::int64_t(1) << 39);

    // The offsite copy's progress comes between the run's outcome and its return; then idle.
    const auto& statuses = harness.statuses();
    const auto offsite = std::find(statuses.begin(), statuses.end(),
                                   BackupStatus::syncing(0, QStringLiteral("Offsite copy starting…")));
    ASSERT_NE(offsite, statuses.end());
    EXPECT_TRUE(isCompleted(*std::prev(offsite)));
    EXPECT_TRUE(isCompleted(statuses[statuses.size() - 2]));
    EXPECT_TRUE(isIdle(statuses.back()));

    const BackupPair saved = harness.storedPair(pair.id);
    EXPECT_EQ(saved.lastBackupAt, clock.now());
    EXPECT_EQ(saved.lastBackupFileCount, 3);
    EXPECT_EQ(saved.lastBackupByteCount, 14);
    EXPECT_EQ(saved.lastOffsiteAt, clock.now());
    EXPECT_EQ(saved.lastOffsiteFileCount, 3);

    // A day later exactly: no second sample check, no offsite copy; a week later both again. The
    // watcher's run backs the new file up, so no run of its own comes after the test's.
    clock.advance(86400);
    writeFile(tree.path("source/d.txt"), "delta");
    ASSERT_TRUE(spinUntil([&] { return harness.eventTypes().size() == 4; }, 60000));
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    EXPECT_EQ(harness.eventTypes().size(), 4u);
    EXPECT_FALSE(fs::exists(tree.path("offsite/Larkfold/Docs/d.txt")));

    clock.advance(6 * 86400);
    runAgain(harness, harness.storedPair(pair.id));
    EXPECT_EQ(harness.eventTypes(), (std::vector<EventType>{EventType::backup, EventType::integrityChecked,
                                                            EventType::backup, EventType::backup, EventType::backup,
                                                            EventType::integrityChecked, EventType::backup}));
    EXPECT_EQ(harness.eventMessages().back(), "Offsite copy updated — 1 file synced to your cloud folder.");
    EXPECT_EQ(harness.storedPair(pair.id).lastOffsiteAt, clock.now());
}

TEST_F(RunTest, FileErrorsGiveAPartialFailureAndNoOffsiteCopy)
{
    platform::FaultInjectingFileSystem faults;
    EngineHarness harness;
    harness.environment.fileSystem = &faults;
    TempTree tree{{"source/a.txt", "a"}, {"source/b.txt", "b"}, {"source/c.txt", "c"}, {"source/d.txt", "d"},
                  {"dest/", ""}, {"offsite/", ""}};
    BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    pair.offsiteURL = tree.path("offsite");
    harness.store().updatePair(pair);
    faults.failNth(platform::FileOperation::copyRange, 1, ENOSPC);
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForTasks());

    EXPECT_TRUE(contains(harness.statuses(), BackupStatus::error(BackupError::partialFailure(1, 4))));
    EXPECT_EQ(harness.eventTypes().front(), EventType::error);
    EXPECT_EQ(harness.eventMessages().front(), "1 file couldn't be copied.");
    EXPECT_EQ(harness.notificationTitles(), std::vector<QString>{"Backup Problem"});
    EXPECT_EQ(fingerprintCount(tree.path("dest/Larkfold/Docs")), 3);
    EXPECT_TRUE(fs::is_empty(tree.path("offsite")));
    EXPECT_EQ(harness.storedPair(pair.id).lastBackupFileCount, 3);
    // Kept on show, not turned back to a good status, until the next run.
    EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::partialFailure(1, 4)));
    // Kept for "Show Details…": which file, doing what, and the system's words.
    ASSERT_EQ(engine.lastRunErrors().total, 1u);
    const RunFileError& failed = engine.lastRunErrors().kept.at(0);
    EXPECT_EQ(failed.path.parent_path(), tree.path("source"));
    EXPECT_EQ(failed.operation, "copy");
    EXPECT_EQ(failed.message, "No space left on device");
}

// The event log and the failures kept for "Show Details…" come from the run's result, which is
// the same whether the run copied one file at a time or several.
TEST_F(RunTest, ARunCopyingSeveralFilesAtOnceRecordsWhatOneAtATimeRecords)
{
    TempTree tree;
    // Every file with data fails (no copy_file_range, no room); the empty ones go through.
    for (int i = 0; i < 90; ++i)
        tree.write("source/f" + std::to_string(i % 6) + "/n" + std::to_string(i) + ".txt",
                   std::string(i % 3 == 0 ? 0 : std::size_t(i) * 10, 'x'));
    const auto record = [&](std::size_t workers) {
        platform::FaultInjectingFileSystem faults;
        faults.failAlways(platform::FileOperation::copyRange, ENOSPC);
        EngineHarness harness;
        harness.environment.fileSystem = &faults;
        harness.environment.copyWorkers = workers;
        const fs::path destination = tree.path("dest" + std::to_string(workers));
        fs::create_directories(destination);
        BackupEngine& engine = harness.startEngine(harness.addPair("Docs", tree.path("source"), destination));
        EXPECT_TRUE(harness.waitForTasks());
        std::string text;
        for (const BackupEvent& event : harness.store().events())
            text += std::string(storedString(event.type)) + " " + event.message.value_or("").toStdString() + " "
                  + std::to_string(event.filesAffected) + " " + std::to_string(event.bytesTransferred) + "\n";
        for (const RunFileError& error : engine.lastRunErrors().kept)
            text += error.path.native() + " " + error.operation.toStdString() + " " + error.message.toStdString() + "\n";
        return text;
    };

    const std::string one = record(1);
    EXPECT_TRUE(one.starts_with("error 60 files couldn't be copied. 30 0\n")) << one;
    EXPECT_EQ(record(4), one);
}

TEST_F(RunTest, FilesThatVanishAtOnceAreHeldAndToldUntilTheUserConfirmsTheirDeletion)
{
    EngineHarness harness;
    TempTree tree{{"dest/", ""}};
    for (int i = 0; i < 20; ++i)
        tree.write("Work/f" + std::to_string(i) + ".txt", "x");
    const BackupPair pair = harness.addPair("Docs", tree.path("Work"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    engine.stop(); // the test's runs only
    for (int i = 2; i < 20; ++i)
        fs::remove(tree.path("Work/f" + std::to_string(i) + ".txt"));

    const BackupError held = BackupError::deletionHeld(18, "Work", false);
    for (int run = 0; run < 2; ++run) {
        engine.triggerBackup(pair);
        ASSERT_TRUE(harness.waitForTasks());
        // No failed file, and no return to idle: the guard waits for the user.
        EXPECT_EQ(engine.status(), BackupStatus::error(held));
        EXPECT_EQ(engine.heldDeletions().size(), 18u);
        EXPECT_TRUE(engine.lastRunErrors().empty());
    }
    const QString words = "18 files disappeared from Work at once, so Larkfold kept their backups where they are.";
    EXPECT_EQ(harness.eventMessages().back(), words);
    EXPECT_EQ(harness.eventTypes().back(), EventType::error);
    EXPECT_EQ(harness.notificationBodies(), std::vector<QString>{"Docs — " + words});
    EXPECT_TRUE(fs::exists(tree.path("dest/Larkfold/Docs/f2.txt")));

    // Confirmed: the next run files them in the backup trash and the pair is up to date again.
    engine.confirmHeldDeletions(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    EXPECT_TRUE(engine.heldDeletions().empty());
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold/Docs/f2.txt")));
    EXPECT_TRUE(fs::exists(tree.path("dest/.Larkfold-Trash") / FileCopier::dateFolderName(QDateTime::currentDateTime())
                           / "f2.txt"));
    EXPECT_EQ(harness.notificationBodies().size(), 1u);
}

TEST_F(RunTest, TheTipCallsTheSampleCleanOnlyAfterACleanCheck)
{
    EngineHarness harness;
    harness.setNotificationLevel(AppConfig::NotificationLevel::everyBackup);
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    // Nothing to copy either time; the counter is set so each run's tip comes from its own list.
    clock.advance(86401);
    harness.defaults.setValue(QStringLiteral("Larkfold.tipCounter"), 0);
    runAgain(harness, pair);
    harness.defaults.setValue(QStringLiteral("Larkfold.tipCounter"), 3);
    runAgain(harness, pair); // no check is due, so nothing was re-checked
    // FakeNotifier bodies, newest last.
    const auto bodies = harness.notificationBodies();
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[1], "Docs — Everything's up to date. A sample of your existing backups was re-checked — "
                         "everything looks healthy.");
    EXPECT_EQ(bodies[2], "Docs — 0 files backed up.");
}

TEST_F(RunTest, ADamagedCopyIsReportedWithoutChangingTheOutcome)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "original"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    // The copy rots on the drive: same size and time, other bytes.
    const fs::path copy = tree.path("dest/Larkfold/Docs/a.txt");
    const auto time = fs::last_write_time(copy);
    writeFile(copy, "0riginal");
    fs::last_write_time(copy, time);
    clock.advance(86401);
    runAgain(harness, pair);

    const QString damaged = "1 file on the backup drive may have been damaged. It's worth copying it again.";
    EXPECT_EQ(harness.eventTypes().back(), EventType::verificationFailed);
    EXPECT_EQ(harness.eventMessages().back(), damaged);
    EXPECT_EQ(harness.notificationBodies().back(), "Docs — " + damaged);
    EXPECT_TRUE(isCompleted(harness.statuses().at(harness.statuses().size() - 2)));
    EXPECT_TRUE(isIdle(engine.status()));
}

TEST_F(RunTest, ASampleCheckCutShortByALostDriveIsNotRecorded)
{
    platform::FaultInjectingFileSystem faults;
    EngineHarness harness;
    harness.environment.fileSystem = &faults;
    TempTree tree{{"source/a.txt", "a"}, {"source/b.txt", "b"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    ASSERT_EQ(harness.eventTypes().back(), EventType::integrityChecked);
    const auto eventsBefore = harness.eventTypes().size();

    // The drive goes while the next day's check reads its first sampled file.
    std::function<void()> pullWhenSampling = [&] {
        const auto opened = faults.openedPaths();
        if (!opened.empty() && opened.back().parent_path().filename() == "Docs"
            && opened.back().filename().string().ends_with(".txt"))
            fs::rename(tree.path("dest"), tree.path("dest-gone"));
        else
            faults.beforeNth(platform::FileOperation::read, 1, pullWhenSampling);
    };
    faults.beforeNth(platform::FileOperation::read, 1, pullWhenSampling);
    clock.advance(86401);
    harness.engine().triggerBackup(pair);
    ASSERT_TRUE(harness.waitForTasks());

    ASSERT_FALSE(fs::exists(tree.path("dest")));
    const auto types = harness.eventTypes();
    EXPECT_EQ(std::count(types.begin() + std::ptrdiff_t(eventsBefore), types.end(), EventType::integrityChecked), 0);
    EXPECT_EQ(std::count(types.begin() + std::ptrdiff_t(eventsBefore), types.end(), EventType::verificationFailed), 0);
}

TEST_F(RunTest, AnOffsiteCopyStoppedPartWayIsNotRecorded)
{
    QuietMode quiet; // so the stop lands inside the offsite copy
    EngineHarness harness;
    TempTree tree{{"dest/", ""}, {"offsite/", ""}};
    for (int i = 0; i < 60; ++i)
        tree.write("source/f" + std::to_string(i), "x");
    BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    pair.offsiteURL = tree.path("offsite");
    harness.store().updatePair(pair);
    BackupEngine& engine = harness.startEngine(pair);
    const bool offsiteStarted = harness.waitForStatus(
        [](const BackupStatus& s) {
            return s.is<BackupStatus::Syncing>() && s.as<BackupStatus::Syncing>()->currentFile.startsWith("Offsite: ");
        },
        20000);
    engine.stop();
    ASSERT_TRUE(offsiteStarted);
    ASSERT_TRUE(harness.waitForTasks());

    EXPECT_FALSE(harness.storedPair(pair.id).lastOffsiteAt.has_value());
    EXPECT_EQ(harness.eventTypes(), (std::vector<EventType>{EventType::backup, EventType::integrityChecked}));
    EXPECT_TRUE(isIdle(engine.status()));
}

TEST_F(RunTest, AProfileIsSuggestedOnceAndItsSaveKeepsTheRunsFields)
{
    EngineHarness harness;
    TempTree tree{{"source/package.json", "{}"}, {"source/node_modules/x/index.js", "x"}, {"source/.git/HEAD", "h"},
                  {"source/src/main.ts", "m"}, {"source/Cargo.toml", ""}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Code", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.makeEngine(pair);
    QSignalSpy suggested(&engine, &BackupEngine::profileSuggested);
    engine.start(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    ASSERT_EQ(suggested.count(), 1);
    EXPECT_EQ(suggested[0][0].value<QUuid>(), pair.id);
    EXPECT_EQ(suggested[0][1].toString(), "Code");
    EXPECT_EQ(suggested[0][2].value<BackupProfile>(), BackupProfile::developer);
    const BackupPair saved = harness.storedPair(pair.id);
    EXPECT_TRUE(saved.didSuggestProfile);
    EXPECT_EQ(saved.lastBackupAt, clock.now());

    runAgain(harness, saved);
    EXPECT_EQ(suggested.count(), 1);
}

// D/Larkfold -> elsewhere: the pair's whole backup would be written into the link's target.
TEST_F(RunTest, ALinkWhereTheLarkfoldFolderBelongsIsRefusedLikeALinkedBackupFolder)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}, {"elsewhere/", ""}};
    fs::create_directory_symlink(tree.path("elsewhere"), tree.path("dest/Larkfold"));
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& status) { return isError(status); }));
    ASSERT_TRUE(harness.waitForTasks());

    const QString refusal = QStringLiteral("Destination path is a symbolic link — refusing to write to prevent data "
                                           "redirection.");
    ASSERT_TRUE(engine.status().is<BackupStatus::Error>());
    EXPECT_EQ(engine.status().as<BackupStatus::Error>()->error.errorDescription(), refusal);
    EXPECT_EQ(harness.eventMessages(), std::vector<QString>{refusal});
    EXPECT_TRUE(fs::is_empty(tree.path("elsewhere")));
}

// The offsite folder's bookmark finds only an empty folder at its path (its drive is gone, the
// mount point stays): the folder is not reachable, and nothing is copied onto the system disk.
TEST_F(RunTest, AnOffsiteFolderThatIsNotReachableGetsNothing)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}, {"offsite/", ""}};
    platform::BookmarkRecord gone;
    gone.path = fs::canonical(tree.path("offsite"));
    gone.device = 0xDEAD; // no drive this machine has
    gone.inode = 1;
    BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    pair.offsiteURL = tree.path("offsite");
    pair.offsiteBookmark = gone.encode();
    harness.store().updatePair(pair);
    harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    EXPECT_TRUE(fs::is_empty(tree.path("offsite")));
    EXPECT_EQ(harness.eventMessages().back(),
              "Offsite copy paused — the cloud folder became unavailable. Will retry next week.");
    EXPECT_EQ(harness.storedPair(pair.id).lastOffsiteAt, clock.now());
}

// A link where the fingerprint database belongs and one where the trash belongs (leading to a
// large folder elsewhere on the computer): neither is followed, and each is told once, by name.
TEST_F(RunTest, ItemsItDidNotMakeAtItsOwnNamesAreLeftAloneAndToldOnce)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/Larkfold/Docs/", ""}, {"outside/fake.json", "{}"}};
    writeFile(tree.path("outside/trash.mov"), "");
    fs::resize_file(tree.path("outside/trash.mov"), std::uintmax_t(2) << 30);
    fs::create_symlink(tree.path("outside/fake.json"), tree.path("dest/Larkfold/Docs/.larkfold-hashes.json"));
    fs::create_directory_symlink(tree.path("outside"), tree.path("dest/.Larkfold-Trash"));
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    const QString database = "“.larkfold-hashes.json” in the backup folder isn't a file Larkfold made (it's a link or "
                             "another kind of item), so Larkfold left it alone. Integrity checks are off until it is "
                             "removed.";
    const QString trash = "“.Larkfold-Trash” on the backup drive isn't a folder Larkfold made (it's a link or another "
                          "kind of item), so Larkfold leaves it alone: the backup trash isn't measured and removed "
                          "files can't be moved there until it is removed.";
    EXPECT_EQ(harness.eventTypes(), (std::vector<EventType>{EventType::backup, EventType::error, EventType::error}));
    EXPECT_EQ(harness.eventMessages(), (std::vector<QString>{{}, database, trash}));
    EXPECT_EQ(harness.notificationBodies(), (std::vector<QString>{"Docs — " + database, "Docs — " + trash}));
    EXPECT_TRUE(isCompleted(harness.statuses().at(harness.statuses().size() - 2)));

    clock.advance(86401);
    runAgain(harness, pair);
    EXPECT_EQ(harness.notificationBodies().size(), 2u);
    EXPECT_EQ(harness.eventTypes().size(), 4u);
    EXPECT_TRUE(fs::is_symlink(tree.path("dest/Larkfold/Docs/.larkfold-hashes.json")));
    EXPECT_EQ(readFile(tree.path("outside/fake.json")), "{}");
}

// An allocation that fails inside a job (a planted file far larger than memory, say) ends that
// job with an error; the program and the next job go on.
TEST_F(RunTest, AJobThatRunsOutOfMemoryEndsWithAnErrorAndTheNextOneRuns)
{
    platform::FaultInjectingFileSystem faults;
    EngineHarness harness;
    harness.environment.fileSystem = &faults;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    faults.beforeNth(platform::FileOperation::read, 1, [] { throw std::bad_alloc(); });
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& status) { return isError(status); }));
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(harness.eventMessages().back(),
              "There wasn't enough memory to finish this backup. It will be tried again at the next backup.");

    runAgain(harness, pair);
    EXPECT_TRUE(isCompleted(harness.statuses().at(harness.statuses().size() - 2)));
    EXPECT_EQ(fingerprintCount(tree.path("dest/Larkfold/Docs")), 1);
    EXPECT_TRUE(isIdle(engine.status()));
}

// Another run (another account, another computer) holds the folder: this one ends at once with a
// clear error and touches nothing, not even the other run's unfinished copy.
TEST_F(RunTest, ARunOnAFolderAnotherRunHoldsEndsAtOnceAndWritesNothing)
{
    EngineHarness harness;
    TempTree tree{{"source/a.txt", "a"}, {"dest/Larkfold/Docs/.larkfold-lock", ""},
                  {"dest/Larkfold/Docs/.larktmp-1A2B3C4D-film.mov", "the other run's"}};
    const int other = ::open(tree.path("dest/Larkfold/Docs/.larkfold-lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& status) { return isError(status); }));
    ASSERT_TRUE(harness.waitForTasks());

    const QString busy = "Another backup is writing to this folder — this one will try again later.";
    ASSERT_TRUE(engine.status().is<BackupStatus::Error>());
    EXPECT_EQ(engine.status().as<BackupStatus::Error>()->error.errorDescription(), busy);
    EXPECT_EQ(harness.eventMessages(), std::vector<QString>{busy});
    EXPECT_EQ(treeOf(tree.path("dest")), (std::vector<std::string>{"Larkfold/", "Larkfold/Docs/",
                                                                     "Larkfold/Docs/.larkfold-lock",
                                                                     "Larkfold/Docs/.larktmp-1A2B3C4D-film.mov"}));

    ::close(other);
    runAgain(harness, pair);
    EXPECT_EQ(readFile(tree.path("dest/Larkfold/Docs/a.txt")), "a");
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold/Docs/.larktmp-1A2B3C4D-film.mov")));
}

// Once the run has ended, the backup folder's path is made to lead elsewhere (the "Larkfold"
// folder replaced by a link): the fingerprints, the daily check and the offsite copy still work
// on the folder the run wrote, and nothing is read or written at the link's target.
TEST_F(RunTest, EveryStepAfterTheRunWorksOnTheFolderTheRunOpened)
{
    platform::FaultInjectingFileSystem faults;
    EngineHarness harness;
    harness.environment.fileSystem = &faults;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}, {"offsite/", ""}, {"elsewhere/Docs/secret.txt", "secret"}};
    const fs::path backup = tree.path("dest/Larkfold/Docs");
    std::atomic<bool> swapped = false;
    std::function<void()> swapOnceTheRunIsOver = [&] {
        if (!swapped && fs::exists(backup / "a.txt") && !fs::exists(backup / ".larkfold-checkpoint.json")) {
            swapped = true;
            fs::rename(tree.path("dest/Larkfold"), tree.path("dest/moved"));
            fs::create_directory_symlink(tree.path("elsewhere"), tree.path("dest/Larkfold"));
        } else if (!swapped) {
            faults.beforeNth(platform::FileOperation::status, 1, swapOnceTheRunIsOver);
        }
    };
    faults.beforeNth(platform::FileOperation::status, 1, swapOnceTheRunIsOver);
    BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    pair.offsiteURL = tree.path("offsite");
    harness.store().updatePair(pair);
    harness.startEngine(pair);
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());

    ASSERT_TRUE(swapped);
    EXPECT_EQ(treeOf(tree.path("elsewhere")), (std::vector<std::string>{"Docs/", "Docs/secret.txt"}));
    EXPECT_EQ(fingerprintCount(tree.path("dest/moved/Docs")), 1);
    EXPECT_TRUE(fs::exists(tree.path("dest/moved/Docs/.larkfold-lastcheck")));
    EXPECT_EQ(treeOf(tree.path("offsite")), (std::vector<std::string>{"Larkfold/", "Larkfold/Docs/", "Larkfold/Docs/a.txt"}));
}
