#include "platform/FakeVolumeInfo.h"
#include "platform/MountSource.h"
#include "platform/VolumeInfo.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

TEST(LinuxVolumeInfo, SpaceAndIdentityOfTheVolumeHoldingAPath)
{
    TempTree tree{{"a/file.txt", "x"}, {"b/", ""}};
    const VolumeInfo& volumes = systemVolumeInfo();

    const auto space = volumes.space(tree.path("a/file.txt"));
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(space->totalBytes, 0u);
    EXPECT_LE(space->availableBytes, space->totalBytes);
    EXPECT_FALSE(volumes.space(tree.path("missing")).has_value());

    ASSERT_TRUE(volumes.identity(tree.path("a")).has_value());
    EXPECT_EQ(volumes.identity(tree.path("a")), volumes.identity(tree.path("b/")));
    EXPECT_NE(volumes.identity(tree.path("a")), volumes.identity("/proc"));
    EXPECT_FALSE(volumes.identity(tree.path("missing")).has_value());
    EXPECT_FALSE(volumes.isNetwork(tree.path("a")));
}

TEST(LinuxVolumeInfo, NetworkByTheTypeOfTheMountHoldingThePath)
{
    TempTree tree{{"share/", ""}, {"local/", ""}};
    fs::create_directory_symlink(tree.path("share"), tree.path("link"));
    const TextMountSource mounts("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                 "2 1 0:40 / "
                                 + tree.path("share").string() + " rw - cifs //server/share rw\n");
    const LinuxVolumeInfo volumes(mounts);

    EXPECT_TRUE(volumes.isNetwork(tree.path("share")));
    EXPECT_TRUE(volumes.isNetwork(tree.path("share/not/yet/made")));
    EXPECT_TRUE(volumes.isNetwork(tree.path("link/file")));
    EXPECT_FALSE(volumes.isNetwork(tree.path("local")));
}

TEST(FakeVolumeInfo, AnswersForTheDeclaredVolumeHoldingThePath)
{
    FakeVolumeInfo volumes;
    volumes.setVolume({"/", VolumeSpace{1000, 100}, 1, false});
    volumes.setVolume({"/media/usb", std::nullopt, 2, false});
    volumes.setVolume({"/mnt/nas", VolumeSpace{5000, 4000}, 3, true});

    EXPECT_EQ(volumes.space("/home/sam"), (VolumeSpace{1000, 100}));
    EXPECT_FALSE(volumes.space("/media/usb/backup").has_value());
    EXPECT_EQ(volumes.identity("/media/usb/backup"), 2u);
    EXPECT_EQ(volumes.identity("/media/usb2"), 1u);
    EXPECT_TRUE(volumes.isNetwork("/mnt/nas/x"));

    volumes.removeVolume("/");
    EXPECT_FALSE(volumes.identity("/home/sam").has_value());
}
