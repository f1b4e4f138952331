#pragma once

#include "copy/FileOperationError.h"

#include <QString>

#include <filesystem>

namespace larkfold {

// The copy run's own errors: domain "Larkfold", a code and the message the user sees.
struct CopyErrorText {
    int code;
    const char* message; // UTF-8
};

namespace copyerror {
inline constexpr int kSourceEmptyCode = 1001;
inline constexpr int kTooManyVanishedCode = 1002;
inline constexpr CopyErrorText kSourceEmpty{
    kSourceEmptyCode, "Source appears empty or unreadable — skipped archival of %1 backup file(s) to protect existing backups."};
inline constexpr CopyErrorText kTooManyVanished{
    kTooManyVanishedCode, "Unusually large number of files (%1) would be archived — skipping archival as a safety measure."};
inline constexpr CopyErrorText kDestinationIsLink{
    1003, "Destination path is a symbolic link — refusing to write to prevent data redirection."};
inline constexpr CopyErrorText kSourceNotReadable{
    1004, "Source folder is not readable — check permissions or reconnect the drive."};
inline constexpr CopyErrorText kDestinationNotWritable{
    1005, "Destination folder is not writable — check permissions or disk space."};
inline constexpr CopyErrorText kSourceVolumeLost{
    1006, "Source volume disconnected during backup — aborting to protect existing backups."};
inline constexpr CopyErrorText kSourceGoneBeforeArchival{
    1006, "Source became unreachable before archival — skipping archival to protect backups."};
inline constexpr CopyErrorText kDestinationVolumeLost{1007, "Destination volume disconnected during backup — aborting."};
inline constexpr CopyErrorText kSourceFileUnreadable{1008, "Source file became unreadable mid-backup."};
inline constexpr CopyErrorText kSizeMismatch{
    1009, "File was copied but size doesn't match source — will retry on next backup."};
inline constexpr CopyErrorText kCannotOpenSource{1010, "Could not open source file for reading."};
inline constexpr CopyErrorText kCannotOpenDestination{1011, "Could not open destination file for writing."};
inline constexpr CopyErrorText kReadError{1012, "Read error during streamed copy."};
inline constexpr CopyErrorText kWriteError{1013, "Write error during streamed copy."};
inline constexpr CopyErrorText kOwnFolderInSource{
    1014, "Folder is the backup folder or its trash, mounted inside the source — left out so the backup is not copied "
          "into itself."};
inline constexpr CopyErrorText kReservedName{
    1015, "Name is reserved for Larkfold's own files — rename it to have it backed up."};
inline constexpr CopyErrorText kBackupFolderBusy{
    1016, "Another backup is writing to this folder — this one will try again later."};
inline constexpr CopyErrorText kLockFileNotOurs{
    1017, "An item Larkfold didn't make stands where its lock file belongs in the backup folder and couldn't be moved "
          "away — remove “.larkfold-lock” so backups can go on."};
inline constexpr CopyErrorText kResumeMismatch{
    1013, "Resume mismatch — source shrank since the previous copy. Restarting next time."};
} // namespace copyerror

// Archival held back because too many backup files vanished at once (1001, 1002): not a failed file.
inline bool isDeletionGuardRefusal(const FileOperationError& error)
{
    return error.isLarkfold(copyerror::kSourceEmptyCode) || error.isLarkfold(copyerror::kTooManyVanishedCode);
}

inline LarkfoldError larkfoldError(const CopyErrorText& text)
{
    return LarkfoldError{text.code, QString::fromUtf8(text.message)};
}

// The error wrapped for `url` and `operation`; "%1" in the message takes `argument` when given.
inline FileOperationError copyError(const CopyErrorText& text, const std::filesystem::path& url,
                                    const QString& operation, const QString& argument = {})
{
    QString message = QString::fromUtf8(text.message);
    if (!argument.isNull())
        message = message.arg(argument);
    return FileOperationError::larkfold(text.code, message, url, operation);
}

} // namespace larkfold
