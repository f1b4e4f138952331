#include "EngineHarnessFixture.h"

#include "copy/BandwidthThrottle.h"
#include "copy/FileCopier.h"
#include "platform/FaultInjectingFileSystem.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using EventType = BackupEvent::EventType;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kInNamespaceVariable = "LARKFOLD_TEST_IN_MOUNT_NAMESPACE";

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int backupEvents(const EngineHarness& harness)
{
    const auto types = harness.eventTypes();
    return int(std::count(types.begin(), types.end(), EventType::backup));
}

// Starts the pair and waits for its first run to end.
BackupEngine& startAndSettle(EngineHarness& harness, const BackupPair& pair)
{
    BackupEngine& engine = harness.startEngine(pair);
    EXPECT_TRUE(harness.waitUntilIdleAfterRun());
    return engine;
}

} // namespace

TEST(BackupEngineEndToEnd, ANewFileReachesTheBackupOnlyAfterTheDebounce)
{
    EngineHarness harness;
    TempTree tree{{"source/old.txt", "old"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    startAndSettle(harness, pair);

    const fs::path copy = tree.path("dest/Larkfold/Docs/new.txt");
    const auto written = Clock::now();
    tree.write("source/new.txt", "new");
    ASSERT_TRUE(spinUntil([&] { return fs::exists(copy); }, 8000));
    const double delay = secondsSince(written);
    std::cout << "write-to-backup delay: " << delay << " s\n";
    RecordProperty("writeToBackupDelaySeconds", std::to_string(delay));
    EXPECT_GE(delay, 2.0);
    EXPECT_LE(delay, 4.0);
    EXPECT_EQ(readFile(copy), "new");
}

TEST(BackupEngineEndToEnd, ABurstOfWritesGivesOneRun)
{
    EngineHarness harness;
    TempTree tree{{"source/", ""}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    startAndSettle(harness, pair);
    ASSERT_EQ(backupEvents(harness), 1);

    for (int i = 0; i < 30; ++i) {
        tree.write("source/burst/" + std::to_string(i) + ".txt", "x");
        spinFor(30);
    }
    ASSERT_TRUE(spinUntil([&] { return backupEvents(harness) == 2; }, 8000));
    ASSERT_TRUE(harness.waitUntilIdleAfterRun());
    spinFor(2500); // a second trigger would have come by now
    EXPECT_EQ(backupEvents(harness), 2);
    EXPECT_EQ(harness.store().events().back().filesAffected, 30);
}

TEST(BackupEngineEndToEnd, FolderLayoutAtTheDestination)
{
    struct Case {
        const char* destination;
        const char* backupFolder;
        const char* trash;
    } cases[] = {
        {"Drive", "Drive/Larkfold/Photos", "Drive/.Larkfold-Trash"},
        {"Drive/Larkfold", "Drive/Larkfold/Photos", "Drive/Larkfold/.Larkfold-Trash"},
        {"Drive/larkfold", "Drive/larkfold/Larkfold/Photos", "Drive/larkfold/.Larkfold-Trash"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        EngineHarness harness;
        TempTree tree{{"source/keep.jpg", "k"}, {"source/gone.jpg", "g"}};
        tree.mkdir(c.destination);
        const BackupPair pair = harness.addPair("Photos", tree.path("source"), tree.path(c.destination));
        BackupEngine& engine = startAndSettle(harness, pair);
        EXPECT_EQ(tree.read(fs::path(c.backupFolder) / "gone.jpg"), "g");

        // A file gone from the source moves into the trash's day folder, never away.
        fs::remove(tree.path("source/gone.jpg"));
        engine.triggerBackup(pair);
        ASSERT_TRUE(harness.waitUntilIdleAfterRun());
        EXPECT_FALSE(tree.exists(fs::path(c.backupFolder) / "gone.jpg"));
        const fs::path day = fs::path(c.trash) / FileCopier::dateFolderName(QDateTime::currentDateTime());
        EXPECT_TRUE(tree.exists(day)) << day;
        EXPECT_TRUE(tree.exists(fs::path(c.backupFolder) / "keep.jpg"));
    }
}

TEST(BackupEngineEndToEnd, TheStatusReturnsToIdleFiveSecondsAfterARun)
{
    EngineHarness harness;
    harness.environment.finishedStatusDelay = BackupEngine::Environment{}.finishedStatusDelay;
    TempTree tree{{"source/a.txt", "a"}, {"dest/", ""}};
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus(isCompleted));
    const auto completed = Clock::now();
    ASSERT_TRUE(harness.waitForStatus(isIdle, 8000));
    EXPECT_GE(secondsSince(completed), 4.9);
}

TEST(BackupEngineEndToEnd, ASourceRenamedAwayMidRunStopsTheRunAsAVolumeLoss)
{
    QuietMode quiet;
    EngineHarness harness;
    TempTree tree{{"dest/", ""}};
    for (int i = 0; i < 60; ++i)
        tree.write("source/f" + std::to_string(i) + ".txt", "x");
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& s) {
        return s.is<BackupStatus::Syncing>() && s.as<BackupStatus::Syncing>()->progress > 0.1;
    }));

    fs::rename(tree.path("source"), tree.path("moved"));
    ASSERT_TRUE(harness.waitForStatus(isError));
    EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::volumeLost()));
    ASSERT_TRUE(spinUntil([&] { return !harness.store().events().empty(); }));
    EXPECT_EQ(harness.eventTypes().front(), EventType::error);
    EXPECT_EQ(harness.eventMessages().front(),
              "Backup aborted — a volume disconnected mid-backup. Your existing backups are safe.");
    ASSERT_TRUE(spinUntil([&] { return !harness.notificationBodies().empty(); }));
    EXPECT_EQ(harness.notificationBodies().front(),
              "Docs — Backup aborted — a drive disconnected. Your backups are safe; will retry later.");
    EXPECT_FALSE(fs::exists(tree.path("dest/Larkfold/Docs/.larkfold-hashes.json")));
    EXPECT_FALSE(fs::exists(tree.path("dest/.Larkfold-Trash")));
}

namespace {

bool insidePrivateMountNamespace()
{
    return qEnvironmentVariableIsSet(kInNamespaceVariable);
}

// Starts the test binary again under `unshare` for the current test alone and takes over its outcome.
void rerunInPrivateMountNamespace()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kInNamespaceVariable, "1");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare", {"--mount", "--propagation", "private", QCoreApplication::applicationFilePath(),
                            QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
    if (!child.waitForStarted())
        GTEST_SKIP() << "unshare is not available";
    EXPECT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (child.exitCode() != 0 && output.contains("unshare:"))
        GTEST_SKIP() << "no private mount namespace here: " << output.toStdString();
    else if (output.contains("[  SKIPPED ]"))
        GTEST_SKIP() << output.toStdString();
    else
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
}

// A tmpfs over /media keeps the host's folder untouched; the drive is a small tmpfs inside it.
bool mountDrive(const fs::path& drive)
{
    return ::mount("tmpfs", "/media", "tmpfs", 0, "size=1m") == 0 && fs::create_directory(drive)
        && ::mount("tmpfs", drive.c_str(), "tmpfs", 0, "size=4m") == 0;
}

} // namespace

// Runs in a private mount namespace, as the tests below.
TEST(BackupEngineEndToEnd, ADriveUnmountedMidRunLeavesNothingOnTheDiskBelow)
{
    if (!insidePrivateMountNamespace())
        return rerunInPrivateMountNamespace();

    const fs::path drive = "/media/larkfold-test-drive";
    if (!mountDrive(drive))
        GTEST_SKIP() << "cannot mount a tmpfs here";
    QuietMode quiet;
    EngineHarness harness;
    TempTree tree;
    for (int i = 0; i < 60; ++i)
        tree.write("source/f" + std::to_string(i) + ".txt", "x");
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), drive);
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus([](const BackupStatus& s) {
        return s.is<BackupStatus::Syncing>() && s.as<BackupStatus::Syncing>()->progress > 0.1;
    }));

    ASSERT_EQ(::umount2(drive.c_str(), MNT_DETACH), 0);
    ASSERT_TRUE(harness.waitForStatus(isError));
    EXPECT_EQ(engine.status(), BackupStatus::error(BackupError::volumeLost()));
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(harness.eventMessages().front(),
              "Backup aborted — a volume disconnected mid-backup. Your existing backups are safe.");
    // The folder the drive was mounted on is empty: no backup, fingerprints or trash went there.
    EXPECT_TRUE(fs::is_empty(drive));

    // With the drive gone, the next run finds the destination unreachable rather than writing below it.
    engine.triggerBackup(pair);
    ASSERT_TRUE(harness.waitForTasks());
    EXPECT_EQ(engine.status(), BackupStatus::destinationUnreachable());
    EXPECT_TRUE(fs::is_empty(drive));
}

// The drive pulled once the copy is done, as the run saves its fingerprints: its copies cannot be
// read any more, which says nothing about how well they were copied.
TEST(BackupEngineEndToEnd, ADrivePulledAfterTheCopyRaisesNoVerificationAlarm)
{
    if (!insidePrivateMountNamespace())
        return rerunInPrivateMountNamespace();
    const fs::path drive = "/media/larkfold-test-drive";
    if (!mountDrive(drive))
        GTEST_SKIP() << "cannot mount a tmpfs here";
    platform::FaultInjectingFileSystem faults;
    EngineHarness harness;
    harness.environment.fileSystem = &faults;
    TempTree tree;
    for (int i = 0; i < 5; ++i)
        tree.write("source/f" + std::to_string(i) + ".txt", "x");
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), drive);

    // Each sync looks at what was opened last; the fingerprint file's is the moment.
    std::atomic<bool> pulled = false;
    std::function<void()> pullAtFingerprints = [&] {
        const auto opened = faults.openedPaths();
        if (!opened.empty() && opened.back().filename().string().ends_with(".larkfold-hashes.json")) {
            pulled = ::umount2(drive.c_str(), MNT_DETACH) == 0;
            return;
        }
        faults.beforeNth(platform::FileOperation::sync, 1, pullAtFingerprints);
    };
    faults.beforeNth(platform::FileOperation::sync, 1, pullAtFingerprints);
    harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForStatus(isCompleted));
    ASSERT_TRUE(harness.waitForTasks());
    ASSERT_TRUE(pulled);

    EXPECT_EQ(harness.eventTypes(), std::vector<EventType>{EventType::backup});
    EXPECT_EQ(harness.store().events().front().filesAffected, 5) << "the copy itself was complete";
    EXPECT_EQ(harness.notificationBodies(), std::vector<QString>{});
    EXPECT_TRUE(fs::is_empty(drive));
}

// A drive mounted inside the source holds most of its files; unmounted, its folder is empty. The
// next run leaves the drive's part of the backup as it is and says so.
TEST(BackupEngineEndToEnd, ADriveUnmountedFromInsideTheSourceKeepsItsPartOfTheBackup)
{
    if (!insidePrivateMountNamespace())
        return rerunInPrivateMountNamespace();
    EngineHarness harness;
    TempTree tree;
    tree.write("source/a.txt", "on the system disk");
    tree.mkdir("dest");
    const fs::path media = tree.mkdir("source/media");
    if (::mount("tmpfs", media.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFiles(media, 9);
    const BackupPair pair = harness.addPair("Docs", tree.path("source"), tree.path("dest"));
    BackupEngine& engine = harness.startEngine(pair);
    ASSERT_TRUE(harness.waitForTasks());
    ASSERT_EQ(countFiles(tree.path("dest/Larkfold/Docs")), 10);
    EXPECT_EQ(harness.storedPair(pair.id).sourceMountPoints, std::vector<fs::path>{fs::canonical(media)});

    ASSERT_EQ(::umount2(media.c_str(), MNT_DETACH), 0);
    engine.triggerBackup(harness.storedPair(pair.id));
    ASSERT_TRUE(harness.waitForTasks());

    EXPECT_EQ(countFiles(tree.path("dest/Larkfold/Docs/media")), 9);
    EXPECT_FALSE(fs::exists(tree.path("dest/.Larkfold-Trash")));
    EXPECT_EQ(harness.eventMessages().back(), "“media” is not mounted — its files in the backup were left as they are.");
    EXPECT_EQ(harness.storedPair(pair.id).sourceMountPoints, std::vector<fs::path>{fs::canonical(media)});
}
