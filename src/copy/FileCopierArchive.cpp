// Archival: backup entries that vanished from the source move into the dated trash folder,
// unless a guard finds that the source looks broken rather than emptied.
#include "copy/FileCopier.h"

#include "copy/CopyErrors.h"
#include "copy/FileCopierRun.h"
#include "copy/TemporaryNames.h"
#include "platform/Clock.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace larkfold {

using platform::Directory;
using std::filesystem::path;

namespace {

const QString kArchiveOperation = QStringLiteral("archive");
const QString kCreateDirectoryOperation = QStringLiteral("createDirectory");

// Fewer vanished files than this are always archived; more only when they are under 90 % of
// the backup's files.
constexpr std::size_t kMinimumGuardLimit = 10;
constexpr double kGuardShare = 0.9;
// A day folder is owner-only until it has its mode.
constexpr std::uint32_t kOwnerOnlyFolder = 0700;

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
}

// Joins `keyOf` of each component of a relative path with "/". `keyOf` gets the component and,
// when it is valid UTF-8, its text (null otherwise).
template <class KeyOf>
std::string keyByComponent(std::string_view relative, KeyOf&& keyOf)
{
    std::string key;
    key.reserve(relative.size());
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string_view::npos)
            end = relative.size();
        const std::string_view component = relative.substr(start, end - start);
        if (start > 0)
            key.push_back('/');
        const std::optional<QString> text = platform::decodeUtf8(component);
        key.append(keyOf(component, text ? &*text : nullptr));
        start = end + 1;
    }
    return key;
}

// A path's form for comparison: canonically equivalent names (precomposed or decomposed) give
// the same key. A component that is not valid UTF-8 stays as its bytes.
std::string comparisonKey(std::string_view relative)
{
    if (isAscii(relative))
        return std::string(relative);
    return keyByComponent(relative, [](std::string_view component, const QString* text) {
        if (isAscii(component) || !text)
            return std::string(component);
        return text->normalized(QString::NormalizationForm_C).toStdString();
    });
}

// A path as a file system that ignores case and drops trailing dots and spaces (FAT, exFAT)
// looks it up: names that such a drive takes for one give the same key.
std::string looseKey(std::string_view relative)
{
    return keyByComponent(relative, [](std::string_view component, const QString* text) {
        if (!text)
            return std::string(component);
        QString name = text->normalized(QString::NormalizationForm_C).toCaseFolded();
        while (name.endsWith(u'.') || name.endsWith(u' '))
            name.chop(1);
        return name.toStdString();
    });
}

// Opens the trash, making it where it is missing, but only on the backup folder's own file system:
// with the drive gone, its path leads to the empty mount point on the system disk, and a move
// there would copy the files off the drive and delete them from it. EXDEV when it is elsewhere.
platform::PosixResult<Directory> openTrashBeside(platform::FileSystem& fileSystem, const path& trash,
                                                 const Directory& backup)
{
    path existing = trash.lexically_normal();
    if (!existing.has_filename())
        existing = existing.parent_path();
    path missing;
    for (;;) {
        const auto status = fileSystem.statusAtPath(existing);
        if (status) {
            if (status->type == platform::FileType::symlink)
                return platform::posixError(ELOOP);
            if (!status->isDirectory())
                return platform::posixError(ENOTDIR);
            if (status->device != backup.device())
                return platform::posixError(EXDEV);
            break;
        }
        if (status.error() != std::errc::no_such_file_or_directory || existing == existing.parent_path())
            return status.error();
        missing = missing.empty() ? existing.filename() : existing.filename() / missing;
        existing = existing.parent_path();
    }
    auto base = fileSystem.openDirectory(existing);
    if (!base || missing.empty())
        return base;
    if (const std::error_code error = fileSystem.createDirectories(*base, missing))
        return error;
    auto opened = fileSystem.openDirectory(*base, missing);
    if (opened && opened->device() != backup.device())
        return platform::posixError(EXDEV);
    return opened;
}

// A day folder holds what every pair of the destination filed that day: it takes the mode of the
// backup folder that files into it, but never opens up what another pair's run closed.
void shareDayFolderMode(platform::FileSystem& fileSystem, const Directory& backup, const Directory& day, bool created)
{
    const auto backupStatus = fileSystem.status(backup);
    const auto dayStatus = fileSystem.status(day);
    if (!backupStatus || !dayStatus)
        return;
    const bool ownerKept = dayStatus->owner == backupStatus->owner && dayStatus->group == backupStatus->group;
    std::uint32_t wanted = platform::mirroredFolderPermissions(backupStatus->permissions, ownerKept);
    if (!created)
        wanted = (wanted & dayStatus->permissions) | kOwnerOnlyFolder;
    if (wanted != dayStatus->permissions)
        fileSystem.setPermissions(day, wanted);
}

bool isAtOrBelow(std::string_view key, std::string_view folderKey)
{
    if (folderKey.empty())
        return true;
    return key.starts_with(folderKey) && (key.size() == folderKey.size() || key[folderKey.size()] == '/');
}

} // namespace

platform::PosixResult<path> FileCopier::setAsideInTrash(const Directory& folder, const std::string& name,
                                                        const path& trash) const
{
    auto root = m_fileSystem.openDirectory(trash.parent_path());
    if (!root)
        return root.error();
    const path day = trash.filename() / dateFolderName(platform::wallClock().now());
    if (const std::error_code error = m_fileSystem.createDirectories(*root, day))
        return error;
    auto dayDir = m_fileSystem.openDirectory(*root, day);
    if (!dayDir)
        return dayDir.error();
    std::string target = name;
    if (m_fileSystem.status(*dayDir, target))
        target = collisionName(target);
    if (const std::error_code error = m_fileSystem.moveItem(folder, name, *dayDir, target))
        return error;
    return trash.parent_path() / day / target;
}

void FileCopier::archiveVanished(Run& run) const
{
    BackupResult& result = run.result;
    if (!m_fileSystem.isStillAtPath(run.sourceDir)) {
        result.errors.push_back(copyError(copyerror::kSourceGoneBeforeArchival, run.source, kArchiveOperation));
        result.abortedDueToVolumeLoss = true;
        return;
    }
    // The drive may have gone since the last tenth-file check: nothing may move off it now.
    if (!m_fileSystem.isStillAtPath(run.backupDir)) {
        result.errors.push_back(copyError(copyerror::kDestinationVolumeLost, run.destination, kArchiveOperation));
        result.abortedDueToVolumeLoss = true;
        return;
    }

    // What lies below an unreadable source folder is unknown, not vanished: it stays.
    std::vector<std::string> unreadableKeys;
    for (const UnscannedFolder& folder : run.scan.unscannedFolders) {
        unreadableKeys.push_back(comparisonKey(folder.relativePath));
        result.errors.push_back(
            FileOperationError::wrapping(folder.error, run.source / folder.relativePath, kArchiveOperation));
    }

    DestinationScan destinationScan = run.destinationScan.get();
    run.backupRelativePaths = std::move(destinationScan.relativePaths);
    run.backupFolders = std::move(destinationScan.folders);
    const std::vector<std::string>& backupPaths = run.backupRelativePaths;

    // A drive unmounted from inside the source leaves its folder empty: its files are out of reach,
    // not deleted. Its part of the backup stays; one of which the backup holds nothing is forgotten.
    std::vector<std::string> unmountedKeys;
    for (std::size_t index = run.unmountedFolders.size(); index-- > 0;) {
        const std::string key = comparisonKey(run.unmountedFolders[index]);
        const bool holdsFiles = destinationScan.cancelled
                             || std::any_of(backupPaths.begin(), backupPaths.end(), [&](const std::string& relative) {
                                    return isAtOrBelow(comparisonKey(relative), key);
                                });
        if (holdsFiles) {
            unmountedKeys.push_back(key);
            continue;
        }
        std::erase(result.sourceMountPoints, result.unmountedFolders[index]);
        result.unmountedFolders.erase(result.unmountedFolders.begin() + std::ptrdiff_t(index));
    }
    // Partial lists tell nothing about what vanished.
    if (run.cancel.isCancelled() || run.scan.cancelled || destinationScan.cancelled)
        return;
    // Most paths are ASCII and are their own key; only the others need a normalised copy.
    std::deque<std::string> normalisedKeys;
    std::unordered_set<std::string_view> sourceKeys;
    sourceKeys.reserve(run.scan.entries.size());
    for (const SourceEntry& entry : run.scan.entries) {
        if (isAscii(entry.relativePath))
            sourceKeys.insert(entry.relativePath);
        else
            sourceKeys.insert(normalisedKeys.emplace_back(comparisonKey(entry.relativePath)));
    }

    std::vector<path> vanished;
    for (const std::string& relative : backupPaths) {
        const std::string ownKey = isAscii(relative) ? std::string() : comparisonKey(relative);
        const std::string_view key = ownKey.empty() ? std::string_view(relative) : std::string_view(ownKey);
        const auto under = [&](const std::string& folder) { return isAtOrBelow(key, folder); };
        if (std::any_of(unreadableKeys.begin(), unreadableKeys.end(), under)
            || std::any_of(unmountedKeys.begin(), unmountedKeys.end(), under))
            continue;
        if (!sourceKeys.contains(key) || run.kindChanged.contains(relative))
            vanished.emplace_back(relative);
    }

    // On a drive that ignores case or trailing dots, a backup file stored under another
    // spelling is what the source's name opens there: the same file, not a vanished one.
    if (!vanished.empty()) {
        std::unordered_map<std::string, std::vector<std::size_t>> sourcesByLooseKey;
        for (std::size_t index = 0; index < run.scan.entries.size(); ++index)
            sourcesByLooseKey[looseKey(run.scan.entries[index].relativePath)].push_back(index);
        std::erase_if(vanished, [&](const path& relative) {
            if (run.kindChanged.contains(relative.native()))
                return false;
            const auto sources = sourcesByLooseKey.find(looseKey(relative.native()));
            if (sources == sourcesByLooseKey.end())
                return false;
            const auto own = m_fileSystem.status(run.backupDir, relative);
            if (!own)
                return false;
            return std::any_of(sources->second.begin(), sources->second.end(), [&](std::size_t index) {
                const auto other = m_fileSystem.status(run.backupDir, run.scan.entries[index].relativePath);
                return other && other->device == own->device && other->inode == own->inode;
            });
        });
    }

    // Folders of the backup that a file of the source replaced (a package among them moves whole
    // as a vanished entry). Whatever no scan lists still fills them once their files are gone.
    std::vector<path> replacedFolders;
    for (const Run::Pending& entry : run.pending) {
        if (!run.kindChanged.contains(entry.relative.native())
            || std::find(vanished.begin(), vanished.end(), entry.relative) != vanished.end())
            continue;
        if (const auto copy = m_fileSystem.status(run.backupDir, entry.relative); copy && copy->isDirectory())
            replacedFolders.push_back(entry.relative);
    }

    const std::size_t sourceCount = run.scan.entries.size();
    const std::size_t backupCount = backupPaths.size();
    if (backupCount == 0 && replacedFolders.empty())
        return;
    // What the user confirmed gone passes the guard; the guard weighs the rest alone.
    std::vector<path> confirmed;
    if (!run.confirmedDeletions.empty()) {
        std::erase_if(vanished, [&](const path& relative) {
            if (!run.confirmedDeletions.contains(relative.native()))
                return false;
            confirmed.push_back(relative);
            return true;
        });
    }
    // The guard keeps those where they are and says how many; only the confirmed ones move.
    const auto holdBack = [&](const CopyErrorText& text, std::size_t count) {
        result.errors.push_back(copyError(text, run.source, kArchiveOperation, QString::number(count)));
        for (const path& relative : vanished)
            result.heldBackDeletions.push_back(relative.native());
        vanished = std::move(confirmed);
        replacedFolders.clear();
    };
    if (sourceCount == 0) {
        if (!vanished.empty() || confirmed.empty())
            holdBack(copyerror::kSourceEmpty, confirmed.empty() ? backupCount : vanished.size());
        else
            vanished = std::move(confirmed);
    } else {
        const auto share = std::size_t(double(backupCount) * kGuardShare);
        const std::size_t limit = std::max(kMinimumGuardLimit, share);
        if (vanished.size() >= limit)
            holdBack(copyerror::kTooManyVanished, vanished.size());
        else
            vanished.insert(vanished.end(), confirmed.begin(), confirmed.end());
    }
    if (vanished.empty() && replacedFolders.empty())
        return;

    // Every file of one run goes into the day the run started, even past midnight.
    const std::string dayName = dateFolderName(run.startTime);
    const path dayFolder = run.trash / dayName;
    // The day folder is made and opened relative to the trash, so a link standing for either
    // cannot send the files out of the destination.
    std::optional<FileOperationError> dayFolderError;
    platform::PosixResult<Directory> day = platform::posixError(ENOENT);
    {
        auto trash = openTrashBeside(m_fileSystem, run.trash, run.backupDir);
        std::error_code error = trash ? m_fileSystem.createDirectory(*trash, dayName, kOwnerOnlyFolder) : trash.error();
        const bool dayCreated = !error;
        if (error == std::errc::file_exists)
            error = {};
        if (!error) {
            day = m_fileSystem.openDirectory(*trash, dayName);
            error = day ? std::error_code() : day.error();
        }
        if (error)
            dayFolderError = FileOperationError::posix(error.value(), dayFolder, kCreateDirectoryOperation);
        else
            shareDayFolderMode(m_fileSystem, run.backupDir, *day, dayCreated);
    }
    // Folders of the day mirror the backup's, so a private folder stays private in the trash.
    path mirroredParent;
    bool parentMirrored = false;

    // Moves one backup entry to its place in the day folder; false (with the error collected) when it stays.
    const auto fileAway = [&](const path& relative) {
        const path backupFile = run.destination / relative;
        if (dayFolderError) {
            result.errors.push_back(FileOperationError::wrapping(*dayFolderError, backupFile, kArchiveOperation));
            return false;
        }
        const path parent = relative.parent_path();
        if (!parent.empty() && !(parentMirrored && parent == mirroredParent)) {
            const auto folder = m_fileSystem.createMirroredFolders(run.backupDir, *day, parent, {}, true);
            if (!folder) {
                parentMirrored = false;
                const auto creation = FileOperationError::posix(folder.error().value(), dayFolder / parent,
                                                                kCreateDirectoryOperation);
                result.errors.push_back(FileOperationError::wrapping(creation, backupFile, kArchiveOperation));
                return false;
            }
            mirroredParent = parent;
            parentMirrored = true;
        }
        path target = relative;
        if (m_fileSystem.status(*day, target))
            target = parent / collisionName(relative.filename().native());
        if (const std::error_code error = m_fileSystem.moveItem(run.backupDir, relative, *day, target)) {
            result.errors.push_back(FileOperationError::posix(error.value(), backupFile, kArchiveOperation));
            return false;
        }
        return true;
    };

    for (const path& relative : vanished) {
        if (run.cancel.isCancelled())
            return;
        if (fileAway(relative))
            ++result.archivedFiles;
    }

    // A replaced folder left with only empty folders is simply removed; one that still holds
    // excluded or unfinished items goes to the trash whole, so the file can take its place.
    for (const path& relative : replacedFolders) {
        if (run.cancel.isCancelled())
            return;
        if (const auto copy = m_fileSystem.status(run.backupDir, relative); !copy || !copy->isDirectory())
            continue;
        if (removeEmptyFolders(m_fileSystem, run.backupDir, relative) == platform::posixError(ENOTEMPTY))
            fileAway(relative);
    }
}

} // namespace larkfold
