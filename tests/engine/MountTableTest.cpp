#include "engine/MountTable.h"
#include "platform/MountSource.h"

#include <gtest/gtest.h>

using larkfold::MountTable;
using larkfold::platform::ProcMountSource;
using larkfold::platform::TextMountSource;
using Mount = MountTable::Mount;

namespace {

// A desktop's table: root, a USB drive whose label has a space, a bind mount of a folder of the
// root file system, two NFS mounts of one share, sshfs, and a drive stacked over another.
constexpr const char* kMountInfo =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "40 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "61 22 8:17 / /media/sam/My\\040Backup rw,nosuid,nodev,relatime shared:30 - exfat /dev/sdb1 rw,uid=1000\n"
    "62 22 8:2 /srv/photos /home/sam/Photos rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "70 22 0:50 / /mnt/nas rw,relatime shared:40 - nfs4 nas.local:/export/backup rw,vers=4.2\n"
    "71 22 0:50 / /mnt/nas-again rw,relatime shared:41 - nfs4 nas.local:/export/backup rw,vers=4.2\n"
    "72 22 0:51 / /home/sam/remote rw,nosuid,nodev,relatime shared:42 - fuse.sshfs sam@host:/data rw\n"
    "80 22 8:33 / /mnt/stack rw,relatime shared:50 - ext4 /dev/sdc1 rw\n"
    "81 80 8:49 / /mnt/stack rw,relatime shared:51 - xfs /dev/sdd1 rw\n"
    "this line is not a mount\n"
    "90 22 8:65 / /mnt/tab\\011and\\134slash rw,relatime - ext4 /dev/sde1 rw\n";

std::vector<Mount> fixtureMounts()
{
    return MountTable::currentMounts(TextMountSource(kMountInfo));
}

} // namespace

TEST(MountTable, ReadsTheTableWithEscapesAndNetworkTypes)
{
    const auto mounts = fixtureMounts();
    ASSERT_EQ(mounts.size(), 10u) << "the malformed line is skipped";
    EXPECT_EQ(mounts[0], (Mount{"/", "/dev/sda2", false}));
    EXPECT_EQ(mounts[2], (Mount{"/media/sam/My Backup", "/dev/sdb1", false}));
    EXPECT_EQ(mounts[3], (Mount{"/home/sam/Photos", "/dev/sda2", false}));
    EXPECT_EQ(mounts[4], (Mount{"/mnt/nas", "nas.local:/export/backup", true}));
    EXPECT_EQ(mounts[6], (Mount{"/home/sam/remote", "sam@host:/data", true}));
    EXPECT_EQ(mounts[9].mountPoint, "/mnt/tab\tand\\slash");
}

TEST(MountTable, LongestMountPointHoldsThePathCaseSensitively)
{
    const auto mounts = fixtureMounts();
    struct Case {
        const char* path;
        const char* mountPoint; // nullptr: none
    };
    const Case cases[] = {
        {"/media/sam/My Backup/Documents", "/media/sam/My Backup"},
        {"/media/sam/My Backup", "/media/sam/My Backup"},
        {"/media/sam/my backup/Documents", "/"}, // another folder on Linux
        {"/media/sam/My Backup2/Documents", "/"}, // a sibling that only starts alike
        {"/media/sam/Unplugged/Documents", "/"}, // the caller decides what the root means here
        {"/home/sam/Photos/2024", "/home/sam/Photos"},
        {"/home/sam", "/"},
        {"/mnt/stack/file", "/mnt/stack"},
        {"relative/path", nullptr},
        {"", nullptr},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.path);
        const auto mount = MountTable::mount(test.path, mounts);
        if (!test.mountPoint) {
            EXPECT_FALSE(mount.has_value());
            continue;
        }
        ASSERT_TRUE(mount.has_value());
        EXPECT_EQ(mount->mountPoint, test.mountPoint);
    }
    EXPECT_FALSE(MountTable::mount("/home/sam", {}).has_value());
}

// The file system mounted later over the same folder is the one a path reaches.
TEST(MountTable, StackedMountsResolveToTheTopOne)
{
    const auto mount = MountTable::mount("/mnt/stack/file", fixtureMounts());
    ASSERT_TRUE(mount.has_value());
    EXPECT_EQ(mount->source, "/dev/sdd1");
}

TEST(MountTable, MountsWithSourceMatchExactly)
{
    const auto mounts = fixtureMounts();
    const auto share = MountTable::mounts("nas.local:/export/backup", mounts);
    ASSERT_EQ(share.size(), 2u);
    EXPECT_EQ(share[0].mountPoint, "/mnt/nas");
    EXPECT_EQ(share[1].mountPoint, "/mnt/nas-again");
    EXPECT_EQ(MountTable::mounts("/dev/sda2", mounts).size(), 2u) << "the root and its bind mount";
    EXPECT_TRUE(MountTable::mounts("NAS.local:/export/backup", mounts).empty());
}

TEST(MountTable, ReadsTheProcessTable)
{
    const auto mounts = MountTable::currentMounts();
    const auto root = MountTable::mount("/", mounts);
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->mountPoint, "/");

    EXPECT_TRUE(MountTable::currentMounts(ProcMountSource("/nonexistent/mountinfo")).empty());
}
