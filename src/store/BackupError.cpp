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
            [](const PartialFailure&) {
                return QStringLiteral("Check the backup log for details on which files failed.");
            },
            [](const TimedOut&) {
                return QStringLiteral("The next backup will pick up where this one left off. If it keeps happening, "
                                      "check the drive connection.");
            },
            [](const CopyFailed&) { return QStringLiteral("Check the backup log for details."); },
            [](const VolumeLost&) {
                return QStringLiteral("Reconnect the drive. The next backup will pick up where this one stopped.");
            },
        },
        m_value);
}

} // namespace larkfold
