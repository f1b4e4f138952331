#include "platform/Bookmark.h"
#include "platform/MountSource.h"
#include "platform/Reachability.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;
using larkfold::test::writeFile;
namespace fs = std::filesystem;

TEST(Reachability, AFolderMustExist)
{
    TempTree tree{{"folder/", ""}, {"file", "x"}};
    const TextMountSource rootOnly("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
    EXPECT_TRUE(isFolderReachable(tree.path("folder"), std::nullopt, rootOnly));
    EXPECT_FALSE(isFolderReachable(tree.path("file"), std::nullopt, rootOnly));
    EXPECT_FALSE(isFolderReachable(tree.path("missing"), std::nullopt, rootOnly));
    // A table that cannot be read says nothing is mounted: nothing is reachable.
    EXPECT_FALSE(isFolderReachable(tree.path("folder"), std::nullopt, TextMountSource("")));
}

// A drive at a custom mount point, unplugged, plugged again and replaced; the system disk's own
// folder stays reachable. Real tmpfs mounts in a private namespace stand for the drives.
TEST(Reachability, TheBookmarkDecidesWhichFileSystemCounts)
{
    TempTree tree{{"mnt/usb/", ""}, {"local/Backups/", ""}};
    const fs::path mountPoint = tree.path("mnt/usb");
    const auto outcome = larkfold::test::runInPrivateMountNamespace([&] {
        const ProcMountSource mounts;
        const Bookmarks bookmarks(mounts);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories(mountPoint / "Backups");
        const auto onDrive = bookmarks.create(mountPoint / "Backups");
        const auto onSystemDisk = bookmarks.create(tree.path("local/Backups"));
        if (!onDrive || !onSystemDisk)
            return std::string("no bookmark");
        std::string answers;
        const auto probe = [&](const fs::path& folder, const std::optional<QByteArray>& bookmark) {
            answers += isFolderReachable(folder, bookmark, mounts) ? '1' : '0';
        };
        probe(mountPoint / "Backups", onDrive); // plugged in
        probe(tree.path("local/Backups"), onSystemDisk);
        ::umount(mountPoint.c_str());
        probe(mountPoint / "Backups", onDrive); // gone: no folder
        fs::create_directories(mountPoint / "Backups");
        probe(mountPoint / "Backups", onDrive); // a folder of that name on the disk below
        probe(mountPoint / "Backups", std::nullopt); // outside the media folders nothing else tells
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories(mountPoint / "Backups");
        probe(mountPoint / "Backups", onDrive); // a replacement drive at the very mount point
        ::umount(mountPoint.c_str());
        if (::mount("tmpfs", tree.path("mnt").c_str(), "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories(mountPoint / "Backups");
        probe(mountPoint / "Backups", onDrive); // another file system, mounted higher up
        return answers;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "1100110");
}

// A source deleted from a drive that is there is missing; one whose drive is away cannot be told.
TEST(Reachability, AMissingFolderIsToldFromAMissingDrive)
{
    TempTree tree{{"mnt/usb/", ""}, {"local/Source/", ""}};
    const fs::path mountPoint = tree.path("mnt/usb");
    const auto outcome = larkfold::test::runInPrivateMountNamespace([&] {
        const ProcMountSource mounts;
        const Bookmarks bookmarks(mounts);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0
            || ::mount("tmpfs", "/media", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories(mountPoint / "Source");
        fs::create_directories("/media/sam/Drive");
        const auto onDrive = bookmarks.create(mountPoint / "Source");
        const auto onSystemDisk = bookmarks.create(tree.path("local/Source"));
        if (!onDrive || !onSystemDisk)
            return std::string("no bookmark");
        std::string answers;
        const auto probe = [&](const fs::path& folder, const std::optional<QByteArray>& bookmark) {
            answers += "RNME"[int(folderPresence(folder, bookmark, mounts.mounts()))];
        };
        probe(mountPoint / "Source", onDrive);
        fs::remove(mountPoint / "Source");
        probe(mountPoint / "Source", onDrive); // deleted from the drive
        writeFile(mountPoint / "Source", "x");
        probe(mountPoint / "Source", onDrive); // a file took its place
        ::umount(mountPoint.c_str());
        probe(mountPoint / "Source", onDrive); // the drive is away: only its empty folder is left
        fs::remove(tree.path("local/Source"));
        probe(tree.path("local/Source"), onSystemDisk); // deleted from the system disk
        // Without a bookmark the media rule tells: the drive's folder on the file system below, then the drive.
        probe("/media/sam/Drive/Source", std::nullopt);
        if (::mount("tmpfs", "/media/sam/Drive", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        probe("/media/sam/Drive/Source", std::nullopt);
        return answers;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "RMNEMEM");
}
