#include "status/Restorer.h"

#include "copy/TemporaryNames.h"
#include "engine/BackupEngine.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Trash.h"
#include "status/RestoreScan.h"

#include <system_error>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using platform::Directory;
using platform::FileStatus;
using platform::FileSystem;
using platform::ModeRule;
using platform::PosixResult;

constexpr std::string_view kTemporaryMarker = ".restore-";
constexpr std::size_t kMaxNameBytes = 255;
// Where the umask cannot be read, no restored item is writable by group or others.
constexpr std::uint32_t kFallbackUmask = 022;
constexpr std::uint32_t kOwnerOnlyFolder = 0700;
constexpr std::uint32_t kDefaultFolder = 0777;

bool isMissing(std::error_code error)
{
    return error == std::errc::no_such_file_or_directory;
}

// "." + name + ".restore-" + 8 hex digits, beside the file's place and hidden. A long name is
// cut at its end so the whole stays a valid name.
std::string temporaryName(std::string_view name)
{
    const std::string suffix = std::string(kTemporaryMarker) + shortUuid();
    return "." + std::string(name.substr(0, kMaxNameBytes - 1 - suffix.size())) + suffix;
}

// Components joined by single "/", none of them empty, "." or "..".
bool isPlainRelativePath(std::string_view path)
{
    if (path.empty())
        return false;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// The folder itself when it exists, otherwise the nearest folder above it that does.
fs::path nearestExistingFolder(const fs::path& folder)
{
    fs::path candidate = platform::standardized(folder);
    std::error_code error;
    while (!fs::is_directory(candidate, error) && candidate.has_relative_path())
        candidate = candidate.parent_path();
    return candidate;
}

// Opens a folder by a path free of links, creating the missing part of it one folder at a time
// below the part that exists, never through a link. With `created`, the folder itself is made
// owner-only, and `created` says whether it was.
PosixResult<Directory> openOrCreateFolder(FileSystem& fileSystem, const fs::path& folder, bool* created = nullptr)
{
    auto opened = fileSystem.openDirectory(folder);
    if (opened || !isMissing(opened.error()) || !folder.has_relative_path())
        return opened;
    auto parent = openOrCreateFolder(fileSystem, folder.parent_path());
    if (!parent)
        return parent.error();
    const fs::path name = folder.filename();
    const auto error = fileSystem.createDirectory(*parent, name, created ? kOwnerOnlyFolder : kDefaultFolder);
    if (error && error != std::errc::file_exists)
        return error;
    if (created)
        *created = !error;
    return fileSystem.openDirectory(*parent, name);
}

bool sizesAgree(const PosixResult<FileStatus>& backup, const PosixResult<FileStatus>& copy)
{
    return backup && copy && backup->isRegular() && copy->isRegular() && backup->size >= 0
        && backup->size == copy->size;
}

class RestoreRun {
public:
    RestoreRun(FileSystem& fileSystem, const platform::Trash& trash, const Directory& backup, const Directory& target,
               ModeRule rule)
        : m_fileSystem(fileSystem), m_trash(trash), m_backup(backup), m_target(target), m_rule(rule)
    {
    }

    bool restore(const std::string& relativePath)
    {
        if (!isPlainRelativePath(relativePath))
            return false;
        const auto backupStatus = m_fileSystem.status(m_backup, relativePath);
        if (!backupStatus || !backupStatus->isRegular())
            return false;
        const fs::path path(relativePath);
        const fs::path name = path.filename();
        // Folders on the way are made and opened one by one without following links, so a link
        // standing for one of them fails the file instead of leading out of the target. Those
        // the user had keep their modes.
        auto parent = m_fileSystem.createMirroredFolders(m_backup, m_target, path.parent_path(), m_rule, false);
        if (!parent)
            return false;
        const auto existing = m_fileSystem.status(*parent, name);
        if (!existing && !isMissing(existing.error()))
            return false;
        // A folder where the backup holds a file may hold anything: it is not replaced.
        if (existing && existing->isDirectory())
            return false;

        auto source = m_fileSystem.openFile(m_backup, relativePath, platform::OpenMode::read);
        if (!source)
            return false;
        const auto sourceStatus = m_fileSystem.status(*source);
        if (!sourceStatus || !sourceStatus->isRegular())
            return false;
        const std::string temporary = temporaryName(name.native());
        if (!m_fileSystem.copyOpenFile(*source, *sourceStatus, *parent, temporary, m_rule)) {
            m_fileSystem.removeItem(*parent, temporary);
            return false;
        }
        if (!sizesAgree(m_fileSystem.status(m_backup, relativePath), m_fileSystem.status(*parent, temporary))) {
            m_fileSystem.removeItem(*parent, temporary);
            return false;
        }
        if (existing && !moveAsideToTrash(*parent, name)) {
            m_fileSystem.removeItem(*parent, temporary);
            return false;
        }
        // Never over anything: whatever appeared meanwhile stays, and so does the verified copy.
        return !m_fileSystem.moveItem(*parent, temporary, *parent, name);
    }

private:
    // What the user had at the name goes to the Trash, so a restore destroys nothing.
    bool moveAsideToTrash(const Directory& parent, const fs::path& name)
    {
        // The Trash takes paths: only while the path still names the folder checked above.
        if (!m_fileSystem.isStillAtPath(parent))
            return false;
        const auto now = m_fileSystem.status(parent, name);
        if (!now)
            return isMissing(now.error());
        if (now->isDirectory())
            return false;
        return m_trash.moveToTrash(parent.path() / name).has_value();
    }

    FileSystem& m_fileSystem;
    const platform::Trash& m_trash;
    const Directory& m_backup;
    const Directory& m_target;
    const ModeRule m_rule;
};

} // namespace

QString restoreMessage(const RestoreOutcome& outcome)
{
    if (outcome.targetUnreachable)
        return QStringLiteral("Error: The drive that holds the original folder is not connected. Nothing was restored.");
    if (outcome.backupFolderIsLink)
        return QStringLiteral("Error: ") + linkedBackupFolderRefusal();
    const auto files = [](int count) { return count == 1 ? QStringLiteral("file") : QStringLiteral("files"); };
    if (outcome.failed == 0)
        return QStringLiteral("%1 %2 restored successfully.").arg(outcome.restored).arg(files(outcome.restored));
    return QStringLiteral("Error: Restored %1 files. %2 %3 failed.")
        .arg(outcome.restored)
        .arg(outcome.failed)
        .arg(files(outcome.failed));
}

Restorer::Restorer(FileSystem& fileSystem, const platform::Trash& trash, const platform::MountSource& mounts)
    : m_fileSystem(fileSystem), m_trash(trash), m_mounts(mounts)
{
}

RestoreOutcome Restorer::run(const RestoreRequest& request, const Progress& progress) const
{
    const int total = int(request.relativePaths.size());
    RestoreOutcome outcome;
    outcome.failed = total;
    if (total == 0)
        return outcome;
    // A source folder the user deleted is made again, but only on its own drive: a drive that is
    // not there leaves an empty mount-point folder on the system disk, which must stay empty.
    if (request.targetMustBeReachable
        && !BackupEngine::isDestinationAvailable(nearestExistingFolder(request.targetFolder), request.targetBookmark,
                                                 m_mounts)) {
        outcome.targetUnreachable = true;
        return outcome;
    }
    // Never through a link at the folder's own name, and only from the very folder that was listed.
    const auto backup = m_fileSystem.openDirectory(request.backupFolder);
    if (!backup) {
        outcome.backupFolderIsLink = backup.error() == std::errc::too_many_symbolic_link_levels;
        return outcome;
    }
    if (platform::FolderIdentity{backup->device(), backup->inode()} != request.backupIdentity)
        return outcome;
    // Read once, now: the user's umask, as a file they make would get it.
    const ModeRule rule{platform::currentUmask().value_or(kFallbackUmask)};
    bool targetCreated = false;
    const auto target = openOrCreateFolder(m_fileSystem, platform::canonicalPath(request.targetFolder), &targetCreated);
    if (!target)
        return outcome;
    // A source folder made again mirrors the backup's folder, as the folders below it do.
    if (targetCreated) {
        if (const auto backupStatus = m_fileSystem.status(*backup))
            m_fileSystem.mirrorFolderMode(*backupStatus, *target, rule);
    }
    RestoreRun run(m_fileSystem, m_trash, *backup, *target, rule);
    for (int index = 0; index < total; ++index) {
        if (run.restore(request.relativePaths[std::size_t(index)]))
            ++outcome.restored;
        if (progress)
            progress(index + 1, total);
    }
    outcome.failed = total - outcome.restored;
    // One flush for the whole run rather than one per file.
    if (outcome.restored > 0)
        m_fileSystem.syncFileSystem(*target);
    return outcome;
}

} // namespace larkfold
