#include "status/Restorer.h"

#include "copy/FileNames.h"
#include "copy/TemporaryNames.h"
#include "engine/BackupEngine.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Trash.h"
#include "platform/Utf8.h"
#include "status/RestoreScan.h"

#include <algorithm>
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
constexpr std::size_t kCompareChunkBytes = 256 * 1024;
// Names tried for keeping a file beside its restored copy: "(before restore)", then " 2", " 3", ...
constexpr int kBeforeRestoreAttempts = 100;
// Reasons the result names; the rest are counted.
constexpr std::size_t kReasonsShown = 3;

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

QString systemWords(std::error_code error)
{
    return QString::fromLocal8Bit(error.message());
}

// Whether two open files hold the same bytes, both read from their starts. A read error is a difference.
bool sameContent(FileSystem& fileSystem, const platform::File& a, const platform::File& b)
{
    std::vector<std::byte> left(kCompareChunkBytes), right(kCompareChunkBytes);
    for (;;) {
        const auto got = fileSystem.read(a, left);
        if (!got)
            return false;
        // The second may hand out its bytes in smaller reads: fill the same length.
        std::size_t filled = 0;
        while (filled < *got) {
            const auto more = fileSystem.read(b, std::span(right).subspan(filled, *got - filled));
            if (!more || *more == 0)
                return false;
            filled += *more;
        }
        if (*got == 0) {
            std::byte extra[1];
            const auto rest = fileSystem.read(b, extra);
            return rest && *rest == 0;
        }
        if (!std::equal(left.begin(), left.begin() + std::ptrdiff_t(*got), right.begin()))
            return false;
    }
}

class RestoreRun {
public:
    RestoreRun(FileSystem& fileSystem, const platform::Trash& trash, const Directory& backup, const Directory& target,
               ModeRule rule, bool fromTrash)
        : m_fileSystem(fileSystem)
        , m_trash(trash)
        , m_backup(backup)
        , m_target(target)
        , m_rule(rule)
        , m_fromTrash(fromTrash)
    {
    }

    // None when the file is in place; otherwise why it is not.
    std::optional<QString> restore(const std::string& sourcePath, const std::string& targetPath)
    {
        if (!isPlainRelativePath(sourcePath) || !isPlainRelativePath(targetPath))
            return QStringLiteral("Its path is not one Larkfold restores.");
        const auto backupStatus = m_fileSystem.status(m_backup, sourcePath);
        if (!backupStatus && isMissing(backupStatus.error()))
            return goneWords();
        if (!backupStatus)
            return QStringLiteral("It cannot be read: %1.").arg(systemWords(backupStatus.error()));
        if (!backupStatus->isRegular())
            return goneWords();
        const fs::path path(targetPath);
        const fs::path name = path.filename();
        // Folders on the way are made and opened one by one without following links, so a link
        // standing for one of them fails the file instead of leading out of the target. Those
        // the user had keep their modes, and new ones mirror the backup's (below the day folder
        // for a file of the trash).
        auto parent = m_fileSystem.createMirroredFolders(sourceRoot(sourcePath, targetPath), m_target,
                                                         path.parent_path(), m_rule, false);
        if (!parent) {
            const auto error = parent.error();
            if (error == std::errc::too_many_symbolic_link_levels || error == std::errc::not_a_directory
                || error == std::errc::file_exists)
                return QStringLiteral("A link or file stands where its folder belongs.");
            return QStringLiteral("Its folder cannot be made: %1.").arg(systemWords(error));
        }
        const auto existing = m_fileSystem.status(*parent, name);
        if (!existing && !isMissing(existing.error()))
            return QStringLiteral("Its place cannot be looked at: %1.").arg(systemWords(existing.error()));
        // A folder where the backup holds a file may hold anything: it is not replaced.
        if (existing && existing->isDirectory())
            return QStringLiteral("A folder of the same name stands at its place.");

        auto source = m_fileSystem.openFile(m_backup, sourcePath, platform::OpenMode::read);
        if (!source)
            return QStringLiteral("It cannot be read: %1.").arg(systemWords(source.error()));
        const auto sourceStatus = m_fileSystem.status(*source);
        if (!sourceStatus || !sourceStatus->isRegular())
            return goneWords();
        // What is there already is the backup's version: nothing to write, nothing to set aside.
        if (existing && existing->isRegular() && existing->size == sourceStatus->size
            && holdsSameContent(sourcePath, *sourceStatus, *parent, name)) {
            leaveTrash(sourcePath, *sourceStatus);
            return std::nullopt;
        }
        const std::string temporary = temporaryName(name.native());
        if (const auto copied = m_fileSystem.copyOpenFile(*source, *sourceStatus, *parent, temporary, m_rule); !copied) {
            m_fileSystem.removeItem(*parent, temporary);
            return QStringLiteral("It could not be copied: %1.").arg(systemWords(copied.error()));
        }
        if (!sizesAgree(m_fileSystem.status(m_backup, sourcePath), m_fileSystem.status(*parent, temporary))
            || (m_fromTrash && !holdsSameContent(sourcePath, *sourceStatus, *parent, temporary))) {
            m_fileSystem.removeItem(*parent, temporary);
            return QStringLiteral("Its copy did not come out the same as the backup's.");
        }
        if (existing) {
            if (auto refusal = moveAside(*parent, name, targetPath)) {
                m_fileSystem.removeItem(*parent, temporary);
                return refusal;
            }
        }
        // Never over anything: whatever appeared meanwhile stays, and so does the verified copy.
        if (const auto error = m_fileSystem.moveItem(*parent, temporary, *parent, name)) {
            return error == std::errc::file_exists
                ? QStringLiteral("Another file came to its place meanwhile and was left alone.")
                : QStringLiteral("Its copy could not be put in place: %1.").arg(systemWords(error));
        }
        leaveTrash(sourcePath, *sourceStatus);
        return std::nullopt;
    }

    std::vector<KeptAside> takeKeptAside() { return std::move(m_keptAside); }

private:
    QString goneWords() const
    {
        return m_fromTrash ? QStringLiteral("It is no longer in the backup trash.")
                           : QStringLiteral("It is no longer in the backup.");
    }

    // The folder whose subfolders the target's folders mirror: the backup itself, or a day folder
    // of the trash when the target path leaves the day out.
    const Directory& sourceRoot(const std::string& sourcePath, const std::string& targetPath)
    {
        if (sourcePath.size() <= targetPath.size() + 1 || !sourcePath.ends_with("/" + targetPath))
            return m_backup;
        const std::string day = sourcePath.substr(0, sourcePath.size() - targetPath.size() - 1);
        if (!m_day || m_dayName != day) {
            m_day.reset();
            if (auto opened = m_fileSystem.openDirectory(m_backup, day)) {
                m_day.emplace(std::move(*opened));
                m_dayName = day;
            }
        }
        return m_day ? *m_day : m_backup;
    }

    // Whether the item at `name` holds the bytes of the very backup file that was opened.
    bool holdsSameContent(const std::string& sourcePath, const FileStatus& sourceStatus, const Directory& parent,
                          const fs::path& name)
    {
        auto source = m_fileSystem.openRegularFile(m_backup, sourcePath, platform::OpenMode::read);
        auto there = m_fileSystem.openRegularFile(parent, name, platform::OpenMode::read);
        if (!source || !there)
            return false;
        const auto reopened = m_fileSystem.status(*source);
        return reopened && reopened->device == sourceStatus.device && reopened->inode == sourceStatus.inode
            && sameContent(m_fileSystem, *source, *there);
    }

    // A file restored out of the trash leaves it once the restored copies are on the disk
    // (removeRestoredOriginals), and only the very file that was copied.
    void leaveTrash(const std::string& sourcePath, const FileStatus& copied)
    {
        if (m_fromTrash)
            m_leavingTrash.push_back({sourcePath, {copied.device, copied.inode}});
    }

public:
    void removeRestoredOriginals()
    {
        for (const auto& [sourcePath, identity] : m_leavingTrash) {
            const auto now = m_fileSystem.status(m_backup, sourcePath);
            if (now && now->isRegular() && platform::FolderIdentity{now->device, now->inode} == identity)
                m_fileSystem.removeFile(m_backup, sourcePath);
        }
        m_leavingTrash.clear();
    }

private:

    // What the user had at the name goes to the Trash, so a restore destroys nothing; where the
    // Trash cannot take it, it stays beside under a "(before restore)" name. None once it is out
    // of the way; otherwise why it could not be moved.
    std::optional<QString> moveAside(const Directory& parent, const fs::path& name, const std::string& targetPath)
    {
        if (moveAsideToTrash(parent, name))
            return std::nullopt;
        std::error_code error;
        for (int attempt = 1; attempt <= kBeforeRestoreAttempts; ++attempt) {
            const std::string kept = beforeRestoreName(name.native(), attempt);
            error = m_fileSystem.moveItem(parent, name, parent, kept);
            if (!error) {
                m_keptAside.push_back({targetPath, kept});
                return std::nullopt;
            }
            if (isMissing(error))
                return std::nullopt; // gone meanwhile: nothing left to keep
            if (error != std::errc::file_exists)
                break;
        }
        return QStringLiteral("The file at its place could neither go to the Trash nor be kept beside it: %1.")
            .arg(systemWords(error));
    }

    bool moveAsideToTrash(const Directory& parent, const fs::path& name)
    {
        // The Trash takes paths: only while the path still names the folder checked above (a
        // path too long to name it at all goes beside).
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
    const bool m_fromTrash;
    std::optional<Directory> m_day;
    std::string m_dayName;
    std::vector<KeptAside> m_keptAside;
    std::vector<std::pair<std::string, platform::FolderIdentity>> m_leavingTrash;
};

} // namespace

QString restoreMessage(const RestoreOutcome& outcome)
{
    if (outcome.targetUnreachable)
        return QStringLiteral("Error: The drive that holds the original folder is not connected. Nothing was restored.");
    if (outcome.backupFolderIsLink)
        return QStringLiteral("Error: ") + linkedBackupFolderRefusal();
    const auto files = [](int count) { return count == 1 ? QStringLiteral("file") : QStringLiteral("files"); };
    QString text = outcome.failed == 0
        ? QStringLiteral("%1 %2 restored successfully.").arg(outcome.restored).arg(files(outcome.restored))
        : QStringLiteral("Error: Restored %1 files. %2 %3 failed.")
              .arg(outcome.restored)
              .arg(outcome.failed)
              .arg(files(outcome.failed));
    if (outcome.keptAside.size() == 1) {
        const KeptAside& kept = outcome.keptAside.front();
        text += QStringLiteral(" The Trash could not take the file that was at %1, so it is kept beside it as “%2”.")
                    .arg(platform::readableText(kept.path), platform::readableText(kept.keptAs));
    } else if (!outcome.keptAside.empty()) {
        text += QStringLiteral(" The Trash could not take the %1 files that were at their places, so each is kept "
                               "beside its restored copy with “(before restore)” in its name.")
                    .arg(outcome.keptAside.size());
    }
    const std::size_t shown = std::min(outcome.failures.size(), kReasonsShown);
    for (std::size_t i = 0; i < shown; ++i)
        text += u'\n' + platform::readableText(outcome.failures[i].path) + QStringLiteral(": ") + outcome.failures[i].reason;
    if (outcome.failures.size() > shown)
        text += QStringLiteral("\n…and %1 more.").arg(outcome.failures.size() - shown);
    return text;
}

std::string beforeRestoreName(std::string_view name, int attempt)
{
    const std::string mark = attempt <= 1 ? std::string(" (before restore)")
                                          : " (before restore " + std::to_string(attempt) + ")";
    std::string_view extension = pathExtension(name);
    // An extension that leaves no room for the mark is kept as part of the name.
    if (!extension.empty() && mark.size() + 1 + extension.size() >= kMaxNameBytes)
        extension = {};
    const std::string_view stem = extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    const std::string tail = extension.empty() ? mark : mark + "." + std::string(extension);
    // Not inside a character: the shortened name stays readable.
    return std::string(cutToFit(stem, kMaxNameBytes - tail.size())) + tail;
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
    const auto targetPath = [&](int index) -> const std::string& {
        return request.targetPaths.empty() ? request.relativePaths[std::size_t(index)]
                                           : request.targetPaths[std::size_t(index)];
    };
    const auto failAll = [&](const QString& reason) {
        for (int index = 0; index < total; ++index)
            outcome.failures.push_back({targetPath(index), reason});
        return outcome;
    };
    if (!request.targetPaths.empty() && request.targetPaths.size() != request.relativePaths.size())
        return failAll(QStringLiteral("Its path is not one Larkfold restores."));
    if (platform::FolderIdentity{backup->device(), backup->inode()} != request.backupIdentity)
        return failAll(QStringLiteral("The backup folder is no longer the one listed: open the window again."));
    // Read once, now: the user's umask, as a file they make would get it.
    const ModeRule rule{platform::currentUmask().value_or(kFallbackUmask)};
    bool targetCreated = false;
    const auto target = openOrCreateFolder(m_fileSystem, platform::canonicalPath(request.targetFolder), &targetCreated);
    if (!target)
        return failAll(QStringLiteral("The folder to restore into cannot be opened: %1.").arg(systemWords(target.error())));
    // A source folder made again mirrors the backup's folder, as the folders below it do.
    if (targetCreated) {
        if (const auto backupStatus = m_fileSystem.status(*backup))
            m_fileSystem.mirrorFolderMode(*backupStatus, *target, rule);
    }
    RestoreRun run(m_fileSystem, m_trash, *backup, *target, rule, request.removeRestoredOriginals);
    for (int index = 0; index < total; ++index) {
        if (auto failure = run.restore(request.relativePaths[std::size_t(index)], targetPath(index)))
            outcome.failures.push_back({targetPath(index), std::move(*failure)});
        else
            ++outcome.restored;
        if (progress)
            progress(index + 1, total);
    }
    outcome.failed = total - outcome.restored;
    outcome.keptAside = run.takeKeptAside();
    // One flush for the whole run rather than one per file, and before anything leaves the trash.
    if (outcome.restored > 0 && !m_fileSystem.syncFileSystem(*target))
        run.removeRestoredOriginals();
    return outcome;
}

} // namespace larkfold
