#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace larkfold::platform {

// One line of the kernel's mount table, names decoded.
struct MountEntry {
    // Unique among the mounts of the moment; a file system mounted again gets a new one.
    int mountId = 0;
    // The file system's device number as stat() reports it for its files (st_dev).
    std::uint64_t device = 0;
    std::string mountPoint;
    // What is mounted: a device node, or a server share for network file systems.
    std::string source;
    std::string fileSystemType;

    bool operator==(const MountEntry&) const = default;
};

// The mount table, in the kernel's order (later mounts come later).
class MountSource {
public:
    virtual ~MountSource() = default;
    // Empty when the table cannot be read.
    virtual std::vector<MountEntry> mounts() const = 0;
};

// Reads a mountinfo file (the process's own, /proc/self/mountinfo, unless told otherwise).
class ProcMountSource final : public MountSource {
public:
    explicit ProcMountSource(std::filesystem::path file = "/proc/self/mountinfo");
    std::vector<MountEntry> mounts() const override;

private:
    std::filesystem::path m_file;
};

// Serves a mountinfo text, which a test may change while others read it.
class TextMountSource final : public MountSource {
public:
    explicit TextMountSource(std::string text = {}) : m_text(std::move(text)) {}
    std::vector<MountEntry> mounts() const override;
    void setText(std::string text);

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

MountSource& systemMountSource();

// Parses mountinfo text; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// Whether a file-system type is one served over the network (NFS, SMB, sshfs and the like).
bool isNetworkFileSystemType(std::string_view type);

// Whether `path` lies on `mountPoint`: equal, or below it after a "/". Exact, case-sensitive comparison.
bool mountPointHolds(std::string_view mountPoint, std::string_view path);

// The mount that holds `path`: the longest mount point that holds it; of equal ones the last in the
// table, which is mounted on top of the others. Null when none holds it.
template <typename Mount, typename MountPointOf>
const Mount* findMountHolding(const std::vector<Mount>& mounts, std::string_view path, MountPointOf mountPointOf)
{
    const Mount* best = nullptr;
    std::size_t bestLength = 0;
    for (const Mount& mount : mounts) {
        const std::string_view mountPoint = mountPointOf(mount);
        if (mountPointHolds(mountPoint, path) && (!best || mountPoint.size() >= bestLength)) {
            best = &mount;
            bestLength = mountPoint.size();
        }
    }
    return best;
}

} // namespace larkfold::platform
