#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace larkfold::platform {

class MountSource;

// The name of the pseudo file system holding `path` (proc, sysfs, devtmpfs, cgroup2, debugfs,
// tracefs and the like): the kernel's views of itself, whose files report sizes that mean nothing
// and can be read without end. None for a file system of files, or when `path` cannot be looked at.
std::optional<std::string> pseudoFileSystemName(const std::filesystem::path& path);
// The same, telling devtmpfs from tmpfs (statfs gives both the same type) by `mounts`.
std::optional<std::string> pseudoFileSystemName(const std::filesystem::path& path, const MountSource& mounts);

} // namespace larkfold::platform
