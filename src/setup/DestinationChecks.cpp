#include "setup/DestinationChecks.h"

#include "copy/CopyErrors.h"
#include "copy/FileCopier.h"
#include "engine/BackupEngine.h"
#include "platform/ByteCount.h"
#include "platform/Paths.h"
#include "platform/Reachability.h"
#include "shell/StatusManager.h"
#include "store/BackupPair.h"

#include <QSet>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

const QString kChooseAnotherFolder = QStringLiteral("Choose Another Folder");
const QString kUseAnyway = QStringLiteral("Use Anyway");

QString folderName(const fs::path& folder)
{
    return QString::fromStdString(platform::lastPathComponent(folder).string());
}

// `folderWord` names the chosen folder in the message: "destination", "offsite folder".
std::optional<QString> nestingMessage(const std::vector<fs::path>& sources, const fs::path& chosen,
                                      const QString& folderWord)
{
    const fs::path folder = platform::canonicalPath(chosen);
    for (const fs::path& source : sources) {
        const fs::path sourcePath = platform::canonicalPath(source);
        if (platform::isSameOrBelow(folder, sourcePath))
            return QStringLiteral("The %1 can't be inside \"%2\".").arg(folderWord, folderName(source));
        if (platform::isBelow(sourcePath, folder))
            return QStringLiteral("\"%2\" can't be inside the %1.").arg(folderWord, folderName(source));
    }
    return std::nullopt;
}

// The "Larkfold" folder that receives the pair folders of a destination, links resolved.
fs::path backupRoot(const fs::path& destination)
{
    return platform::canonicalPath(BackupEngine::backupFolder(destination, QStringLiteral("pair")).parent_path());
}

bool isDirectory(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

} // namespace

DestinationChecks::DestinationChecks(CloudSyncDetector detector, const platform::MountSource& mounts,
                                     const platform::VolumeInfo& volumes, platform::FileSystem& fileSystem)
    : m_detector(std::move(detector)), m_mounts(mounts), m_volumes(volumes), m_fileSystem(fileSystem)
{
}

DestinationChecks DestinationChecks::of(const StatusManager& coordinator, CloudSyncDetector detector)
{
    return DestinationChecks(std::move(detector), coordinator.mounts(), coordinator.volumes(),
                             coordinator.fileSystem());
}

std::vector<FolderAlert> DestinationChecks::destinationAlerts(const fs::path& folder) const
{
    std::vector<FolderAlert> alerts;
    for (auto alert : {cloudFolderAlert(folder), systemDiskAlert(folder)}) {
        if (alert)
            alerts.push_back(std::move(*alert));
    }
    return alerts;
}

std::optional<FolderAlert> DestinationChecks::cloudFolderAlert(const fs::path& folder) const
{
    const auto provider = m_detector.provider(folder);
    if (!provider)
        return std::nullopt;
    const QString message = QStringLiteral("This folder is synced with ") + CloudSyncDetector::displayName(*provider);
    // The warning opens with the alert's own message: once is enough.
    QString warning = CloudSyncDetector::destinationWarning(*provider);
    if (const QString opening = message + QStringLiteral(". "); warning.startsWith(opening))
        warning.remove(0, opening.size());
    return FolderAlert{message, warning, kChooseAnotherFolder, kUseAnyway};
}

std::optional<FolderAlert> DestinationChecks::systemDiskAlert(const fs::path& folder) const
{
    const fs::path path = platform::canonicalPath(folder);
    // A folder that is not there is not on any disk; the reachability rule alone would refuse it too.
    if (!platform::isInMediaFolder(path) || !isDirectory(path)
        || platform::isFolderReachable(path, std::nullopt, m_mounts))
        return std::nullopt;
    return FolderAlert{QStringLiteral("This folder is on the computer's own disk, not on a drive."), QString(),
                       kChooseAnotherFolder, kUseAnyway};
}

std::optional<QString> DestinationChecks::destinationNestingMessage(const std::vector<fs::path>& sources,
                                                                    const fs::path& destination)
{
    return nestingMessage(sources, destination, QStringLiteral("destination"));
}

std::optional<QString> DestinationChecks::offsiteNestingMessage(const std::vector<fs::path>& sources,
                                                                const fs::path& offsite)
{
    return nestingMessage(sources, offsite, QStringLiteral("offsite folder"));
}

std::optional<QString> DestinationChecks::destinationRefusal(const std::vector<fs::path>& sources,
                                                             const fs::path& destination,
                                                             const std::vector<QString>& names) const
{
    if (auto nested = destinationNestingMessage(sources, destination))
        return nested;
    const FileCopier copier(m_fileSystem);
    for (std::size_t i = 0; i < sources.size() && i < names.size(); ++i) {
        if (const auto invalid = copier.validatePaths(sources[i], BackupEngine::backupFolder(destination, names[i])))
            return invalid->description();
    }

    // Where the first run writes: its backup folder, else the "Larkfold" folder, else the destination.
    const fs::path backup = BackupEngine::backupFolder(destination, names.empty() ? QString() : names.front());
    for (const fs::path& folder : {backup, backup.parent_path(), destination}) {
        if (!isDirectory(folder))
            continue;
        if (const auto failed = copier.testWrite(folder))
            return QString::fromUtf8(copyerror::kDestinationNotWritable.message)
                + QStringLiteral(" Writing a test file there failed: ") + failed->description() + u'.';
        break;
    }

    if (const auto space = m_volumes.space(destination)) {
        // Nothing copied yet counts: the margin alone must fit.
        if (const auto low = BackupEngine::spaceShortfall(std::int64_t(space->availableBytes), 0)) {
            const auto& details = std::get<BackupError::DiskSpaceLow>(low->value());
            return low->errorDescription()
                + QStringLiteral(" Larkfold keeps at least %1 free on it. ").arg(platform::formatByteCount(details.threshold))
                + low->recoverySuggestion();
        }
    }
    return std::nullopt;
}

std::optional<QString> DestinationChecks::offsiteRefusal(const std::vector<fs::path>& sources,
                                                         const fs::path& destination, const fs::path& offsite)
{
    if (auto nested = offsiteNestingMessage(sources, offsite))
        return nested;
    const fs::path root = backupRoot(destination);
    const fs::path folder = platform::canonicalPath(offsite);
    if (platform::isSameOrBelow(folder, root))
        return QStringLiteral("The offsite folder can't be inside the destination's \"Larkfold\" folder.");
    if (platform::isBelow(root, folder))
        return QStringLiteral("The offsite folder can't hold the destination's \"Larkfold\" folder.");
    return std::nullopt;
}

std::vector<QString> DestinationChecks::newPairNames(const std::vector<fs::path>& sources, const fs::path& destination,
                                                     const std::vector<BackupPair>& existingPairs)
{
    const fs::path root = backupRoot(destination);
    QSet<QString> taken;
    for (const BackupPair& pair : existingPairs) {
        if (backupRoot(pair.destinationURL) == root)
            taken.insert(BackupPair::sanitizedFolderName(pair.name).toCaseFolded());
    }
    std::vector<QString> names;
    for (const fs::path& source : sources) {
        const QString base = BackupPair::sanitizedFolderName(folderName(source));
        QString name = base;
        for (int number = 2; taken.contains(name.toCaseFolded()); ++number)
            name = base + QLatin1Char(' ') + QString::number(number);
        taken.insert(name.toCaseFolded());
        names.push_back(name);
    }
    return names;
}

} // namespace larkfold
