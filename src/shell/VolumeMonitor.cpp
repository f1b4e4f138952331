#include "shell/VolumeMonitor.h"

#include "platform/Drives.h"
#include "platform/MainThread.h"
#include "platform/MountWatcher.h"
#include "platform/Paths.h"
#include "platform/VolumeInfo.h"

#include <QCollator>
#include <QPointer>

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using platform::MountEntry;

// Folders below which local drives are offered; below /run/media only the user's own folder.
constexpr const char* kMediaFolders[] = {"/media", "/mnt"};
constexpr const char* kUserMediaFolder = "/run/media";

struct Changes {
    std::vector<fs::path> unmounted;
    std::vector<fs::path> mounted;
};

// Mount points that lost a mount id, and those that gained one: one entry per mount point,
// however many file systems are stacked on it.
Changes diffByMountId(const std::vector<MountEntry>& before, const std::vector<MountEntry>& after)
{
    const auto idsOf = [](const std::vector<MountEntry>& table) {
        std::set<int> ids;
        for (const MountEntry& entry : table)
            ids.insert(entry.mountId);
        return ids;
    };
    const auto collect = [](const std::vector<MountEntry>& table, const std::set<int>& others) {
        std::vector<fs::path> points;
        for (const MountEntry& entry : table) {
            const fs::path point(entry.mountPoint);
            if (!others.contains(entry.mountId) && std::find(points.begin(), points.end(), point) == points.end())
                points.push_back(point);
        }
        return points;
    };
    return {collect(before, idsOf(after)), collect(after, idsOf(before))};
}

} // namespace

VolumeMonitor::VolumeMonitor(QObject* parent) : VolumeMonitor(Environment{}, parent) {}

VolumeMonitor::VolumeMonitor(Environment environment, QObject* parent)
    : QObject(parent), m_environment(std::move(environment)),
      m_mounts(m_environment.mounts ? *m_environment.mounts : platform::systemMountSource()),
      m_space(m_environment.space ? *m_environment.space : platform::systemVolumeInfo()),
      m_userName(m_environment.userName.isEmpty() ? platform::currentUserName() : m_environment.userName)
{
}

VolumeMonitor::~VolumeMonitor()
{
    stop();
}

void VolumeMonitor::start()
{
    platform::requireMainThread("VolumeMonitor::start");
    if (m_started)
        return;
    m_started = true;
    if (!m_environment.changeFile.empty()) {
        m_watcher = std::make_unique<platform::MountWatcher>(m_environment.changeFile);
        connect(m_watcher.get(), &platform::MountWatcher::changed, this, &VolumeMonitor::handleMountTableChange);
        m_watcher->start();
    }
    m_table = m_mounts.mounts();
    setMountedVolumes(offeredVolumes(m_table));
}

void VolumeMonitor::stop()
{
    m_watcher.reset();
    m_started = false;
}

void VolumeMonitor::refreshVolumes()
{
    auto table = m_mounts.mounts();
    if (!table.empty())
        setMountedVolumes(offeredVolumes(table));
}

void VolumeMonitor::handleMountTableChange()
{
    if (!m_started)
        return;
    auto table = m_mounts.mounts();
    // A read that failed says nothing about the drives; taking it as "every volume left" would stop every pair.
    if (table.empty())
        return;
    const Changes changes = diffByMountId(m_table, table);
    m_table = std::move(table);
    setMountedVolumes(offeredVolumes(m_table));

    const QPointer<VolumeMonitor> self(this);
    for (const fs::path& point : changes.unmounted) {
        if (!self || !m_onVolumeDidUnmount)
            break;
        auto callback = m_onVolumeDidUnmount;
        callback(point);
    }
    for (const fs::path& point : changes.mounted) {
        if (!self || !m_onVolumeDidMount)
            break;
        auto callback = m_onVolumeDidMount;
        callback(point);
    }
}

std::vector<VolumeMonitor::VolumeInfo> VolumeMonitor::offeredVolumes(const std::vector<MountEntry>& table) const
{
    // Of file systems stacked on one mount point, the one on top is what its path shows.
    std::map<std::string, const MountEntry*> top;
    std::vector<std::string> order;
    for (const MountEntry& entry : table) {
        if (!isOfferedMount(entry))
            continue;
        if (!top.contains(entry.mountPoint))
            order.push_back(entry.mountPoint);
        top[entry.mountPoint] = &entry;
    }
    std::vector<VolumeInfo> volumes;
    for (const std::string& point : order)
        volumes.push_back(describe(*top[point]));

    // The C locale compares code points only, so it would put "Disk 10" before "Disk 2".
    QCollator collator(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(volumes.begin(), volumes.end(), [&](const VolumeInfo& a, const VolumeInfo& b) {
        if (a.isExternal != b.isExternal)
            return a.isExternal;
        if (a.isNetwork != b.isNetwork)
            return a.isNetwork;
        return collator.compare(a.name, b.name) < 0;
    });
    return volumes;
}

void VolumeMonitor::setMountedVolumes(std::vector<VolumeInfo> volumes)
{
    m_mountedVolumes = std::move(volumes);
    emit mountedVolumesChanged();
}

bool VolumeMonitor::isOfferedMount(const MountEntry& entry) const
{
    if (entry.mountPoint == "/" || !platform::isStorageFileSystem(entry))
        return false;
    if (platform::isNetworkFileSystemType(entry.fileSystemType))
        return true;
    const fs::path point(entry.mountPoint);
    for (const char* media : kMediaFolders)
        if (platform::isBelow(point, media))
            return true;
    return !m_userName.isEmpty() && platform::isBelow(point, fs::path(kUserMediaFolder) / m_userName.toStdString());
}

VolumeMonitor::VolumeInfo VolumeMonitor::describe(const MountEntry& entry) const
{
    VolumeInfo info;
    info.id = entry.mountPoint;
    info.isNetwork = platform::isNetworkFileSystemType(entry.fileSystemType);
    if (!info.isNetwork) {
        info.name = platform::fileSystemLabel(entry, m_environment.labelFolder);
        info.isExternal = platform::isExternalDrive(entry, m_environment.sysfsFolder);
    }
    if (info.name.isEmpty())
        info.name = QString::fromStdString(info.id.filename().native());
    if (const auto space = m_space.space(info.id)) {
        info.totalSpace = static_cast<std::int64_t>(space->totalBytes);
        info.freeSpace = static_cast<std::int64_t>(space->availableBytes);
    }
    return info;
}

} // namespace larkfold
