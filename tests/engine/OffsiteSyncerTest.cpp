#include "engine/OffsiteSyncer.h"

#include "FakeCaseInsensitiveFileSystem.h"
#include "copy/BandwidthThrottle.h"
#include "platform/FakeVolumeInfo.h"
#include "platform/FaultInjectingFileSystem.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <mutex>

using namespace larkfold;
using namespace std::chrono_literals;
using platform::FileOperation;
using test::TempDir;
using test::TempTree;
namespace fs = std::filesystem;

namespace {

// Records the sleeps asked of it instead of sleeping.
class RecordingClock final : public platform::ContinuousClock {
public:
    Duration now() const override { return {}; }
    bool sleepFor(Duration duration, const platform::CancelToken& cancel) override
    {
        if (onSleep)
            onSleep();
        std::lock_guard lock(m_mutex);
        m_slept.push_back(duration);
        return !cancel.isCancelled();
    }
    std::vector<Duration> slept() const
    {
        std::lock_guard lock(m_mutex);
        return m_slept;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_slept.clear();
    }
    // The waits between attempts, without the 10 ms pauses before files.
    std::vector<Duration> retryWaits() const
    {
        std::vector<Duration> waits;
        for (const auto d : slept())
            if (d != 10ms)
                waits.push_back(d);
        return waits;
    }

    // Runs at every sleep, on the sleeping thread.
    std::function<void()> onSleep;

private:
    mutable std::mutex m_mutex;
    std::vector<Duration> m_slept;
};

// Every file and folder below `root`, sorted, folders ending in "/".
std::vector<std::string> entriesBelow(const fs::path& root)
{
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string relative = fs::relative(it->path(), root).native();
        entries.push_back(it->is_directory() && !it->is_symlink() ? relative + "/" : relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::timespec mtimeOf(const fs::path& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mtim;
}

class OffsiteSyncerTest : public ::testing::Test {
protected:
    OffsiteSyncerTest() { currentBandwidthMode = 0; }
    ~OffsiteSyncerTest() override { currentBandwidthMode = 0; }

    OffsiteSyncer syncer(platform::FileSystem& fileSystem = platform::systemFileSystem())
    {
        const auto space = freeBytes ? std::optional(platform::VolumeSpace{*freeBytes, *freeBytes}) : std::nullopt;
        volumes.setVolume({"/", space});
        return OffsiteSyncer(fileSystem, volumes, clock, activeUser);
    }

    OffsiteSyncResult sync(platform::FileSystem& fileSystem = platform::systemFileSystem(),
                           const platform::CancelToken& cancel = {})
    {
        progress.clear();
        return syncer(fileSystem).sync(
            backup.root(), offsiteFolder.path(), target, ExclusionFilter::forProfile(BackupProfile::developer),
            [this](double fraction, const QString& name) {
                progress.emplace_back(fraction, name.toStdString());
                if (onProgress)
                    onProgress(progress.size() - 1);
            },
            cancel);
    }

    fs::path offsite(const fs::path& relative) const { return target / relative; }

    TempTree backup;
    TempDir offsiteFolder;
    fs::path target = offsiteFolder / "Larkfold" / "Pair";
    // Free space of the offsite volume; none when it cannot be asked.
    std::optional<std::uint64_t> freeBytes = std::uint64_t(1) << 40;
    platform::FakeVolumeInfo volumes;
    RecordingClock clock;
    platform::FakeIdleTime activeUser{1s};
    std::vector<std::pair<double, std::string>> progress;
    std::function<void(std::size_t index)> onProgress;
};

TEST_F(OffsiteSyncerTest, CopiesRegularFilesWithTheirTimesAndLeavesOutEverythingElse)
{
    backup.write("a.txt", "alpha");
    backup.write("sub/deep/b.txt", "bravo!");
    backup.setMtime("a.txt", 1'600'000'000, 123'456'789);
    for (const char* skipped : {".larkfold-hashes.json", ".larkfold-checkpoint.json", "sub/.larkfold-lastcheck",
                                "sub/.larktmp-0A1B2C3D-report.pdf", ".larkresume-100-big.mov",
                                ".larktmp-0A1B2C3D-folder/inside.txt", "node_modules/x.js", "sub/.DS_Store",
                                "sub/cache.pyc"})
        backup.write(skipped, "skip");
    TempTree outside{{"linked/file.txt", "outside"}};
    backup.symlink("link.txt", backup.path("a.txt"));
    backup.symlink("linked", outside.path("linked"));
    ASSERT_EQ(::mkfifo(backup.path("pipe").c_str(), 0600), 0);

    const OffsiteSyncResult result = sync();

    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.copiedFiles, 2);
    EXPECT_EQ(result.bytesTransferred, 11);
    EXPECT_FALSE(result.abortedDueToFolderLoss);
    EXPECT_FALSE(result.wasCancelled);
    // Excluded and temporary folders are not even created offsite; no temporary is left behind.
    EXPECT_EQ(entriesBelow(target), (std::vector<std::string>{"a.txt", "sub/", "sub/deep/", "sub/deep/b.txt"}));
    EXPECT_EQ(test::readFile(offsite("sub/deep/b.txt")), "bravo!");
    const std::timespec kept = mtimeOf(offsite("a.txt"));
    EXPECT_EQ(kept.tv_sec, 1'600'000'000);
    EXPECT_EQ(kept.tv_nsec, 123'456'789);

    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0].first, 0.0);
    EXPECT_EQ(progress[1].first, 0.5);
    std::vector<std::string> names{progress[0].second, progress[1].second};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
    // The active user gets the 10 ms pause before each file.
    EXPECT_EQ(clock.slept(), (std::vector<platform::ContinuousClock::Duration>{10ms, 10ms}));
}

TEST_F(OffsiteSyncerTest, ReplacesChangedFilesByTimeAndSizeAndKeepsWhatLeftTheBackup)
{
    struct Case {
        const char* name;
        std::int64_t offsiteSecondsApart;
        long offsiteNanosecondsApart;
        const char* offsiteContent; // same size as "fresh" unless stated
        bool replaced;
    };
    const Case cases[] = {
        {"same.txt", 0, 0, "stale", false},
        {"two-later.txt", 2, 0, "stale", false}, // exactly 2.0 s apart still counts as the same
        {"two-earlier.txt", -2, 0, "stale", false},
        {"later.txt", 2, 500'000'000, "stale", true}, // a newer offsite copy is replaced too
        {"earlier.txt", -3, 500'000'000, "stale", true},
        {"resized.txt", 0, 0, "stale and longer", true},
    };
    constexpr std::int64_t kBase = 1'700'000'000;
    for (const Case& c : cases) {
        backup.write(c.name, "fresh");
        backup.setMtime(c.name, kBase);
    }
    backup.write("gone.txt", "was here");
    ASSERT_TRUE(sync().errors.empty());
    fs::remove(backup.path("gone.txt"));
    for (const Case& c : cases) {
        test::writeFile(offsite(c.name), c.offsiteContent);
        const timespec times[2] = {{kBase + c.offsiteSecondsApart, c.offsiteNanosecondsApart},
                                   {kBase + c.offsiteSecondsApart, c.offsiteNanosecondsApart}};
        ::utimensat(AT_FDCWD, offsite(c.name).c_str(), times, 0);
    }
    clock.clear();
    // Room for exactly the three changed files and the margin: unchanged files are not measured.
    freeBytes = std::uint64_t(500) * 1024 * 1024 + 15;
    const OffsiteSyncResult result = sync();

    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.copiedFiles, 3);
    EXPECT_EQ(result.bytesTransferred, 15);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::readFile(offsite(c.name)), c.replaced ? "fresh" : c.offsiteContent);
    }
    EXPECT_EQ(test::readFile(offsite("gone.txt")), "was here");
    // Up-to-date files get their pause too.
    EXPECT_EQ(clock.slept().size(), std::size(cases));
}

TEST_F(OffsiteSyncerTest, NothingToCopy)
{
    // A missing backup folder: nothing happens, the offsite target is not even made.
    const fs::path missing = backup.path("missing");
    OffsiteSyncResult result = syncer().sync(missing, offsiteFolder.path(), target, ExclusionFilter::forProfile(BackupProfile::standard));
    EXPECT_EQ(result.copiedFiles, 0);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_FALSE(result.abortedDueToFolderLoss);
    EXPECT_FALSE(fs::exists(offsiteFolder / "Larkfold"));

    // Only skipped files: the target is made, and a full volume does not matter.
    backup.write(".larkfold-hashes.json", "{}");
    freeBytes = 0;
    result = sync();
    EXPECT_EQ(result.copiedFiles, 0);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_TRUE(entriesBelow(target).empty());
    EXPECT_TRUE(progress.empty());

    // Up-to-date files: no space check either.
    backup.write("a.txt", "alpha");
    freeBytes = std::nullopt;
    ASSERT_EQ(sync().copiedFiles, 1);
    freeBytes = 0;
    result = sync();
    EXPECT_EQ(result.copiedFiles, 0);
    EXPECT_TRUE(result.errors.empty());
}

TEST_F(OffsiteSyncerTest, RefusesToStartWithoutRoomForTheFilesAndAMargin)
{
    constexpr std::uint64_t kMiB = 1024 * 1024;
    struct Case {
        std::int64_t bytes;
        std::optional<std::uint64_t> free;
        const char* message; // none: the check passes
    };
    const Case cases[] = {
        {100 * kMiB, 300 * kMiB,
         "Not enough room in the offsite folder. Need ~100 MB, only ~300 MB free. Free up space in your cloud folder "
         "and try again."},
        {1000, 1000 + 500 * kMiB - 1,
         "Not enough room in the offsite folder. Need ~0 MB, only ~500 MB free. Free up space in your cloud folder "
         "and try again."},
        {1000, 1000 + 500 * kMiB, nullptr},
        {1000, std::nullopt, nullptr}, // an unknown free space is no reason to stop
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        TempTree source;
        const fs::path file = source.write("big.bin", "");
        fs::resize_file(file, std::uintmax_t(c.bytes)); // sparse; never copied when the check fails
        fs::remove_all(target);
        freeBytes = c.free;

        const OffsiteSyncResult result =
            syncer().sync(source.root(), offsiteFolder.path(), target, ExclusionFilter::forProfile(BackupProfile::standard));

        if (!c.message) {
            EXPECT_TRUE(result.errors.empty());
            EXPECT_EQ(result.copiedFiles, 1);
            continue;
        }
        EXPECT_EQ(result.copiedFiles, 0);
        EXPECT_FALSE(result.abortedDueToFolderLoss);
        EXPECT_FALSE(fs::exists(target / "big.bin"));
        ASSERT_EQ(result.errors.size(), 1u);
        const FileOperationError& error = result.errors[0];
        EXPECT_EQ(error.operation(), "offsiteDiskSpaceCheck");
        EXPECT_EQ(error.url(), target);
        EXPECT_TRUE(error.isLarkfold(2020));
        EXPECT_EQ(error.description().toStdString(), c.message);
    }
}

TEST_F(OffsiteSyncerTest, OffsiteTargetThatCannotBeMade)
{
    test::writeFile(offsiteFolder / "Larkfold", "a file where the folder should go");
    backup.write("a.txt", "alpha");

    const OffsiteSyncResult result = sync();

    EXPECT_TRUE(result.abortedDueToFolderLoss);
    EXPECT_EQ(result.copiedFiles, 0);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].operation(), "createOffsiteDirectory");
    EXPECT_EQ(result.errors[0].url(), target);
    EXPECT_TRUE(result.errors[0].isPosix(ENOTDIR));
}

// With a cloud folder's drive gone its path is missing, or an empty folder on the system disk:
// nothing may be made above the target, and nothing followed on the way to it.
TEST_F(OffsiteSyncerTest, OnlyTheFoldersInsideAnOffsiteFolderThatExistsAndIsNoLinkAreMade)
{
    backup.write("a.txt", "alpha");
    TempDir elsewhere;
    const struct Case {
        const char* what;
        const char* chosen; // the offsite folder, inside offsiteFolder
        int error;
    } cases[] = {
        {"missing", "gone", ENOENT},
        {"a link", "link", ELOOP},
        {"its Larkfold folder a link", "holds-link", ELOOP},
        {"an existing folder", "cloud", 0},
    };
    fs::create_directory_symlink(elsewhere.path(), offsiteFolder / "link");
    fs::create_directories(offsiteFolder / "holds-link");
    fs::create_directory_symlink(elsewhere.path(), offsiteFolder / "holds-link" / "Larkfold");
    fs::create_directories(offsiteFolder / "cloud");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path chosen = offsiteFolder / c.chosen;
        const fs::path pairTarget = chosen / "Larkfold" / "Pair";

        const OffsiteSyncResult result =
            syncer().sync(backup.root(), chosen, pairTarget, ExclusionFilter::forProfile(BackupProfile::standard));

        EXPECT_TRUE(fs::is_empty(elsewhere.path()));
        if (c.error == 0) {
            EXPECT_TRUE(result.errors.empty());
            EXPECT_EQ(test::readFile(pairTarget / "a.txt"), "alpha");
            continue;
        }
        EXPECT_FALSE(fs::exists(offsiteFolder / "gone"));
        EXPECT_TRUE(result.abortedDueToFolderLoss);
        ASSERT_EQ(result.errors.size(), 1u);
        EXPECT_EQ(result.errors[0].operation(), "createOffsiteDirectory");
        EXPECT_TRUE(result.errors[0].isPosix(c.error)) << result.errors[0].code();
    }
}

TEST_F(OffsiteSyncerTest, StopsWhenAFolderGoesAway)
{
    struct Case {
        const char* what;
        std::size_t files;
        std::size_t atProgress; // the folder goes when this file is reported
        bool removeOffsite;     // else the backup folder
        bool renameOnly;        // moved away instead of deleted: writes still succeed
        int expectedCode;       // 0: not noticed
        std::int64_t expectedCopies;
    };
    const Case cases[] = {
        // A moved folder is noticed at the check before every 26th file, not earlier.
        {"offsite moved, 25 files", 25, 3, true, true, 0, 25},
        {"offsite moved, 26 files", 26, 3, true, true, 2001, 25},
        {"backup moved, 26 files", 26, 3, false, true, 1007, 25},
        // A deleted folder fails the file at hand and is noticed straight after it.
        {"offsite deleted", 40, 3, true, false, 2001, 3},
        {"backup deleted", 40, 3, false, false, 1007, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(target);
        fs::remove_all(offsiteFolder / "moved");
        TempTree source;
        for (std::size_t i = 0; i < c.files; ++i)
            source.write("f" + std::to_string(i), "data");
        const fs::path folder = c.removeOffsite ? target : source.root();
        const fs::path movedTo = offsiteFolder / "moved";
        std::size_t reported = 0;
        const auto result = syncer().sync(source.root(), offsiteFolder.path(), target, ExclusionFilter::forProfile(BackupProfile::standard),
                                          [&](double, const QString&) {
                                              if (reported++ != c.atProgress)
                                                  return;
                                              if (c.renameOnly)
                                                  fs::rename(folder, movedTo);
                                              else
                                                  fs::remove_all(folder);
                                          });
        if (c.renameOnly)
            fs::rename(movedTo, folder); // so the TempTree can clean up where it expects
        EXPECT_EQ(result.copiedFiles, c.expectedCopies);
        EXPECT_EQ(result.abortedDueToFolderLoss, c.expectedCode != 0);
        if (c.expectedCode == 0) {
            EXPECT_TRUE(result.errors.empty());
            continue;
        }
        ASSERT_FALSE(result.errors.empty());
        const FileOperationError& last = result.errors.back();
        EXPECT_EQ(last.code(), c.expectedCode);
        EXPECT_EQ(last.url(), c.removeOffsite ? target : source.root());
        EXPECT_EQ(last.operation(), c.removeOffsite ? "offsiteReachability" : "destinationVolumeCheck");
        // A deleted folder costs the file at hand, never the files after it.
        EXPECT_EQ(result.errors.size(), c.renameOnly ? 1u : 2u);
        EXPECT_EQ(reported, c.renameOnly ? 25u : c.atProgress + 1);
    }
}

TEST_F(OffsiteSyncerTest, TriesAFileThreeTimesAndKeepsTheOldCopyWhenAllFail)
{
    platform::FaultInjectingFileSystem faults;
    backup.write("a.txt", "first version");
    backup.write("b.txt", "other");
    ASSERT_EQ(sync().copiedFiles, 2);
    backup.write("a.txt", "second version");
    backup.write("b.txt", "changed");

    // Two failed writes: the third attempt puts the file in place.
    clock.clear();
    faults.failNth(FileOperation::write, 1, EIO);
    faults.failNth(FileOperation::write, 2, EIO);
    OffsiteSyncResult result = sync(faults);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.copiedFiles, 2);
    EXPECT_EQ(clock.retryWaits(), (std::vector<platform::ContinuousClock::Duration>{500ms, 1000ms}));
    EXPECT_EQ(test::readFile(offsite("a.txt")), "second version");

    // A full cloud folder: each file fails its three attempts once, the old copies stay, no
    // temporary is left, and the next file is still tried.
    backup.write("a.txt", "the third version");
    backup.write("b.txt", "changed again");
    clock.clear();
    faults.clearFaults();
    faults.failAlways(FileOperation::write, ENOSPC);
    result = sync(faults);
    EXPECT_EQ(result.copiedFiles, 0);
    ASSERT_EQ(result.errors.size(), 2u);
    for (const FileOperationError& error : result.errors) {
        EXPECT_EQ(error.operation(), "offsiteCopy");
        EXPECT_TRUE(error.isPosix(ENOSPC));
    }
    std::vector<fs::path> urls{result.errors[0].url(), result.errors[1].url()};
    std::sort(urls.begin(), urls.end());
    EXPECT_EQ(urls, (std::vector<fs::path>{backup.path("a.txt"), backup.path("b.txt")}));
    EXPECT_EQ(clock.retryWaits(), (std::vector<platform::ContinuousClock::Duration>{500ms, 1000ms, 500ms, 1000ms}));
    EXPECT_EQ(test::readFile(offsite("a.txt")), "second version");
    EXPECT_EQ(entriesBelow(target), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(OffsiteSyncerTest, ACopyOfTheWrongSizeIsNeverMovedIntoPlace)
{
    platform::FaultInjectingFileSystem faults;
    const std::string big(1536 * 1024, 'x'); // more than one buffer of the read-and-write copy
    backup.write("big.bin", big);
    test::writeFile(offsite("big.bin"), "old");
    faults.failAlways(FileOperation::copyRange, ENOSYS);

    // The first attempt's copy comes out one buffer short; the second is whole.
    faults.endFileEarly(2);
    OffsiteSyncResult result = sync(faults);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.copiedFiles, 1);
    EXPECT_EQ(clock.retryWaits(), (std::vector<platform::ContinuousClock::Duration>{500ms}));
    EXPECT_EQ(test::readFile(offsite("big.bin")), big);

    // Short on every attempt (cut again at each wait): one error with both sizes, old copy kept.
    backup.write("big.bin", big + "y");
    clock.onSleep = [&] { faults.endFileEarly(2); };
    result = sync(faults);
    EXPECT_EQ(result.copiedFiles, 0);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].operation(), "offsiteCopy");
    EXPECT_TRUE(result.errors[0].isLarkfold(2010));
    EXPECT_EQ(result.errors[0].description(), "Offsite copy size mismatch: source=1572865, copied=1048576.");
    EXPECT_EQ(test::readFile(offsite("big.bin")), big);
    EXPECT_EQ(entriesBelow(target), std::vector<std::string>{"big.bin"});
}

TEST_F(OffsiteSyncerTest, CancelLetsTheFileAtHandAndItsRetriesFinishThenStops)
{
    platform::FaultInjectingFileSystem faults;
    for (const char* name : {"a", "b", "c", "d"})
        backup.write(name, name);
    platform::CancelSource cancel;
    onProgress = [&](std::size_t index) {
        if (index == 1) {
            cancel.cancel();
            faults.failNth(FileOperation::write, 1, EIO);
        }
    };

    const OffsiteSyncResult result = sync(faults, cancel.token());

    EXPECT_TRUE(result.wasCancelled);
    EXPECT_FALSE(result.abortedDueToFolderLoss);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.copiedFiles, 2);
    EXPECT_EQ(progress.size(), 2u);
    EXPECT_EQ(clock.retryWaits(), (std::vector<platform::ContinuousClock::Duration>{500ms}));
    EXPECT_EQ(entriesBelow(target).size(), 2u);

    // Cancelled before the first file: nothing copied, and still not a finished copy.
    const OffsiteSyncResult early = sync(platform::systemFileSystem(), cancel.token());
    EXPECT_TRUE(early.wasCancelled);
    EXPECT_EQ(early.copiedFiles, 0);
}

TEST_F(OffsiteSyncerTest, TwoFilesThatLandOnOneOffsiteNameKeepTheFirstAndReportTheSecond)
{
    test::FakeCaseInsensitiveFileSystem caseInsensitive;
    backup.write("Photos/Beach.jpg", "upper case");
    backup.write("photos/beach.jpg", "lower case, longer");

    for (int week = 1; week <= 2; ++week) {
        SCOPED_TRACE(week);
        const OffsiteSyncResult result = sync(caseInsensitive);
        ASSERT_EQ(progress.size(), 2u);
        const std::string first = progress[0].second == "Beach.jpg" ? "Photos/Beach.jpg" : "photos/beach.jpg";
        const std::string second = first == "Photos/Beach.jpg" ? "photos/beach.jpg" : "Photos/Beach.jpg";

        EXPECT_EQ(result.copiedFiles, week == 1 ? 1 : 0);
        ASSERT_EQ(result.errors.size(), 1u);
        EXPECT_EQ(result.errors[0].operation(), "offsiteCopy");
        EXPECT_EQ(result.errors[0].url(), backup.path(second));
        EXPECT_TRUE(result.errors[0].isLarkfold(2030));
        // The first file's copy is never overwritten by the second, week after week.
        EXPECT_EQ(entriesBelow(target).size(), 2u);
        EXPECT_EQ(test::readFile(offsite(first)), backup.read(first));
    }
}

TEST_F(OffsiteSyncerTest, AFolderThatCannotBeReadIsReportedNotPassedOver)
{
    backup.write("open/a.txt", "alpha");
    backup.write("locked/secret.txt", "secret");
    ::chmod(backup.root().c_str(), 0755);
    ::chmod(backup.path("locked").c_str(), 0);
    fs::create_directories(target);
    ::chmod(offsiteFolder.path().c_str(), 0777);
    ::chmod((offsiteFolder / "Larkfold").c_str(), 0777);
    ::chmod(target.c_str(), 0777);

    const auto report = test::runUnprivileged([&] {
        const OffsiteSyncResult result = syncer().sync(backup.root(), offsiteFolder.path(), target,
                                                       ExclusionFilter::forProfile(BackupProfile::standard));
        std::string text = "copied " + std::to_string(result.copiedFiles) + "\n";
        for (const FileOperationError& error : result.errors)
            text += error.operation().toStdString() + " " + error.url().native() + " " +
                    std::to_string(error.code()) + "\n";
        return text;
    });
    if (!report)
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(*report, "copied 1\noffsiteCopy " + backup.path("locked").native() + " " + std::to_string(EACCES) + "\n");
}

} // namespace
