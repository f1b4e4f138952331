#include "store/BackupError.h"
#include "store/BookmarkError.h"
#include "store/CopyRedundancy.h"

#include <gtest/gtest.h>

using namespace larkfold;

TEST(BackupError, Texts)
{
    const QString reselect = QStringLiteral("Open Larkfold and re-select the folder to grant access again.");
    struct Case {
        BackupError error;
        QString description;
        QString suggestion;
    } cases[] = {
        {BackupError::sourceNotFound("/home/ada/Photos"), "The source folder can't be found.",
         "Make sure the folder \"Photos\" still exists."},
        {BackupError::sourceNotFound("/home/ada/Photos/"), "The source folder can't be found.",
         "Make sure the folder \"Photos\" still exists."},
        {BackupError::destinationNotFound("/media/ada/Backup"), "The backup drive isn't connected.",
         "Connect the backup drive and try again."},
        {BackupError::bookmarkStale("/x"), "Larkfold needs permission to access this folder again.", reselect},
        {BackupError::bookmarkAccessDenied("/x"), "Access to this folder was denied.", reselect},
        {BackupError::watcherFailed("inotify_init1: EMFILE"), "Couldn't watch for file changes.",
         "Try removing and re-adding this backup pair."},
        {BackupError::diskSpaceLow(73'400'000, 1'000'000'000), "The backup drive is running low on space.",
         "Free up space or remove old backups. Only 73.4 MB left."},
        {BackupError::partialFailure(3, 10), "3 of 10 files couldn't be backed up.",
         "Show Details… lists which files failed and why."},
        {BackupError::timedOut(), "This backup took too long and was stopped part-way.",
         "The next backup will pick up where this one left off. If it keeps happening, check the drive connection."},
        {BackupError::copyFailed("Source folder is not readable — check permissions or reconnect the drive."),
         "Source folder is not readable — check permissions or reconnect the drive.",
         "Show Details… says where and why."},
        {BackupError::deletionHeld(311, "Work", false),
         "311 files disappeared from Work at once, so Larkfold kept their backups where they are.",
         "If you deleted them on purpose, confirm the deletion and their backups move to the backup trash. If not, "
         "restore them."},
        {BackupError::deletionHeld(333, "Work", true),
         "Work looks empty, so Larkfold kept the backups of its 333 files where they are.",
         "If the folder is on a drive or share that isn't connected, connect it. If you emptied it on purpose, "
         "confirm the deletion; if not, restore the files."},
        {BackupError::volumeLost(),
         "Backup aborted — a volume disconnected mid-backup. Your existing backups are safe.",
         "Reconnect the drive. The next backup will pick up where this one stopped."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description.toStdString());
        EXPECT_EQ(c.error.errorDescription(), c.description);
        EXPECT_EQ(c.error.recoverySuggestion(), c.suggestion);
    }
}

TEST(BackupError, EqualityComparesCaseAndPayload)
{
    EXPECT_EQ(BackupError::sourceNotFound("/a"), BackupError::sourceNotFound("/a"));
    EXPECT_NE(BackupError::sourceNotFound("/a"), BackupError::sourceNotFound("/b"));
    EXPECT_NE(BackupError::sourceNotFound("/a"), BackupError::destinationNotFound("/a"));
    EXPECT_NE(BackupError::diskSpaceLow(1, 2), BackupError::diskSpaceLow(1, 3));
    EXPECT_NE(BackupError::watcherFailed("a"), BackupError::watcherFailed("b"));
    EXPECT_EQ(BackupError::timedOut(), BackupError::timedOut());
    EXPECT_EQ(BackupError::partialFailure(3, 10).as<BackupError::PartialFailure>()->totalCount, 10);
}

TEST(BackupError, BookmarkErrorAndCopyRedundancy)
{
    EXPECT_EQ(BookmarkError::accessDenied("/home/ada/Photos").errorDescription(),
              "Access denied for security-scoped resource at /home/ada/Photos.");
    EXPECT_EQ(CopyRedundancy::redundant(2), CopyRedundancy::redundant(2));
    EXPECT_NE(CopyRedundancy::redundant(2), CopyRedundancy::redundant(3));
    EXPECT_NE(CopyRedundancy::onlyCopy(), CopyRedundancy::singleBackup());
}
