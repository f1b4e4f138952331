#include "platform/Bookmark.h"
#include "platform/MountSource.h"
#include "platform/Reachability.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;
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
