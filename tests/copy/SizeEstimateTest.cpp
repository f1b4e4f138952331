#include "copy/FileCopier.h"

#include "platform/FaultInjectingFileSystem.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kSourceTime = 1'700'000'000;

std::int64_t estimate(const TempTree& source, const fs::path& backup, BackupProfile profile = BackupProfile::standard)
{
    return FileCopier().estimateBytesToCopy(source.root(), backup, ExclusionFilter::forProfile(profile));
}

} // namespace

TEST(SizeEstimateTest, CountsFilesMissingFromTheBackup)
{
    TempTree source{{"a", std::string(10, 'a')}, {"sub/b", std::string(20, 'b')}, {"sub/deeper/c", std::string(30, 'c')},
                    {"node_modules/big", std::string(500, 'x')}, {"Tool.app/bin", std::string(40, 'p')}};
    TempTree backup;
    // The package is copied whole, so it counts at the size of everything inside it.
    EXPECT_EQ(estimate(source, backup.root()), 100);
    EXPECT_EQ(estimate(source, backup.path("not-there-yet")), 100);

    TempTree empty;
    EXPECT_EQ(estimate(empty, backup.root()), 0);
    TempTree allExcluded{{".git/HEAD", "ref"}, {".DS_Store", "x"}};
    EXPECT_EQ(estimate(allExcluded, backup.root()), 0);
}

// The run's own rule: exact where the backup's drive keeps nanoseconds, 2 s where it keeps coarse times.
TEST(SizeEstimateTest, ComparesSizeAndModificationTimeByTheDrivesOwnRule)
{
    const struct Case {
        const char* label;
        std::string copyContent;
        std::int64_t copySeconds;
        long copyNanoseconds;
        std::int64_t expected;
        std::int64_t expectedOnCoarseDrive;
    } cases[] = {
        {"same", "0123456789", kSourceTime, 0, 0, 0},
        {"1.5 s older", "0123456789", kSourceTime - 2, 500'000'000, 10, 0},
        {"exactly 2 s newer", "0123456789", kSourceTime + 2, 0, 10, 0},
        {"2.5 s older", "0123456789", kSourceTime - 3, 500'000'000, 10, 10},
        {"2 s and 1 ns newer", "0123456789", kSourceTime + 2, 1, 10, 10},
        {"one byte shorter", "012345678", kSourceTime, 0, 10, 10},
    };
    platform::FaultInjectingFileSystem coarseDrive;
    coarseDrive.keepTimesTo(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempTree source{{"notes.txt", "0123456789"}};
        source.setMtime("notes.txt", kSourceTime);
        TempTree backup{{"notes.txt", c.copyContent}};
        backup.setMtime("notes.txt", c.copySeconds, c.copyNanoseconds);
        EXPECT_EQ(estimate(source, backup.root()), c.expected);
        EXPECT_EQ(FileCopier(coarseDrive).estimateBytesToCopy(source.root(), backup.root(),
                                                              ExclusionFilter::forProfile(BackupProfile::standard)),
                  c.expectedOnCoarseDrive);
    }
}

TEST(SizeEstimateTest, SomethingElseInTheFilesPlaceCounts)
{
    TempTree source{{"a", "12345"}, {"b", "123"}};
    source.setMtime("a", kSourceTime);
    TempTree backup{{"a/inside", ""}, {"elsewhere", "12345"}};
    backup.symlink("b", "elsewhere");
    EXPECT_EQ(estimate(source, backup.root()), 8);
}

TEST(SizeEstimateTest, StaleTemporaryAndResumeItemsGoAtAnyDepth)
{
    TempTree outside{{"target.txt", "keep"}};
    TempTree backup{{".larktmp-0A1B2C3D-notes.txt", "t"},
                    {"a/b/c/.larktmp-9F8E7D6C-App.app/Contents/Info.plist", "p"},
                    {"film/.larkresume-67108864-film.mov", "r"},
                    {"notes.txt", "n"},
                    {"a/b/c/kept.txt", "k"},
                    {"not.larktmp-x", "k"}};
    backup.symlink(".larktmp-ABCDEF01-link", outside.path("target.txt"));
    backup.symlink("linked", outside.root());
    outside.write(".larktmp-11111111-outside.txt", "not ours");

    FileCopier().removeStaleTemporaryFiles(backup.root());

    for (const char* gone : {".larktmp-0A1B2C3D-notes.txt", "a/b/c/.larktmp-9F8E7D6C-App.app",
                             "film/.larkresume-67108864-film.mov", ".larktmp-ABCDEF01-link"}) {
        SCOPED_TRACE(gone);
        EXPECT_FALSE(fs::exists(fs::symlink_status(backup.path(gone))));
    }
    for (const char* kept : {"notes.txt", "a/b/c/kept.txt", "not.larktmp-x", "film", "linked"})
        EXPECT_TRUE(fs::exists(fs::symlink_status(backup.path(kept)))) << kept;
    EXPECT_EQ(outside.read("target.txt"), "keep");
    EXPECT_TRUE(outside.exists(".larktmp-11111111-outside.txt"));

    FileCopier().removeStaleTemporaryFiles(backup.path("missing")); // nothing there: nothing happens
}

TEST(SizeEstimateTest, CountsAPackageAtItsTreeSizeWhenAnythingInsideChanged)
{
    TempTree source{{"Tool.app/Contents/bin", std::string(40, 'p')}, {"Tool.app/Contents/lib/deep", "12345"}};
    TempTree backup{{"Tool.app/Contents/bin", std::string(40, 'p')}, {"Tool.app/Contents/lib/deep", "12345"}};
    for (const char* file : {"Tool.app/Contents/bin", "Tool.app/Contents/lib/deep"}) {
        source.setMtime(file, kSourceTime);
        backup.setMtime(file, kSourceTime);
    }
    for (const char* folder : {"Tool.app/Contents/lib", "Tool.app/Contents", "Tool.app"}) {
        source.setMtime(folder, kSourceTime);
        backup.setMtime(folder, kSourceTime);
    }
    EXPECT_EQ(estimate(source, backup.root()), 0);

    source.setMtime("Tool.app/Contents/lib/deep", kSourceTime + 60);
    EXPECT_EQ(estimate(source, backup.root()), 45);
}

// A stop must not wait for a walk of a large source.
TEST(SizeEstimateTest, AStoppedEstimateEndsWithoutWalkingTheSource)
{
    TempTree source{{"a", std::string(10, 'a')}, {"sub/b", std::string(20, 'b')}};
    TempTree backup;
    platform::CancelSource stop;
    stop.cancel();
    const FileCopier copier;
    const auto filter = ExclusionFilter::forProfile(BackupProfile::standard);
    EXPECT_EQ(copier.estimateBytesToCopy(source.root(), backup.root(), filter, stop.token()), 0);
    const platform::WalkOptions options{{}, stop.token()};
    const SourceScan scan = copier.scanSource(source.root(), filter, options);
    EXPECT_TRUE(scan.cancelled);
    EXPECT_TRUE(scan.entries.empty());
    EXPECT_TRUE(copier.scanDestination(source.root(), filter, stop.token()).cancelled);
}
