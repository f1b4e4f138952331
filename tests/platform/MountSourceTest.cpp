#include "platform/MountSource.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace larkfold::platform;

TEST(MountSource, EachEntryCarriesItsMountIdAndDevice)
{
    const auto entries = parseMountInfo("22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
                                        "61 22 259:17 / /media/sam/My\\040Backup rw - exfat /dev/nvme1n1p1 rw\n"
                                        "x 22 8:3 / /mnt/bad-id rw - ext4 /dev/sda3 rw\n"
                                        "63 22 8 / /mnt/bad-device rw - ext4 /dev/sda4 rw\n");
    ASSERT_EQ(entries.size(), 2u) << "lines without a number where one belongs are skipped";
    EXPECT_EQ(entries[0].mountId, 22);
    EXPECT_EQ(entries[0].device, makedev(8, 2));
    EXPECT_EQ(entries[1].mountId, 61);
    EXPECT_EQ(entries[1].device, makedev(259, 17));
    EXPECT_EQ(entries[1].mountPoint, "/media/sam/My Backup");
    EXPECT_EQ(entries[1].source, "/dev/nvme1n1p1");
}

// The kernel's own table: the device of the mount holding "/" is what stat() reports for it.
TEST(MountSource, TheDeviceMatchesWhatFilesReport)
{
    const auto entries = ProcMountSource().mounts();
    const MountEntry* root =
        findMountHolding(entries, "/", [](const MountEntry& m) -> std::string_view { return m.mountPoint; });
    ASSERT_NE(root, nullptr);
    struct stat st{};
    ASSERT_EQ(::stat("/", &st), 0);
    EXPECT_EQ(root->device, st.st_dev);
    EXPECT_GT(root->mountId, 0);
}
