#include "platform/FileSystemKind.h"

#include "platform/MountSource.h"

#include <linux/magic.h>
#include <sys/statfs.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace larkfold::platform {
namespace {

struct PseudoType {
    unsigned long magic;
    const char* name;
};

// Not all of these are named in every kernel header.
constexpr unsigned long kConfigfsMagic = 0x62656570;
constexpr unsigned long kMqueueMagic = 0x19800202;
constexpr unsigned long kFuseControlMagic = 0x65735543;

constexpr std::array kPseudoTypes{
    PseudoType{PROC_SUPER_MAGIC, "proc"},
    PseudoType{SYSFS_MAGIC, "sysfs"},
    PseudoType{CGROUP_SUPER_MAGIC, "cgroup"},
    PseudoType{CGROUP2_SUPER_MAGIC, "cgroup2"},
    PseudoType{DEBUGFS_MAGIC, "debugfs"},
    PseudoType{TRACEFS_MAGIC, "tracefs"},
    PseudoType{SECURITYFS_MAGIC, "securityfs"},
    PseudoType{PSTOREFS_MAGIC, "pstore"},
    PseudoType{BPF_FS_MAGIC, "bpf"},
    PseudoType{kConfigfsMagic, "configfs"},
    PseudoType{DEVPTS_SUPER_MAGIC, "devpts"},
    PseudoType{kMqueueMagic, "mqueue"},
    PseudoType{EFIVARFS_MAGIC, "efivarfs"},
    PseudoType{SELINUX_MAGIC, "selinuxfs"},
    PseudoType{kFuseControlMagic, "fusectl"},
    PseudoType{BINFMTFS_MAGIC, "binfmt_misc"},
    PseudoType{NSFS_MAGIC, "nsfs"},
};

} // namespace

std::optional<std::string> pseudoFileSystemName(const std::filesystem::path& path)
{
    return pseudoFileSystemName(path, systemMountSource());
}

std::optional<std::string> pseudoFileSystemName(const std::filesystem::path& path, const MountSource& mounts)
{
    struct statfs info {};
    int rc;
    do
        rc = ::statfs(path.c_str(), &info);
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
        return std::nullopt;
    const auto type = static_cast<unsigned long>(info.f_type);
    for (const PseudoType& pseudo : kPseudoTypes) {
        if (pseudo.magic == type)
            return std::string(pseudo.name);
    }
    if (type != TMPFS_MAGIC)
        return std::nullopt;
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(path, error);
    if (error)
        return std::nullopt;
    const auto table = mounts.mounts();
    const MountEntry* holder =
        findMountHolding(table, canonical.native(), [](const MountEntry& mount) -> std::string_view { return mount.mountPoint; });
    if (holder && holder->fileSystemType == "devtmpfs")
        return holder->fileSystemType;
    return std::nullopt;
}

} // namespace larkfold::platform
