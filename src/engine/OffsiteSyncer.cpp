#include "engine/OffsiteSyncer.h"

#include "copy/BandwidthThrottle.h"
#include "copy/CopyErrors.h"
#include "copy/FileNames.h"
#include "platform/TreeWalker.h"
#include "store/BackupProfile.h"

#include <QUuid>

#include <cerrno>
#include <chrono>
#include <set>
#include <utility>

namespace larkfold {

namespace fs = std::filesystem;
using platform::Directory;
using platform::FileStatus;
using platform::PosixResult;

namespace {

constexpr std::int64_t kSpaceMarginBytes = 500LL * 1024 * 1024;
constexpr std::int64_t kBytesPerMegabyte = 1024 * 1024;
constexpr std::int64_t kSameTimeToleranceNanoseconds = 2'000'000'000;
constexpr auto kRetryStep = std::chrono::milliseconds(500);
constexpr std::size_t kReachabilityInterval = 25;

constexpr CopyErrorText kOffsiteFolderLost{2001,
                                           "Offsite folder became unavailable mid-sync — pausing offsite copy."};
constexpr int kSizeMismatchCode = 2010;
constexpr int kNotEnoughSpaceCode = 2020;
constexpr CopyErrorText kOffsiteNameTaken{
    2030, "Another file of the backup already lands at this name in the offsite folder — left out so that file's "
          "copy is not overwritten."};

constexpr const char* kCreateOperation = "createOffsiteDirectory";
constexpr const char* kSpaceOperation = "offsiteDiskSpaceCheck";
constexpr const char* kReachabilityOperation = "offsiteReachability";
constexpr const char* kCopyOperation = "offsiteCopy";
constexpr const char* kBackupFolderOperation = "destinationVolumeCheck";

QString label(const char* operation)
{
    return QString::fromLatin1(operation);
}

// The target path without a trailing "/", so that its last component is the folder's own name.
fs::path withoutTrailingSeparator(const fs::path& path)
{
    fs::path normal = path.lexically_normal();
    return normal.has_filename() ? normal : normal.parent_path();
}

// Opens the offsite target, first making the folders between it and the chosen offsite folder.
// The offsite folder itself must exist and not be a link (links above it, a cloud folder reached
// through one, are followed): with its drive or mount gone, making it would put the whole backup
// on the system disk below the empty mount point. Nothing on the way down is followed.
PosixResult<Directory> openOrCreateTarget(platform::FileSystem& fileSystem, const fs::path& offsiteFolder,
                                          const fs::path& target)
{
    auto chosen = fileSystem.openDirectory(offsiteFolder);
    if (!chosen)
        return chosen.error();
    const fs::path inside = target.lexically_relative(withoutTrailingSeparator(offsiteFolder));
    if (inside.empty() || *inside.begin() == "..")
        return platform::posixError(EINVAL);
    if (inside == ".")
        return chosen;
    if (const auto error = fileSystem.createDirectories(*chosen, inside))
        return error;
    return fileSystem.openDirectory(*chosen, inside);
}

std::int64_t nanoseconds(const std::timespec& time)
{
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// Size and modification time decide; contents are never compared. A copy newer than its source
// is replaced too.
bool needsCopy(const PosixResult<FileStatus>& source, const PosixResult<FileStatus>& target)
{
    if (!source || !target || !target->isRegular())
        return true;
    if (source->size != target->size)
        return true;
    const std::int64_t apart = nanoseconds(source->modificationTime) - nanoseconds(target->modificationTime);
    return apart > kSameTimeToleranceNanoseconds || apart < -kSameTimeToleranceNanoseconds;
}

using Identity = std::pair<std::uint64_t, std::uint64_t>;

Identity identityOf(const FileStatus& status)
{
    return {status.device, status.inode};
}

std::string temporaryName()
{
    return std::string(kTemporaryNamePrefix)
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

QString displayName(const std::string& relativePath)
{
    const auto slash = relativePath.rfind('/');
    return QString::fromUtf8(slash == std::string::npos ? relativePath : relativePath.substr(slash + 1));
}

QString megabytes(std::int64_t bytes)
{
    return QString::number(bytes / kBytesPerMegabyte);
}

} // namespace

struct OffsiteSyncer::CopyOutcome {
    std::int64_t bytes = 0;
    std::optional<UnderlyingError> error;
};

OffsiteSyncer::OffsiteSyncer(platform::FileSystem& fileSystem, const platform::VolumeInfo& volumes,
                             platform::ContinuousClock& clock, platform::IdleTime& idle)
    : m_fileSystem(fileSystem)
    , m_volumes(volumes)
    , m_clock(clock)
    , m_idle(idle)
{
}

OffsiteSyncResult OffsiteSyncer::sync(const fs::path& backupFolder, const fs::path& offsiteFolder,
                                      const fs::path& offsiteTarget, const ExclusionFilter& filter,
                                      const ProgressCallback& progress, const platform::CancelToken& cancel) const
{
    if (!m_fileSystem.statusAtPath(backupFolder))
        return OffsiteSyncResult{};
    const auto backup = m_fileSystem.openDirectory(backupFolder);
    if (!backup) {
        OffsiteSyncResult result;
        result.errors.push_back(FileOperationError::posix(backup.error().value(), backupFolder, label(kCopyOperation)));
        return result;
    }
    return sync(*backup, offsiteFolder, offsiteTarget, filter, progress, cancel);
}

OffsiteSyncResult OffsiteSyncer::sync(const Directory& backup, const fs::path& offsiteFolder,
                                      const fs::path& offsiteTarget, const ExclusionFilter& filter,
                                      const ProgressCallback& progress, const platform::CancelToken& cancel) const
{
    const auto start = std::chrono::steady_clock::now();
    OffsiteSyncResult result;
    const auto finish = [&] {
        result.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return std::move(result);
    };
    const fs::path& backupFolder = backup.path();

    const fs::path target = withoutTrailingSeparator(offsiteTarget);
    const auto offsite = openOrCreateTarget(m_fileSystem, offsiteFolder, target);
    if (!offsite) {
        result.errors.push_back(
            FileOperationError::posix(offsite.error().value(), offsiteTarget, label(kCreateOperation)));
        result.abortedDueToFolderLoss = true;
        return finish();
    }

    const std::vector<std::string> files = enumerateFiles(backup, filter, result.errors);

    std::int64_t bytesToCopy = 0;
    for (const std::string& relative : files) {
        const auto source = m_fileSystem.status(backup, relative);
        if (needsCopy(source, m_fileSystem.status(*offsite, relative)) && source)
            bytesToCopy += source->size;
    }
    if (bytesToCopy >= 1) {
        const auto space = m_volumes.space(target);
        if (space && space->availableBytes < std::uint64_t(bytesToCopy + kSpaceMarginBytes)) {
            const QString message = QStringLiteral("Not enough room in the offsite folder. Need ~%1 MB, only ~%2 MB "
                                                   "free. Free up space in your cloud folder and try again.")
                                        .arg(megabytes(bytesToCopy), megabytes(std::int64_t(space->availableBytes)));
            result.errors.push_back(
                FileOperationError::larkfold(kNotEnoughSpaceCode, message, offsiteTarget, label(kSpaceOperation)));
            return finish();
        }
    }

    // Offsite files already taken by an earlier entry of this call. On a file system that does not
    // tell "Photo.jpg" from "photo.jpg" two entries reach one file, and each would overwrite the
    // other's copy at every sync.
    std::set<Identity> claimed;
    const auto claim = [&](const std::string& relative) {
        if (const auto now = m_fileSystem.status(*offsite, relative))
            claimed.insert(identityOf(*now));
    };

    const std::size_t total = files.size();
    for (std::size_t i = 0; i < total; ++i) {
        if (cancel.isCancelled()) {
            result.wasCancelled = true;
            return finish();
        }
        if (i > 0 && i % kReachabilityInterval == 0) {
            if (auto lost = lostFolder(backup, *offsite, backupFolder, offsiteTarget)) {
                result.errors.push_back(std::move(*lost));
                result.abortedDueToFolderLoss = true;
                return finish();
            }
        }
        const std::string& relative = files[i];
        const fs::path sourceFile = backupFolder / relative;

        throttleForBandwidthMode(cancel, m_idle, m_clock);

        const auto source = m_fileSystem.status(backup, relative);
        const auto existing = m_fileSystem.status(*offsite, relative);
        if (progress)
            progress(double(i) / double(total), displayName(relative));

        if (existing && claimed.contains(identityOf(*existing))) {
            result.errors.push_back(copyError(kOffsiteNameTaken, sourceFile, label(kCopyOperation)));
            continue;
        }
        if (!needsCopy(source, existing)) {
            claimed.insert(identityOf(*existing));
            continue;
        }

        const CopyOutcome copied = copyFile(backup, *offsite, relative, cancel);
        claim(relative);
        if (!copied.error) {
            result.copiedFiles += 1;
            result.bytesTransferred += copied.bytes;
            continue;
        }
        result.errors.emplace_back(sourceFile, label(kCopyOperation), *copied.error);
        // A vanished folder makes every later file fail after its retries: stop at once instead.
        if (auto lost = lostFolder(backup, *offsite, backupFolder, offsiteTarget)) {
            result.errors.push_back(std::move(*lost));
            result.abortedDueToFolderLoss = true;
            return finish();
        }
    }
    return finish();
}

std::vector<std::string> OffsiteSyncer::enumerateFiles(const Directory& backup, const ExclusionFilter& filter,
                                                       std::vector<FileOperationError>& errors) const
{
    const fs::path& backupFolder = backup.path();
    using platform::EntryType;
    std::vector<std::string> files;
    const auto outcome = platform::TreeWalker::walk(backup, [&](const platform::TreeEntry& entry) {
        const EntryType type = entry.type();
        // Links are never followed or copied; FIFOs, sockets and devices have no place offsite.
        if (type != EntryType::regularFile && type != EntryType::directory)
            return false;
        const std::string_view name = entry.name();
        // A temporary folder is an unfinished copy: nothing in it belongs to the backup.
        if (larkfoldMarkerFileNames().contains(name) || hasTemporaryOrResumeName(name))
            return false;
        const bool isDirectory = type == EntryType::directory;
        if (filter.shouldExclude(name, isDirectory))
            return false;
        if (!isDirectory)
            files.emplace_back(entry.relativePath());
        return isDirectory;
    });
    // Files in a folder that could not be listed get no offsite copy; say so rather than report
    // the copy as complete.
    for (const auto& folder : outcome.unreadableFolders) {
        const fs::path url = folder.relativePath.empty() ? backupFolder : backupFolder / folder.relativePath;
        errors.push_back(FileOperationError::posix(folder.errorNumber, url, label(kCopyOperation)));
    }
    return files;
}

OffsiteSyncer::CopyOutcome OffsiteSyncer::copyFile(const Directory& backup, const Directory& offsite,
                                                   const fs::path& relative, const platform::CancelToken& cancel) const
{
    const auto failure = [](std::error_code error) {
        return CopyOutcome{0, PosixError::fromErrno(error.value())};
    };
    const fs::path parent = relative.parent_path();
    if (!parent.empty()) {
        if (const auto error = m_fileSystem.createDirectories(offsite, parent))
            return failure(error);
    }
    // Replacing a folder with a file would delete everything in it, and the offsite copy never deletes.
    if (const auto there = m_fileSystem.status(offsite, relative); there && there->isDirectory())
        return failure(platform::posixError(EISDIR));

    const auto source = m_fileSystem.status(backup, relative);
    if (source && !source->isRegular())
        return failure(platform::posixError(EINVAL));
    const std::int64_t sourceSize = source ? source->size : 0;

    UnderlyingError lastError = PosixError::fromErrno(EIO);
    for (int attempt = 0; attempt < kAttemptsPerFile; ++attempt) {
        // A cancel ends the wait early but not the attempts: the file is finished either way.
        if (attempt > 0)
            m_clock.sleepFor(kRetryStep * attempt, cancel);

        const fs::path temporary = parent / temporaryName();
        m_fileSystem.removeItem(offsite, temporary);
        if (const auto error = m_fileSystem.copyItem(backup, relative, offsite, temporary)) {
            m_fileSystem.removeItem(offsite, temporary);
            lastError = PosixError::fromErrno(error.value());
            continue;
        }
        const auto copy = m_fileSystem.status(offsite, temporary);
        const std::int64_t copiedSize = copy ? copy->size : 0;
        if (copiedSize != sourceSize) {
            m_fileSystem.removeItem(offsite, temporary);
            const QString message =
                QStringLiteral("Offsite copy size mismatch: source=%1, copied=%2.").arg(sourceSize).arg(copiedSize);
            lastError = LarkfoldError{kSizeMismatchCode, message};
            continue;
        }
        const bool targetExists = bool(m_fileSystem.status(offsite, relative));
        const auto error = targetExists ? m_fileSystem.replaceItem(offsite, relative, offsite, temporary)
                                        : m_fileSystem.moveItem(offsite, temporary, offsite, relative);
        if (error) {
            m_fileSystem.removeItem(offsite, temporary);
            lastError = PosixError::fromErrno(error.value());
            continue;
        }
        return CopyOutcome{sourceSize, std::nullopt};
    }
    return CopyOutcome{0, lastError};
}

std::optional<FileOperationError> OffsiteSyncer::lostFolder(const Directory& backup, const Directory& offsite,
                                                            const fs::path& backupFolder,
                                                            const fs::path& offsiteTarget) const
{
    if (!m_fileSystem.isStillAtPath(offsite))
        return copyError(kOffsiteFolderLost, offsiteTarget, label(kReachabilityOperation));
    if (!m_fileSystem.isStillAtPath(backup))
        return copyError(copyerror::kDestinationVolumeLost, backupFolder, label(kBackupFolderOperation));
    return std::nullopt;
}

} // namespace larkfold
