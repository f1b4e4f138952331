#include "platform/AppPaths.h"

#include <QStandardPaths>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkfold::platform {
namespace {

constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;

// Sets the mode on what is open, so a name swapped meanwhile is never changed instead.
void restrictOpened(int fd, mode_t wanted, bool folder)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid())
        return;
    if ((folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) && (st.st_mode & 07777) != wanted)
        ::fchmod(fd, wanted);
}

} // namespace

std::filesystem::path appSupportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return std::filesystem::path(base.toStdString()) / "Larkfold";
}

std::error_code ensurePrivateDirectory(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder.parent_path(), ec);
    if (ec)
        return ec;
    if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
        return {errno, std::generic_category()};
    // A link the user put in place of the folder is followed: its target holds our files.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return {errno, std::generic_category()};
    restrictOpened(dir, kPrivateFolderMode, true);
    if (DIR* entries = ::fdopendir(::dup(dir))) {
        while (const dirent* entry = ::readdir(entries)) {
            if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
                continue;
            // Without following links and without waiting on a FIFO's writer.
            const int fd = ::openat(dir, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                continue;
            restrictOpened(fd, kPrivateFileMode, false);
            ::close(fd);
        }
        ::closedir(entries);
    }
    ::close(dir);
    return {};
}

} // namespace larkfold::platform
