// The size estimate and the removal of stale temporary items of FileCopier.
#include "copy/FileCopier.h"

#include "copy/EntryVersion.h"
#include "copy/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/TreeWalker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

bool needsCopy(int backupFd, const SourceEntry& entry, const StoredTimes& times)
{
    struct stat copy;
    if (backupFd < 0 || ::fstatat(backupFd, entry.relativePath.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0)
        return true;
    // Only a regular file has a size to compare; anything else standing there counts as size 0.
    const std::int64_t copySize = S_ISREG(copy.st_mode) ? static_cast<std::int64_t>(copy.st_size) : 0;
    if (copySize != entry.size)
        return true;
    return times.differ({std::time_t(entry.modifiedSeconds), long(entry.modifiedNanoseconds)}, copy.st_mtim);
}

// A package is copied whole when anything inside it changed, so it counts at the size of its tree.
std::int64_t packageBytesToCopy(platform::FileSystem& fileSystem,
                                const platform::PosixResult<platform::Directory>& sourceDir,
                                const platform::PosixResult<platform::Directory>& backupDir, const SourceEntry& entry,
                                const StoredTimes& times)
{
    if (!sourceDir)
        return 0;
    const auto source = readEntryVersion(fileSystem, *sourceDir, entry.relativePath);
    if (!source)
        return 0;
    const auto copy = backupDir ? readEntryVersion(fileSystem, *backupDir, entry.relativePath) : std::nullopt;
    return !copy || !copy->isFolder || versionsDiffer(*source, *copy, times) ? source->size : 0;
}

} // namespace

std::int64_t FileCopier::estimateBytesToCopy(const fs::path& source, const fs::path& backupFolder,
                                             const ExclusionFilter& filter, const platform::CancelToken& cancel) const
{
    platform::WalkOptions options;
    options.cancel = cancel;
    // The backup folder mounted inside the source holds nothing the run will copy.
    if (const auto backup = m_fileSystem.statusAtPath(backupFolder); backup && backup->isDirectory())
        options.foldersToLeaveOut.push_back({backup->device, backup->inode});
    const SourceScan scan = scanSource(source, filter, options);
    if (scan.entries.empty())
        return 0;
    const int backupFd = ::open(backupFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::error_code error;
    const fs::path resolvedSource = fs::canonical(source, error);
    const auto sourceDir = m_fileSystem.openDirectory(error ? source : resolvedSource);
    const auto backupDir = m_fileSystem.openDirectory(backupFolder);
    // The run's own rule: the same times compare the same way.
    const StoredTimes times = backupDir ? StoredTimes::probe(m_fileSystem, *backupDir) : StoredTimes();
    std::int64_t bytes = 0;
    for (const SourceEntry& entry : scan.entries) {
        if (cancel.isCancelled())
            break;
        if (entry.isPackage)
            bytes += packageBytesToCopy(m_fileSystem, sourceDir, backupDir, entry, times);
        else if (needsCopy(backupFd, entry, times))
            bytes += entry.size;
    }
    if (backupFd >= 0)
        ::close(backupFd);
    return bytes;
}

void FileCopier::removeStaleTemporaryFiles(const fs::path& backupFolder, const platform::CancelToken& cancel) const
{
    if (const auto folder = m_fileSystem.openDirectory(backupFolder))
        removeStaleTemporaryFiles(*folder, cancel);
}

void FileCopier::removeStaleTemporaryFiles(const platform::Directory& backupFolder,
                                           const platform::CancelToken& cancel) const
{
    std::vector<std::string> stale;
    platform::WalkOptions options;
    options.cancel = cancel;
    platform::TreeWalker::walk(backupFolder, [&](const platform::TreeEntry& entry) {
        if (hasTemporaryOrResumeName(entry.name())) {
            stale.emplace_back(entry.relativePath());
            return false;
        }
        return entry.type() == platform::EntryType::directory;
    }, options);
    // Relative to the folder, so no link that appeared on the way since the walk is followed.
    for (const std::string& relativePath : stale)
        m_fileSystem.removeItem(backupFolder, relativePath);
}

} // namespace larkfold
