// The single-file copy: temporary and resume files, the check before replacing, the retry rule.
#include "copy/FileCopier.h"

#include "copy/BandwidthThrottle.h"
#include "copy/CopyErrors.h"
#include "copy/FileCopierRun.h"
#include "copy/TemporaryNames.h"
#include "platform/ByteCount.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace larkfold {

using platform::Directory;
using platform::FileStatus;
using platform::OpenMode;
using std::filesystem::path;

namespace {

constexpr std::size_t kChunkBytes = 1024 * 1024;
constexpr int kTemporaryNameAttempts = 3;
// Ties a resume file to the source it was started from; a different source of the same size
// (the size is all the name tells) starts over instead of splicing two files together.
constexpr const char* kResumeSourceAttribute = "user.larkfold.resume-source";

CopyFileResult failed(UnderlyingError error)
{
    CopyFileResult result;
    result.status = CopyFileResult::Status::failed;
    result.error = std::move(error);
    return result;
}

CopyFileResult withStatus(CopyFileResult::Status status)
{
    CopyFileResult result;
    result.status = status;
    return result;
}

UnderlyingError posixError(std::error_code error)
{
    return PosixError::fromErrno(error.value());
}

std::string resumeBinding(const FileStatus& source)
{
    return std::to_string(source.device) + ":" + std::to_string(source.inode) + ":" + std::to_string(source.size)
           + ":" + std::to_string(source.modificationTime.tv_sec) + "."
           + std::to_string(source.modificationTime.tv_nsec);
}

bool sameContentStamp(const FileStatus& a, const FileStatus& b)
{
    return a.type == b.type && a.size == b.size && a.modificationTime.tv_sec == b.modificationTime.tv_sec
           && a.modificationTime.tv_nsec == b.modificationTime.tv_nsec;
}

// copy_file_range cannot serve this pair of files; plain reads and writes can.
bool isRangeUnsupported(std::error_code error)
{
    const int code = error.value();
    return code == EXDEV || code == EINVAL || code == ENOSYS || code == EOPNOTSUPP || code == EBADF;
}

QString chunkLabel(const QString& displayName, std::int64_t copied, std::int64_t size)
{
    return QStringLiteral("%1 (%2/%3)")
        .arg(displayName, platform::formatByteCount(copied), platform::formatByteCount(size));
}

} // namespace

bool FileCopier::isTransientError(const UnderlyingError& error)
{
    const auto* posix = std::get_if<PosixError>(&error);
    if (!posix)
        return false;
    return posix->code == EINTR || posix->code == EIO || posix->code == EBUSY || posix->code == EAGAIN;
}

bool FileCopier::copiesMatch(const Directory& sourceDir, const path& sourceRelative, const Directory& copyDir,
                             const path& copyRelative) const
{
    const auto source = m_fileSystem.status(sourceDir, sourceRelative);
    const auto copy = m_fileSystem.status(copyDir, copyRelative);
    if (!source || !copy)
        return false;
    if (source->isDirectory())
        return copy->isDirectory();
    return !copy->isDirectory() && source->size == copy->size;
}

std::vector<path> FileCopier::sizeMismatches(const std::vector<path>& relativePaths, const path& source,
                                             const Directory& backup) const
{
    const auto sourceDir = m_fileSystem.openDirectory(resolvedSource(source));
    if (!sourceDir)
        return relativePaths;
    std::vector<path> mismatches;
    for (const path& relative : relativePaths) {
        if (!copiesMatch(*sourceDir, relative, backup, relative))
            mismatches.push_back(relative);
    }
    return mismatches;
}

CopyFileResult FileCopier::copyFile(const Directory& sourceDir, const path& sourceRelative, const Directory& backup,
                                    const path& targetRelative, const QString& displayName,
                                    const ProgressCallback& progress, ProgressSpan span,
                                    const platform::CancelToken& cancel, std::optional<EntryKind> expected) const
{
    const path parent = targetRelative.parent_path();
    if (!parent.empty()) {
        if (const std::error_code error = m_fileSystem.createDirectories(backup, parent)) {
            return failed(std::make_shared<const FileOperationError>(
                FileOperationError::posix(error.value(), backup.path() / parent, QStringLiteral("createDirectory"))));
        }
    }

    const auto status = m_fileSystem.status(sourceDir, sourceRelative);
    if (!status)
        return status.error() == std::errc::no_such_file_or_directory ? withStatus(CopyFileResult::Status::sourceUnreadable)
                                                                      : failed(posixError(status.error()));
    // A link or FIFO took the entry's place since the scan: it must not take the old copy's
    // place too. Once the scan no longer lists the entry, archival files the old copy away.
    if (!status->isRegular() && !status->isDirectory())
        return failed(PosixError::fromErrno(EAGAIN));
    // Nor may a folder that took a file's place (or a file a package's): the next scan sees the
    // new kind, and archival moves the old copy to the trash before the entry is copied.
    if (expected && status->isDirectory() != (*expected == EntryKind::package))
        return failed(PosixError::fromErrno(EAGAIN));
    // A file's open says whether it may be read; a package folder is asked first.
    if (status->isDirectory() && m_fileSystem.checkAccess(sourceDir, sourceRelative, platform::Access::read))
        return withStatus(CopyFileResult::Status::sourceUnreadable);

    CopyFileResult result = copyOnce(sourceDir, sourceRelative, *status, backup, targetRelative, displayName,
                                     progress, span, cancel);
    if (result.status == CopyFileResult::Status::failed && result.error && isTransientError(*result.error)) {
        result = copyOnce(sourceDir, sourceRelative, *status, backup, targetRelative, displayName, progress,
                          span, cancel);
    }
    result.sourceSize = status->size;
    return result;
}

CopyFileResult FileCopier::copyOnce(const Directory& sourceDir, const path& sourceRelative,
                                    const FileStatus& sourceStatus, const Directory& backup,
                                    const path& targetRelative, const QString& displayName,
                                    const ProgressCallback& progress, ProgressSpan span,
                                    const platform::CancelToken& cancel) const
{
    const path parent = targetRelative.parent_path();
    const std::string name = targetRelative.filename().native();
    const bool streamed = sourceStatus.isRegular() && sourceStatus.size >= kStreamThresholdBytes;

    if (sourceStatus.isRegular() && !streamed)
        return copySmallFile(sourceDir, sourceRelative, sourceStatus, backup, targetRelative);

    path written;
    std::optional<path> foreignItem;
    if (streamed) {
        written = parent / resumeName(sourceStatus.size, name);
        // Something the program did not make holds the resume name: it stays, and this copy
        // cannot resume but still goes ahead.
        if (m_fileSystem.holdsOtherThanRegularFile(backup, written)) {
            foreignItem = written;
            written = parent / platform::temporaryNameFor(name);
        }
        CopyFileResult step = streamCopy(sourceDir, sourceRelative, sourceStatus, backup, written, displayName,
                                         progress, span, cancel);
        step.foreignItem = foreignItem;
        if (step.status != CopyFileResult::Status::copied)
            return step;
    } else {
        written = parent / platform::temporaryNameFor(name);
        m_fileSystem.removeItem(backup, written);
        if (const std::error_code error = m_fileSystem.copyItem(sourceDir, sourceRelative, backup, written)) {
            m_fileSystem.removeItem(backup, written);
            return failed(posixError(error));
        }
    }

    // Checked before the old copy is touched, so a file that changed while it was read leaves
    // the previous version in place rather than none at all.
    const auto now = m_fileSystem.status(sourceDir, sourceRelative);
    const bool sourceUnchanged =
        now && (sourceStatus.isDirectory() ? now->type == sourceStatus.type : sameContentStamp(*now, sourceStatus));
    if (!sourceUnchanged || !copiesMatch(sourceDir, sourceRelative, backup, written)) {
        m_fileSystem.removeItem(backup, written);
        return withStatus(CopyFileResult::Status::sizeMismatch);
    }

    if (const std::error_code error = m_fileSystem.replaceItem(backup, targetRelative, backup, written)) {
        // A resume file is kept for the retry; a temporary is of no further use.
        if (!streamed)
            m_fileSystem.removeItem(backup, written);
        CopyFileResult result = failed(posixError(error));
        result.foreignItem = foreignItem;
        return result;
    }
    CopyFileResult result = withStatus(CopyFileResult::Status::copied);
    result.foreignItem = foreignItem;
    return result;
}

CopyFileResult FileCopier::copySmallFile(const Directory& sourceDir, const path& sourceRelative,
                                         const FileStatus& sourceStatus, const Directory& backup,
                                         const path& targetRelative) const
{
    auto input = m_fileSystem.openFile(sourceDir, sourceRelative, OpenMode::read);
    if (!input) {
        const int code = input.error().value();
        if (code == ENOENT || code == EACCES || code == EPERM)
            return withStatus(CopyFileResult::Status::sourceUnreadable);
        // A link now stands at the name (O_NOFOLLOW); it must not take the old copy's place.
        return failed(PosixError::fromErrno(code == ELOOP ? EAGAIN : code));
    }
    const path parent = targetRelative.parent_path();
    const std::string name = targetRelative.filename().native();
    path written;
    platform::PosixResult<std::int64_t> copied = platform::posixError(EEXIST);
    // A fresh name is only ever taken by a leftover of an earlier process; then it is drawn again.
    for (int attempt = 0; attempt < kTemporaryNameAttempts && !copied && copied.error() == std::errc::file_exists;
         ++attempt) {
        written = parent / platform::temporaryNameFor(name);
        copied = m_fileSystem.copyOpenFile(*input, sourceStatus, backup, written);
    }
    if (!copied) {
        if (copied.error() != std::errc::file_exists)
            m_fileSystem.removeFile(backup, written);
        return failed(posixError(copied.error()));
    }

    // Checked on the open file before the old copy is touched: a file that changed (or was
    // swapped for another) since it was looked at leaves the previous version in place rather
    // than none at all.
    const auto now = m_fileSystem.status(*input);
    if (!now || !sameContentStamp(*now, sourceStatus) || now->inode != sourceStatus.inode
        || now->device != sourceStatus.device || *copied != sourceStatus.size) {
        m_fileSystem.removeFile(backup, written);
        return withStatus(CopyFileResult::Status::sizeMismatch);
    }

    // A file over a file (or nothing) is one rename; anything else takes the general way.
    std::error_code error = m_fileSystem.rename(backup, written, backup, targetRelative, platform::RenameMode::replace);
    if (error && error != std::errc::no_such_file_or_directory)
        error = m_fileSystem.replaceItem(backup, targetRelative, backup, written);
    if (error) {
        m_fileSystem.removeItem(backup, written);
        return failed(posixError(error));
    }
    return withStatus(CopyFileResult::Status::copied);
}

CopyFileResult FileCopier::streamCopy(const Directory& sourceDir, const path& sourceRelative,
                                      const FileStatus& sourceStatus, const Directory& backup,
                                      const path& resumeRelative, const QString& displayName,
                                      const ProgressCallback& progress, ProgressSpan span,
                                      const platform::CancelToken& cancel) const
{
    auto input = m_fileSystem.openFile(sourceDir, sourceRelative, OpenMode::read);
    if (!input)
        return failed(larkfoldError(copyerror::kCannotOpenSource));

    const std::string binding = resumeBinding(sourceStatus);
    std::int64_t offset = 0;
    platform::File output;
    // Never through a link, never waiting on a FIFO, and only a regular file: anything else there is left alone.
    auto earlier = m_fileSystem.openRegularFile(backup, resumeRelative, OpenMode::append);
    if (earlier) {
        const auto status = m_fileSystem.status(*earlier);
        const auto boundTo = m_fileSystem.extendedAttribute(*earlier, kResumeSourceAttribute);
        if (status && status->size >= 1 && status->size < sourceStatus.size && boundTo && *boundTo == binding) {
            offset = status->size;
            output = std::move(*earlier);
        }
    }
    if (!output.isOpen()) {
        if (earlier || !platform::FileSystem::isNotRegularFile(earlier.error()))
            m_fileSystem.removeFile(backup, resumeRelative);
        auto created = m_fileSystem.openFile(backup, resumeRelative, OpenMode::createNew, 0600);
        if (!created)
            return failed(larkfoldError(copyerror::kCannotOpenDestination));
        output = std::move(*created);
        // Refused on file systems without user attributes; such a copy simply never resumes.
        m_fileSystem.setExtendedAttribute(output, kResumeSourceAttribute, binding);
    }

    std::vector<std::byte> buffer(kChunkBytes);
    for (std::int64_t skipped = 0; skipped < offset;) {
        if (cancel.isCancelled())
            return withStatus(CopyFileResult::Status::cancelled);
        const std::size_t want = std::size_t(std::min<std::int64_t>(offset - skipped, kChunkBytes));
        const auto count = m_fileSystem.read(*input, std::span(buffer.data(), want));
        if (!count)
            return failed(posixError(count.error()));
        if (*count == 0) {
            m_fileSystem.removeFile(backup, resumeRelative);
            return failed(larkfoldError(copyerror::kResumeMismatch));
        }
        skipped += std::int64_t(*count);
    }

    // copy_file_range keeps the data in the kernel; it cannot write to a file opened for appending.
    bool useRange = offset == 0;
    bool rangeWorked = false;
    // Never past the size the copy began with: a file that grows meanwhile would otherwise be
    // copied without end and could fill the drive. It is not taken (below) and waits for the next run.
    const std::int64_t size = sourceStatus.size;
    // Fewer blocks than bytes: holes, which stay holes in the copy.
    const bool sparse = sourceStatus.allocatedBytes < size;
    std::int64_t copied = offset;
    std::int64_t dataEnd = sparse ? offset : size;
    while (copied < size) {
        if (cancel.isCancelled())
            return withStatus(CopyFileResult::Status::cancelled);
        if (copied == dataEnd) {
            const auto data = m_fileSystem.nextData(*input, copied, size);
            if (!data)
                return failed(posixError(data.error()));
            if (data->begin > copied) {
                // The resume file always holds exactly what is done, a skipped hole included.
                if (const std::error_code error = m_fileSystem.setSize(output, data->begin))
                    return failed(posixError(error));
                if (const auto at = m_fileSystem.seek(output, data->begin, platform::SeekTo::start); !at)
                    return failed(posixError(at.error()));
                copied = data->begin;
            }
            dataEnd = data->end;
            if (copied == size)
                break;
        }
        const std::size_t want = std::size_t(std::min<std::int64_t>(dataEnd - copied, kChunkBytes));
        std::size_t chunk = 0;
        if (useRange) {
            const auto count = m_fileSystem.copyRange(*input, output, want);
            if (!count && isRangeUnsupported(count.error()) && !rangeWorked) {
                useRange = false;
                continue;
            }
            if (!count)
                return failed(posixError(count.error()));
            chunk = *count;
            rangeWorked = true;
        } else {
            const auto count = m_fileSystem.read(*input, std::span(buffer.data(), want));
            if (!count)
                return failed(posixError(count.error()));
            chunk = *count;
            for (std::size_t done = 0; done < chunk;) {
                if (cancel.isCancelled())
                    return withStatus(CopyFileResult::Status::cancelled);
                const auto written =
                    m_fileSystem.write(output, std::span<const std::byte>(buffer.data() + done, chunk - done));
                if (!written)
                    return failed(posixError(written.error()));
                // A write that takes nothing would otherwise be tried for ever.
                if (*written == 0)
                    return failed(larkfoldError(copyerror::kWriteError));
                done += *written;
            }
        }
        if (chunk == 0)
            break; // the source shrank; the check after the copy turns it down
        copied += std::int64_t(chunk);
        throttleAfterChunk();
        if (progress && sourceStatus.size >= 1)
            progress(span.at(double(copied) / double(sourceStatus.size)),
                     chunkLabel(displayName, copied, sourceStatus.size));
    }

    // The mark belongs to an unfinished copy only; the finished one carries the source's own attributes.
    m_fileSystem.removeExtendedAttribute(output, kResumeSourceAttribute);
    if (const std::error_code error = m_fileSystem.copyAttributes(*input, output))
        return failed(posixError(error));
    return withStatus(CopyFileResult::Status::copied);
}

} // namespace larkfold
