// The source and destination scans of FileCopier.
#include "copy/FileCopier.h"

#include "copy/FileCopierRun.h"
#include "copy/FileNames.h"
#include "copy/PackageTables.h"
#include "platform/TreeWalker.h"

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using platform::EntryType;
using platform::TreeEntry;

constexpr const char* kScanOperation = "scan";

enum class Side { source, destination };

std::vector<UnscannedFolder> unscannedFolders(const fs::path& root, const platform::WalkOutcome& outcome)
{
    std::vector<UnscannedFolder> folders;
    for (const auto& folder : outcome.unreadableFolders) {
        const fs::path url = folder.relativePath.empty() ? root : root / folder.relativePath;
        folders.push_back({folder.relativePath,
                           FileOperationError::posix(folder.errorNumber, url, QString::fromLatin1(kScanOperation))});
    }
    return folders;
}

// Names of the program's own files in a backup folder: the scans never list them.
bool isReservedName(std::string_view name)
{
    return larkfoldMarkerFileNames().contains(name) || hasTemporaryOrResumeName(name);
}

// The folder a walk goes into, as the copy's mode needs it; none when it cannot be looked at.
std::optional<ScannedFolder> scannedFolder(const TreeEntry& entry)
{
    const auto& status = entry.status();
    if (!status || status->type != EntryType::directory)
        return std::nullopt;
    return ScannedFolder{std::string(entry.relativePath()), status->permissions, status->owner, status->group};
}

// The rules both scans share. `list` receives each entry to be listed and whether it is a package;
// `reserved` each source file or folder left out because it carries one of the program's own names;
// `folders` the folders walked into.
template <class Root, class List, class Reserved>
platform::WalkOutcome walkForBackup(const Root& root, const ExclusionFilter& filter, Side side,
                                    const platform::WalkOptions& options, std::vector<ScannedFolder>& folders,
                                    List&& list, Reserved&& reserved)
{
    return platform::TreeWalker::walk(root, [&](const TreeEntry& entry) {
        const EntryType type = entry.type();
        if (type != EntryType::regularFile && type != EntryType::directory)
            return false; // links, FIFOs, sockets, devices, and entries that could not be read
        const std::string_view name = entry.name();
        const bool isDirectory = type == EntryType::directory;
        // In the backup folder such names are the engine's markers and leftovers, skipped with
        // whatever they hold: a temporary folder is an unfinished copy, never part of the backup.
        if (side == Side::destination && isReservedName(name))
            return false;
        if (filter.shouldExclude(name, isDirectory))
            return false;
        // In the source they are the user's, but a copy under such a name would be taken for
        // the engine's own file and skipped or cleared away: left out, and said so.
        if (side == Side::source && isReservedName(name)) {
            reserved(entry);
            return false;
        }
        if (!isDirectory) {
            list(entry, false);
            return false;
        }
        if (isPackageFolder(name, filter.profile())) {
            list(entry, true);
            return false;
        }
        if (auto folder = scannedFolder(entry))
            folders.push_back(std::move(*folder));
        return true;
    }, options);
}

} // namespace

bool liesInUnscannedFolder(const std::vector<UnscannedFolder>& folders, std::string_view relativePath)
{
    for (const UnscannedFolder& folder : folders) {
        const std::string_view folderPath = folder.relativePath;
        if (folderPath.empty() || relativePath == folderPath
            || (relativePath.size() > folderPath.size() && relativePath.starts_with(folderPath)
                && relativePath[folderPath.size()] == '/'))
            return true;
    }
    return false;
}

SourceScan FileCopier::scanSource(const fs::path& source, const ExclusionFilter& filter,
                                  const platform::WalkOptions& options) const
{
    return scanSourceTree(source, filter, options, true);
}

SourceScan scanSourceTree(const fs::path& source, const ExclusionFilter& filter, const platform::WalkOptions& options,
                          bool readStatus)
{
    SourceScan scan;
    scan.root = source;
    const auto outcome = walkForBackup(source, filter, Side::source, options, scan.folders,
                                       [&](const TreeEntry& entry, bool isPackage) {
        SourceEntry listed{std::string(entry.relativePath()), isPackage};
        if (!isPackage && readStatus) {
            const auto& status = entry.status();
            if (!status || status->type != EntryType::regularFile)
                return; // gone or replaced since the listing
            listed.size = status->size;
            listed.modifiedSeconds = status->modifiedSeconds;
            listed.modifiedNanoseconds = status->modifiedNanoseconds;
        }
        scan.entries.push_back(std::move(listed));
    }, [&](const TreeEntry& entry) { scan.reservedNames.emplace_back(entry.relativePath()); });
    scan.unscannedFolders = unscannedFolders(source, outcome);
    scan.ownFolders = outcome.leftOutFolders;
    scan.cancelled = outcome.cancelled;
    return scan;
}

namespace {

template <class Root>
DestinationScan scanBackupFolder(const Root& root, const fs::path& path, const ExclusionFilter& filter,
                                 const platform::CancelToken& cancel)
{
    DestinationScan scan;
    platform::WalkOptions options;
    options.cancel = cancel;
    const auto outcome = walkForBackup(root, filter, Side::destination, options, scan.folders,
                                       [&](const TreeEntry& entry, bool) { scan.relativePaths.emplace_back(entry.relativePath()); },
                                       [](const TreeEntry&) {});
    scan.unscannedFolders = unscannedFolders(path, outcome);
    scan.cancelled = outcome.cancelled;
    return scan;
}

} // namespace

DestinationScan FileCopier::scanDestination(const fs::path& backupFolder, const ExclusionFilter& filter,
                                            const platform::CancelToken& cancel) const
{
    return scanBackupFolder(backupFolder, backupFolder, filter, cancel);
}

DestinationScan FileCopier::scanDestination(const platform::Directory& backupFolder, const ExclusionFilter& filter,
                                            const platform::CancelToken& cancel) const
{
    return scanBackupFolder(backupFolder, backupFolder.path(), filter, cancel);
}

std::string FileCopier::dateFolderName(const QDateTime& date)
{
    // QDate::toString with a format always uses the C locale's digits.
    return date.toLocalTime().date().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}

} // namespace larkfold
