#pragma once

// Helpers of the copy-run tests: large files that cost no disk, times, listings.

#include "platform/RunningApplications.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkfold::test {

inline constexpr std::int64_t kMebibyte = 1024 * 1024;

// A fixed list of running applications for the editor check (none by default).
class StaticApplications final : public platform::RunningApplications {
public:
    explicit StaticApplications(std::vector<platform::RunningApplication> apps = {}) : m_apps(std::move(apps)) {}
    std::vector<platform::RunningApplication> list() override { return m_apps; }

private:
    std::vector<platform::RunningApplication> m_apps;
};

// A sparse file of `size` bytes with `mark` written at its start, middle and end.
inline void makeLargeFile(const std::filesystem::path& path, std::int64_t size, char mark)
{
    std::filesystem::create_directories(path.parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    const std::string bytes(4096, mark);
    for (const std::int64_t offset : {std::int64_t(0), size / 2, size - std::int64_t(bytes.size())})
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset), ssize_t(bytes.size()));
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// As makeLargeFile, with every block allocated (unwritten, so still quick): a file without holes,
// which a copy goes through chunk by chunk.
inline void makeAllocatedFile(const std::filesystem::path& path, std::int64_t size, char mark)
{
    makeLargeFile(path, size, mark);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::fallocate(fd, 0, 0, size), 0) << path;
    ::close(fd);
}

// Whether two files hold the same bytes.
inline bool sameContents(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    if (!first || !second)
        return false;
    std::vector<char> one(1 << 20), two(1 << 20);
    while (first && second) {
        first.read(one.data(), std::streamsize(one.size()));
        second.read(two.data(), std::streamsize(two.size()));
        if (first.gcount() != second.gcount() || !std::equal(one.begin(), one.begin() + first.gcount(), two.begin()))
            return false;
    }
    return first.eof() && second.eof();
}

inline std::timespec modifiedTime(const std::filesystem::path& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mtim;
}

inline void setModifiedTime(const std::filesystem::path& path, std::int64_t seconds, long nanoseconds = 0)
{
    const std::timespec times[2] = {{std::time_t(seconds), nanoseconds}, {std::time_t(seconds), nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// The names in a folder, sorted; empty when it cannot be listed.
inline std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().native());
    std::sort(names.begin(), names.end());
    return names;
}

// Every path below a folder, relative and sorted, folders marked with a trailing "/".
inline std::vector<std::string> treeOf(const std::filesystem::path& folder)
{
    std::vector<std::string> paths;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::string relative = it->path().lexically_relative(folder).native();
        if (it->is_directory() && !it->is_symlink())
            relative += "/";
        paths.push_back(relative);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// "path mode" of each of `paths` below `root` ("." for the root itself), one a line, the mode in
// octal; "missing" for a path that is not there.
inline std::string modesOf(const std::filesystem::path& root, const std::vector<std::string>& paths)
{
    std::string modes;
    for (const std::string& path : paths) {
        struct stat st {};
        char mode[8] = "missing";
        if (::lstat((root / path).c_str(), &st) == 0)
            std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
        modes += path + " " + mode + "\n";
    }
    return modes;
}

} // namespace larkfold::test
