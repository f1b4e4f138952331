#pragma once

#include <optional>
#include <string>
#include <vector>

namespace larkfold {

namespace platform {
class MountSource;
}

// Questions about the table of mounted file systems; the caller reads the table once and passes it in.
class MountTable {
public:
    struct Mount {
        std::string mountPoint;
        // The device node of a local disk, or the server share of a network file system.
        std::string source;
        bool isNetwork = false;

        bool operator==(const Mount&) const = default;
    };

    MountTable() = delete;

    // The mounts in the kernel's order; empty when the table cannot be read. Any thread.
    static std::vector<Mount> currentMounts();
    static std::vector<Mount> currentMounts(const platform::MountSource& source);

    // The mount that holds `path`: the longest mount point equal to it or followed in it by "/"
    // (compared exactly, case included); of equal ones the last, which is mounted on top.
    static std::optional<Mount> mount(const std::string& path, const std::vector<Mount>& mounts);

    // Every mount whose source is exactly `source`, in table order.
    static std::vector<Mount> mounts(const std::string& source, const std::vector<Mount>& mounts);
};

} // namespace larkfold
