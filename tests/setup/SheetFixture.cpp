#include "SheetFixture.h"

#include <QDir>
#include <QFile>

namespace larkfold::test {

namespace fs = std::filesystem;

SheetFixture::SheetFixture()
    : m_volumeTable("22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                    "61 22 8:17 / /media/sam/Backup\\040Drive rw - exfat /dev/sdb1 rw\n"
                    "70 22 0:50 / /home/sam/nas rw - nfs4 nas.local:/export rw\n")
{
    // The drive is on USB, as the kernel's device tree tells.
    const fs::path partition = m_drives.mkdir("sys/devices/pci0000:00/usb2/2-1/block/sdb/sdb1");
    writeFile(partition / "partition", "1\n");
    writeFile(partition.parent_path() / "removable", "0\n");
    m_drives.mkdir("sys/dev/block");
    fs::create_symlink("../../devices/pci0000:00/usb2/2-1/block/sdb/sdb1", m_drives.path("sys/dev/block/8:17"));
    m_drives.mkdir("by-label");
    m_volumeSpace.setVolume({kDriveMountPoint, platform::VolumeSpace{2'000'000'000'000, 1'234'000'000'000}, 1, false});
    m_volumeSpace.setVolume({kShareMountPoint, platform::VolumeSpace{500'000'000'000, 0}, 2, true});

    auto& monitor = c.environment.volumeMonitor;
    monitor.mounts = &m_volumeTable;
    monitor.space = &m_volumeSpace;
    monitor.labelFolder = m_drives.path("by-label");
    monitor.sysfsFolder = m_drives.path("sys");
    monitor.userName = QStringLiteral("sam");
}

SheetFixture::~SheetFixture()
{
    std::error_code error;
    fs::remove_all(home() / "Dropbox", error);
}

fs::path SheetFixture::home()
{
    return QFile::encodeName(QDir::homePath()).toStdString();
}

fs::path SheetFixture::makeDropbox()
{
    const fs::path dropbox = home() / "Dropbox";
    fs::create_directories(dropbox);
    return dropbox;
}

} // namespace larkfold::test
