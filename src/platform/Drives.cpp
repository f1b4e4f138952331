#include "platform/Drives.h"

#include "platform/MountSource.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace larkfold::platform {
namespace {

namespace fs = std::filesystem;

// How many mapped devices deep a disk is looked for (a volume group on an encrypted partition).
constexpr int kMaxMappingDepth = 4;

// udev writes a label's unsafe bytes as "\xHH".
std::string decodeLabel(const std::string& name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x'
            && std::isxdigit(static_cast<unsigned char>(name[i + 2]))
            && std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            out += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
            continue;
        }
        out += name[i];
    }
    return out;
}

// The device node's number when `source` is one, else the number the mount table gives.
std::uint64_t blockDevice(const MountEntry& entry)
{
    struct stat st{};
    if (::stat(entry.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        return st.st_rdev;
    return entry.device;
}

std::string firstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The kernel's folder of the disk or partition `entry` is mounted from, in the device tree at
// `sysfsFolder`; empty when the tree has none (a file system without a block device).
fs::path deviceFolder(const MountEntry& entry, const fs::path& sysfsFolder)
{
    const std::uint64_t device = blockDevice(entry);
    const fs::path link = sysfsFolder / "dev/block" / (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
    std::error_code error;
    fs::path folder = fs::canonical(link, error);
    return error ? fs::path() : folder;
}

// A partition's flags live on its disk, the folder above.
fs::path diskFolder(const fs::path& device)
{
    std::error_code error;
    return fs::exists(device / "partition", error) ? device.parent_path() : device;
}

// `device` is the kernel's folder of a disk or partition in the device tree below `root`.
bool isExternalDevice(const fs::path& root, const fs::path& device, int depth)
{
    std::error_code error;
    for (const auto& part : device.lexically_relative(root))
        if (part.native().starts_with("usb"))
            return true;
    if (firstLine(diskFolder(device) / "removable") == "1")
        return true;
    if (depth >= kMaxMappingDepth)
        return false;
    for (fs::directory_iterator it(device / "slaves", error), end; !error && it != end; it.increment(error)) {
        const fs::path below = fs::canonical(it->path(), error);
        if (!error && isExternalDevice(root, below, depth + 1))
            return true;
    }
    return false;
}

} // namespace

bool isStorageFileSystem(const MountEntry& entry)
{
    return isNetworkFileSystemType(entry.fileSystemType) || entry.source.starts_with("/dev/");
}

QString fileSystemLabel(const MountEntry& entry, const fs::path& labelFolder)
{
    std::error_code error;
    const fs::path source = fs::weakly_canonical(entry.source, error);
    const std::uint64_t device = blockDevice(entry);
    for (fs::directory_iterator it(labelFolder, error), end; !error && it != end; it.increment(error)) {
        std::error_code linkError;
        const fs::path link = fs::read_symlink(it->path(), linkError);
        const fs::path target = linkError ? fs::path() : fs::weakly_canonical(labelFolder / link, linkError);
        struct stat st{};
        const bool sameNode = !linkError && !target.empty() && target == source;
        const bool sameDevice = ::stat(it->path().c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == device;
        if (sameNode || sameDevice)
            return QString::fromStdString(decodeLabel(it->path().filename().native()));
    }
    return {};
}

bool isExternalDrive(const MountEntry& entry, const fs::path& sysfsFolder)
{
    std::error_code error;
    const fs::path root = fs::canonical(sysfsFolder, error);
    const fs::path folder = error ? fs::path() : deviceFolder(entry, sysfsFolder);
    return !folder.empty() && isExternalDevice(root, folder, 0);
}

std::optional<bool> isRotationalDrive(const MountEntry& entry, const fs::path& sysfsFolder)
{
    const fs::path folder = deviceFolder(entry, sysfsFolder);
    if (folder.empty())
        return std::nullopt;
    const std::string flag = firstLine(diskFolder(folder) / "queue/rotational");
    if (flag == "0" || flag == "1")
        return flag == "1";
    return std::nullopt;
}

QString currentUserName()
{
    const passwd* user = ::getpwuid(::geteuid());
    return user && user->pw_name ? QString::fromLocal8Bit(user->pw_name) : QString();
}

std::optional<fs::path> drivesFolder(const QString& userName, const fs::path& root)
{
    std::vector<fs::path> candidates;
    if (!userName.isEmpty()) {
        const std::string user = userName.toLocal8Bit().toStdString();
        candidates.push_back(root / "media" / user);
        candidates.push_back(root / "run/media" / user);
    }
    candidates.push_back(root / "media");
    for (const fs::path& folder : candidates) {
        std::error_code error;
        if (fs::is_directory(folder, error))
            return folder;
    }
    return std::nullopt;
}

} // namespace larkfold::platform
