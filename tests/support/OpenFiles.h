#pragma once

#include <filesystem>

namespace larkfold::test {

// inotify instances this process holds now.
inline int inotifyInstances()
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).native() == "anon_inode:inotify")
            ++count;
    }
    return count;
}

} // namespace larkfold::test
