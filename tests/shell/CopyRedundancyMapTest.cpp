#include "platform/MountSource.h"
#include "shell/CopyRedundancyMap.h"
#include "support/PairRecord.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

const std::vector<platform::MountEntry> kSystemDiskOnly =
    platform::parseMountInfo("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");

} // namespace

TEST(CopyRedundancy, CountsTheDistinctTargetsOfEachSource)
{
    TempTree tree{{"docs/", ""}, {"photos/", ""}, {"music/", ""}};
    const auto pair = [&](const char* name, const fs::path& source, const fs::path& destination) {
        return pairRecord(name, source, destination);
    };
    BackupPair docsA = pair("Docs A", tree.path("docs"), "/backup/a");
    BackupPair docsB = pair("Docs B", tree.path("sub/../docs/."), "/backup/b"); // the same folder, spelled apart
    BackupPair photos = pair("Photos", tree.path("photos"), "/backup/a");
    photos.offsiteURL = "/cloud/photos";
    BackupPair musicA = pair("Music A", tree.path("music"), "/backup/a");
    BackupPair musicB = pair("Music B", tree.path("music"), "/backup/a/");

    EXPECT_TRUE(computeCopyRedundancy({}, kSystemDiskOnly).empty());
    const CopyRedundancyMap result = computeCopyRedundancy({docsA, docsB, photos, musicA, musicB}, kSystemDiskOnly);
    EXPECT_EQ(result, (CopyRedundancyMap{
                          {docsA.id, CopyRedundancy::redundant(2)},
                          {docsB.id, CopyRedundancy::redundant(2)},
                          {photos.id, CopyRedundancy::redundant(2)}, // a destination and an offsite folder
                          {musicA.id, CopyRedundancy::singleBackup()}, // one folder, twice
                          {musicB.id, CopyRedundancy::singleBackup()},
                      }));
}

TEST(CopyRedundancy, OneBackupIsTheOnlyCopyOnlyWhenTheSourceIsKnownToBeGone)
{
    TempTree tree{{"deleted/", ""}};
    fs::remove(tree.path("deleted"));
    const BackupPair deleted = pairRecord("Deleted", tree.path("deleted"), "/backup/a");
    // Below /media only a drive mounted there tells; the system disk below an empty folder does not.
    const BackupPair unplugged = pairRecord("Unplugged", "/media/sam/Gone/Projects", "/backup/a");
    const CopyRedundancyMap result = computeCopyRedundancy({deleted, unplugged}, kSystemDiskOnly);
    EXPECT_EQ(result.at(deleted.id), CopyRedundancy::onlyCopy());
    EXPECT_EQ(result.at(unplugged.id), CopyRedundancy::singleBackup());
    // A table that cannot be read tells nothing either.
    EXPECT_EQ(computeCopyRedundancy({deleted}, {}).at(deleted.id), CopyRedundancy::singleBackup());
}
