#pragma once

#include "platform/MountSource.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace larkfold {

namespace platform {
class MountWatcher;
class VolumeInfo;
} // namespace platform

// Follows the mount table: keeps the list of volumes offered as backup destinations and calls
// back once for every mount point that a file system left or joined. Main thread only.
class VolumeMonitor : public QObject {
    Q_OBJECT

public:
    // One mounted volume as the windows show it.
    struct VolumeInfo {
        std::filesystem::path id; // the mount point
        QString name; // the file system's label, else the mount point's last component
        std::int64_t totalSpace = 0; // bytes; 0 when not reported
        std::int64_t freeSpace = 0;
        bool isNetwork = false;
        bool isExternal = false; // removable, or attached over USB

        bool operator==(const VolumeInfo&) const = default;
    };

    // Where the monitor looks; tests point it at fixtures. Null or empty means the system's own.
    struct Environment {
        platform::MountSource* mounts = nullptr;
        // Its poll flags a change of the table; none: changes come only through handleMountTableChange().
        std::filesystem::path changeFile = "/proc/self/mountinfo";
        platform::VolumeInfo* space = nullptr;
        std::filesystem::path labelFolder = "/dev/disk/by-label";
        std::filesystem::path sysfsFolder = "/sys";
        // Whose folder below /run/media holds drives; empty: the user this process runs as.
        QString userName;
    };

    using VolumeCallback = std::function<void(const std::filesystem::path& mountPoint)>;

    explicit VolumeMonitor(QObject* parent = nullptr);
    explicit VolumeMonitor(Environment environment, QObject* parent = nullptr);
    ~VolumeMonitor() override;

    // Follows the table from now on and fills the list; does nothing when already started.
    void start();
    // Stops following; the list and the callbacks stay.
    void stop();
    bool isStarted() const { return m_started; }

    // Rebuilds the list from the table as it is now; a table that cannot be read changes nothing.
    void refreshVolumes();
    // The table may have changed: reads it, refreshes the list, then calls back for each mount
    // point that lost a file system (unmount) and then each that gained one (mount). A table
    // that cannot be read, or reads empty, is no change.
    void handleMountTableChange();

    // External volumes first, then network ones, each part by name as people sort (2 before 10).
    const std::vector<VolumeInfo>& mountedVolumes() const { return m_mountedVolumes; }
    // Called after the list is refreshed.
    void setOnVolumeDidMount(VolumeCallback callback) { m_onVolumeDidMount = std::move(callback); }
    void setOnVolumeDidUnmount(VolumeCallback callback) { m_onVolumeDidUnmount = std::move(callback); }

    // The volumes of `table` that may be offered: real file systems below /media, /run/media/<user>
    // or /mnt, and network shares wherever they are mounted; never "/". Sorted as above.
    std::vector<VolumeInfo> offeredVolumes(const std::vector<platform::MountEntry>& table) const;

signals:
    // After every refresh, also when the list stayed the same.
    void mountedVolumesChanged();

private:
    void setMountedVolumes(std::vector<VolumeInfo> volumes);
    bool isOfferedMount(const platform::MountEntry& entry) const;
    VolumeInfo describe(const platform::MountEntry& entry) const;

    Environment m_environment;
    platform::MountSource& m_mounts;
    platform::VolumeInfo& m_space;
    QString m_userName;
    std::unique_ptr<platform::MountWatcher> m_watcher;
    bool m_started = false;
    // The last table read well, against which the next one is compared.
    std::vector<platform::MountEntry> m_table;
    std::vector<VolumeInfo> m_mountedVolumes;
    VolumeCallback m_onVolumeDidMount;
    VolumeCallback m_onVolumeDidUnmount;
};

} // namespace larkfold
