#include "platform/StorageKind.h"

#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/MountSource.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

using namespace larkfold;
using namespace larkfold::platform;
using larkfold::test::TempDir;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

// A device tree laid out as the kernel's below /sys: a partition is a folder inside its disk's
// folder, and dev/block/MAJ:MIN links to the folder of each disk and partition.
class FakeSysfs {
public:
    const fs::path& root() const { return m_tree.root(); }

    fs::path disk(const std::string& name, unsigned major, unsigned minor, const std::string& rotational)
    {
        const fs::path folder = "devices/pci0000:00/block/" + name;
        m_tree.write(folder / "queue/rotational", rotational + "\n");
        link(folder, major, minor);
        return folder;
    }
    void partition(const fs::path& disk, const std::string& name, unsigned major, unsigned minor)
    {
        m_tree.write(disk / name / "partition", "1\n");
        link(disk / name, major, minor);
    }

private:
    void link(const fs::path& folder, unsigned major, unsigned minor)
    {
        m_tree.mkdir("dev/block");
        fs::create_directory_symlink("../../" / folder,
                                     m_tree.path("dev/block") / (std::to_string(major) + ":" + std::to_string(minor)));
    }

    TempTree m_tree;
};

MountEntry mountOf(unsigned major, unsigned minor)
{
    MountEntry entry;
    entry.device = makedev(major, minor);
    entry.source = "lark-test-no-such-node"; // the number is all there is to go by
    entry.fileSystemType = "ext4";
    return entry;
}

} // namespace

TEST(StorageKind, TheRotationalFlagIsTheDisksOwnOrItsPartitionsDisk)
{
    FakeSysfs sysfs;
    const fs::path sda = sysfs.disk("sda", 8, 0, "1");
    sysfs.partition(sda, "sda1", 8, 1);
    const fs::path nvme = sysfs.disk("nvme0n1", 259, 0, "0");
    sysfs.partition(nvme, "nvme0n1p2", 259, 2);
    sysfs.disk("dm-0", 253, 0, "0"); // a mapped device answers for itself
    sysfs.disk("odd", 7, 0, "maybe");

    const struct {
        unsigned major, minor;
        std::optional<bool> rotational;
    } cases[] = {{8, 0, true}, {8, 1, true}, {259, 0, false}, {259, 2, false}, {253, 0, false},
                 {8, 17, std::nullopt}, {0, 42, std::nullopt}, {7, 0, std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + ":" + std::to_string(c.minor));
        EXPECT_EQ(isRotationalDrive(mountOf(c.major, c.minor), sysfs.root()), c.rotational);
    }
}

// The mount a folder lies on is the one whose files carry its device number; the path decides only
// where no mount does (a btrfs subvolume).
TEST(StorageKind, AFolderIsOfTheKindOfTheMountItLiesOn)
{
    TempDir folder;
    const auto dir = systemFileSystem().openDirectory(folder.path());
    ASSERT_TRUE(dir);
    const unsigned diskMajor = major(dir->device()), diskMinor = minor(dir->device());
    const std::string device = std::to_string(diskMajor) + ":" + std::to_string(diskMinor);
    FakeSysfs sysfs;
    sysfs.disk("sdz", diskMajor, diskMinor, "0");
    const auto kindWith = [&](const std::string& mountInfo) {
        return storageKindOf(*dir, TextMountSource(mountInfo), sysfs.root());
    };
    // Another file system, mounted at "/": not the folder's, whatever the path says.
    const std::string rootDisk = "20 1 1:99 / / rw - ext4 /dev/lark-test-none rw\n";

    EXPECT_EQ(kindWith(rootDisk + "30 20 " + device + " / /x rw - ext4 /dev/lark-test-none rw\n"),
              StorageKind::solidState);
    EXPECT_EQ(kindWith(rootDisk + "30 20 " + device + " / /x rw - tmpfs tmpfs rw\n"), StorageKind::memory);
    EXPECT_EQ(kindWith(rootDisk + "30 20 " + device + " / /x rw - nfs4 server:/share rw\n"), StorageKind::network);
    EXPECT_EQ(kindWith("20 1 0:99 / / rw - tmpfs tmpfs rw\n"), StorageKind::memory);
    EXPECT_EQ(kindWith("20 1 0:99 / / rw - fuse.sshfs host:/ rw\n"), StorageKind::network);
    EXPECT_EQ(kindWith(""), StorageKind::unknown);
}
