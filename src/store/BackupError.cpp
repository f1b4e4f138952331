#include "store/BackupError.h"

#include "platform/ByteCount.h"
#include "platform/Paths.h"
#include "store/Overloaded.h"

namespace larkfold {
namespace {

QString lastPathComponent(const std::filesystem::path& url)
{
    return QString::fromStdString(platform::lastPathComponent(url).string());
}

QString countedFiles(std::int64_t count)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

const QString kReselectFolder = QStringLiteral("Open Larkfold and re-select the folder to grant access again.");

} // namespace

QString BackupError::errorDescription() const
{
    return std::visit(
        Overloaded{
            [](const SourceNotFound&) { return QStringLiteral("The source folder can't be found."); },
            [](const DestinationNotFound&) { return QStringLiteral("The backup drive isn't connected."); },
            [](const BookmarkStale&) { return QStringLiteral("Larkfold needs permission to access this folder again."); },
            [](const BookmarkAccessDenied&) { return QStringLiteral("Access to this folder was denied."); },
            [](const WatcherFailed&) { return QStringLiteral("Couldn't watch for file changes."); },
            [](const DiskSpaceLow&) { return QStringLiteral("The backup drive is running low on space."); },
            [](const PartialFailure& e) {
                return QStringLiteral("%1 of %2 files couldn't be backed up.").arg(e.failedCount).arg(e.totalCount);
            },
            [](const TimedOut&) { return QStringLiteral("This backup took too long and was stopped part-way."); },
            [](const CopyFailed& e) { return e.message; },
            [](const VolumeLost&) {
                return QStringLiteral("Backup aborted — a volume disconnected mid-backup. Your existing backups are safe.");
            },
            [](const DeletionHeld& e) {
                if (e.sourceLooksEmpty)
                    return QStringLiteral("%1 looks empty, so Larkfold kept the backups of its %2 where they are.")
                        .arg(e.folderName, countedFiles(e.fileCount));
                return QStringLiteral("%1 disappeared from %2 at once, so Larkfold kept %3 where %4.")
                    .arg(countedFiles(e.fileCount), e.folderName,
                         e.fileCount == 1 ? QStringLiteral("its backup") : QStringLiteral("their backups"),
                         e.fileCount == 1 ? QStringLiteral("it is") : QStringLiteral("they are"));
            },
        },
        m_value);
}

QString BackupError::recoverySuggestion() const
{
    return std::visit(
        Overloaded{
            [](const SourceNotFound& e) {
                return QStringLiteral("Make sure the folder \"%1\" still exists.").arg(lastPathComponent(e.url));
            },
            [](const DestinationNotFound&) { return QStringLiteral("Connect the backup drive and try again."); },
            [](const BookmarkStale&) { return kReselectFolder; },
            [](const BookmarkAccessDenied&) { return kReselectFolder; },
            [](const WatcherFailed&) { return QStringLiteral("Try removing and re-adding this backup pair."); },
            [](const DiskSpaceLow& e) {
                return QStringLiteral("Free up space or remove old backups. Only %1 left.")
                    .arg(platform::formatByteCount(e.available));
            },
            [](const PartialFailure&) { return QStringLiteral("Show Details… lists which files failed and why."); },
            [](const TimedOut&) {
                return QStringLiteral("The next backup will pick up where this one left off. If it keeps happening, "
                                      "check the drive connection.");
            },
            [](const CopyFailed&) { return QStringLiteral("Show Details… says where and why."); },
            [](const VolumeLost&) {
                return QStringLiteral("Reconnect the drive. The next backup will pick up where this one stopped.");
            },
            [](const DeletionHeld& e) {
                if (e.sourceLooksEmpty)
                    return QStringLiteral("If the folder is on a drive or share that isn't connected, connect it. If "
                                          "you emptied it on purpose, confirm the deletion; if not, restore the files.");
                return QStringLiteral("If you deleted them on purpose, confirm the deletion and their backups move to "
                                      "the backup trash. If not, restore them.");
            },
        },
        m_value);
}

} // namespace larkfold
