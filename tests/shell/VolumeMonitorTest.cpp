#include "platform/FakeVolumeInfo.h"
#include "platform/MountSource.h"
#include "shell/VolumeMonitor.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Volume = VolumeMonitor::VolumeInfo;

namespace {

constexpr const char* kRoot = "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n";

// A desktop's table: the system disk, pseudo file systems, drives below the media folders, a
// share, a disk outside them, another user's drive and two file systems stacked on one point.
const std::string kDesktop = std::string(kRoot)
    + "40 22 0:21 / /proc rw - proc proc rw\n"
      "41 22 0:30 / /media/scratch rw - tmpfs tmpfs rw\n"
      "42 22 0:40 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
      "61 22 8:17 / /media/sam/Disk\\04010 rw - exfat /dev/sdb1 rw\n"
      "62 22 8:33 / /run/media/sam/Disk\\0402 rw - vfat /dev/sdc1 rw\n"
      "63 22 8:3 / /mnt/Alpha rw - ext4 /dev/sda3 rw\n"
      "66 22 253:0 / /media/sam/Secret rw - ext4 /dev/mapper/luks-1 rw\n"
      "64 22 8:49 / /run/media/lee/Foreign rw - ext4 /dev/sdd1 rw\n"
      "65 22 8:65 / /srv/data rw - ext4 /dev/sde1 rw\n"
      "70 22 0:50 / /home/sam/nas rw - nfs4 nas.local:/export rw\n"
      "80 22 8:81 / /mnt/stack rw - ext4 /dev/sdf1 rw\n"
      "81 80 8:97 / /mnt/stack rw - xfs /dev/sdg1 rw\n"
      "90 22 8:113 / /media rw - ext4 /dev/sdh1 rw\n";

// udev's label links and the kernel's device tree, as far as the monitor reads them.
class DriveFixture {
public:
    DriveFixture()
    {
        tree.mkdir("by-label");
        fs::create_symlink("/dev/sdb1", tree.path("by-label/Disk\\x2010")); // the label has a space
        fs::create_symlink("/dev/sdg1", tree.path("by-label/Top"));
        addDisk("8:17", "pci0000:00/0000:00:14.0/usb2/2-1/host6/block/sdb/sdb1", "0"); // over USB
        addDisk("8:33", "pci0000:00/0000:00:1d.0/block/sdc/sdc1", "1"); // a removable card
        addDisk("8:3", "pci0000:00/0000:00:17.0/ata1/block/sda/sda3", "0");
        addDisk("8:97", "pci0000:00/0000:00:17.0/ata2/block/sdg/sdg1", "0");
        // An encrypted partition of a USB drive, mapped by device-mapper.
        addDisk("8:129", "pci0000:00/0000:00:14.0/usb3/3-1/host7/block/sdi/sdi1", "0");
        addDisk("253:0", "virtual/block/dm-0", "0");
        tree.mkdir("sys/devices/virtual/block/dm-0/slaves");
        fs::remove(tree.path("sys/devices/virtual/block/dm-0/partition"));
        fs::create_symlink("../../../../pci0000:00/0000:00:14.0/usb3/3-1/host7/block/sdi/sdi1",
                           tree.path("sys/devices/virtual/block/dm-0/slaves/sdi1"));
    }

    VolumeMonitor::Environment environment(platform::MountSource& mounts)
    {
        VolumeMonitor::Environment environment;
        environment.mounts = &mounts;
        environment.changeFile.clear();
        environment.space = &space;
        environment.labelFolder = tree.path("by-label");
        environment.sysfsFolder = tree.path("sys");
        environment.userName = QStringLiteral("sam");
        return environment;
    }

    TempTree tree;
    platform::FakeVolumeInfo space;

private:
    void addDisk(const std::string& number, const std::string& partition, const std::string& removable)
    {
        const fs::path folder = tree.mkdir("sys/devices/" + partition);
        writeFile(folder / "partition", "1\n");
        writeFile(folder.parent_path() / "removable", removable + "\n");
        fs::create_directories(tree.path("sys/dev/block"));
        fs::create_symlink("../../devices/" + partition, tree.path("sys/dev/block/" + number));
    }
};

std::vector<std::string> names(const std::vector<Volume>& volumes)
{
    std::vector<std::string> result;
    for (const Volume& volume : volumes)
        result.push_back(volume.name.toStdString());
    return result;
}

} // namespace

TEST(VolumeMonitor, OffersDrivesAndSharesInOrderWithTheirFields)
{
    DriveFixture drives;
    drives.space.setVolume({"/media/sam/Disk 10", platform::VolumeSpace{64'000'000'000, 12'000'000'000}, 7, false});
    platform::TextMountSource mounts(kDesktop);
    VolumeMonitor monitor(drives.environment(mounts));
    monitor.start();

    const auto& volumes = monitor.mountedVolumes();
    ASSERT_EQ(names(volumes), (std::vector<std::string>{"Disk 2", "Disk 10", "Secret", "nas", "Alpha", "Top"}));
    EXPECT_EQ(volumes[0], (Volume{"/run/media/sam/Disk 2", "Disk 2", 0, 0, false, true}));
    EXPECT_EQ(volumes[1], (Volume{"/media/sam/Disk 10", "Disk 10", 64'000'000'000, 12'000'000'000, false, true}));
    EXPECT_EQ(volumes[2].id, "/media/sam/Secret") << "the mapped device's disk is on USB";
    EXPECT_EQ(volumes[3], (Volume{"/home/sam/nas", "nas", 0, 0, true, false}));
    EXPECT_EQ(volumes[4], (Volume{"/mnt/Alpha", "Alpha", 0, 0, false, false}));
    EXPECT_EQ(volumes[5].id, "/mnt/stack") << "of stacked file systems the top one, with its label";
}

TEST(VolumeMonitor, CallsBackOncePerChangedMountPointAfterTheListIsNew)
{
    DriveFixture drives;
    platform::TextMountSource mounts(kRoot);
    VolumeMonitor monitor(drives.environment(mounts));
    int refreshes = 0;
    QObject::connect(&monitor, &VolumeMonitor::mountedVolumesChanged, [&] { ++refreshes; });
    std::vector<std::string> calls;
    monitor.setOnVolumeDidMount([&](const fs::path& point) {
        calls.push_back("mount " + point.string() + " listed " + std::to_string(monitor.mountedVolumes().size()));
    });
    monitor.setOnVolumeDidUnmount([&](const fs::path& point) {
        calls.push_back("unmount " + point.string() + " listed " + std::to_string(monitor.mountedVolumes().size()));
    });
    monitor.start();
    monitor.start();
    EXPECT_EQ(refreshes, 1) << "a second start does nothing";

    const std::string disk = "61 22 8:17 / /media/sam/Disk rw - exfat /dev/sdb1 rw\n";
    const std::string stacked = "62 61 8:33 / /media/sam/Disk rw - vfat /dev/sdc1 rw\n";
    const std::string custom = "63 22 0:60 / /home/sam/usb rw - tmpfs tmpfs rw\n";
    const struct Step {
        std::string table;
        std::vector<std::string> calls;
    } steps[] = {
        {kRoot + disk, {"mount /media/sam/Disk listed 1"}},
        {kRoot + disk + stacked + custom, {"mount /media/sam/Disk listed 1", "mount /home/sam/usb listed 1"}},
        {"", {}}, // a table that could not be read
        {kRoot + disk + custom, {"unmount /media/sam/Disk listed 1"}}, // the stacked one left
        // The drive swapped for another between two reads, and a mount point left at once.
        {kRoot + std::string("64 22 8:33 / /media/sam/Disk rw - vfat /dev/sdc1 rw\n"),
         {"unmount /media/sam/Disk listed 1", "unmount /home/sam/usb listed 1", "mount /media/sam/Disk listed 1"}},
        {kRoot, {"unmount /media/sam/Disk listed 0"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.table);
        calls.clear();
        mounts.setText(step.table);
        monitor.handleMountTableChange();
        EXPECT_EQ(calls, step.calls);
    }

    monitor.stop();
    mounts.setText(kRoot + disk);
    calls.clear();
    refreshes = 0;
    monitor.handleMountTableChange();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(refreshes, 0);
    EXPECT_TRUE(monitor.mountedVolumes().empty());
}

// The kernel's own table and its poll flag, with real mounts in a private namespace.
TEST(VolumeMonitor, FollowsRealMountsThroughTheKernelsFlag)
{
    TempTree tree{{"usb/", ""}};
    const fs::path point = tree.path("usb");
    const auto outcome = runInPrivateMountNamespace([&] {
        VolumeMonitor monitor;
        std::string calls;
        monitor.setOnVolumeDidMount([&](const fs::path& p) { calls += (p == point ? "M" : "m"); });
        monitor.setOnVolumeDidUnmount([&](const fs::path& p) { calls += (p == point ? "U" : "u"); });
        monitor.start();
        if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        if (!spinUntil([&] { return !calls.empty(); }, 10000))
            return calls + " no mount seen";
        ::umount(point.c_str());
        spinUntil([&] { return calls.size() >= 2; }, 10000);
        return calls;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "MU");
}
