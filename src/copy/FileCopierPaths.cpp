// Path validation, folder creation, the lock and the run checkpoint of FileCopier.
#include "copy/FileCopier.h"

#include "copy/CopyErrors.h"
#include "platform/FileSystem.h"
#include "platform/FileSystemKind.h"
#include "platform/Json.h"
#include "platform/Paths.h"
#include "store/BackupProfile.h"

#include <QDir>

#include <cerrno>
#include <string_view>
#include <sys/stat.h>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using platform::isBelow;
using platform::standardized;

constexpr const char* kValidatePathOperation = "validatePath";
constexpr const char* kCreateDirectoryOperation = "createDirectory";
constexpr const char* kLockOperation = "lockBackupFolder";
constexpr const char* kTestWriteOperation = "testWrite";
constexpr std::string_view kTestWriteName = "write-test";

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity&) const = default;
};

std::optional<Identity> identityOf(const fs::path& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

// A folder as the checks see it: as given, with links resolved, and by what it and each of its
// existing ancestors are on disk, so a path through a link or a bind mount is recognised.
struct Place {
    fs::path standard;
    fs::path resolved;
    std::optional<Identity> identity;
    std::vector<Identity> ancestors;

    explicit Place(const fs::path& path) : standard(standardized(path)), resolved(platform::canonicalPath(standard))
    {
        identity = identityOf(standard);
        for (const fs::path& start : {standard, resolved}) {
            for (fs::path up = start.parent_path(); ; up = up.parent_path()) {
                if (const auto id = identityOf(up))
                    ancestors.push_back(*id);
                if (up == up.parent_path())
                    break;
            }
        }
    }

    bool sameAs(const Place& other) const
    {
        return standard == other.standard || resolved == other.resolved
            || (identity && identity == other.identity);
    }

    bool inside(const Place& outer) const
    {
        if (isBelow(standard, outer.standard) || isBelow(resolved, outer.resolved))
            return true;
        return outer.identity && std::find(ancestors.begin(), ancestors.end(), *outer.identity) != ancestors.end();
    }

    bool sameOrInside(const Place& outer) const { return sameAs(outer) || inside(outer); }
};

FileOperationError pathError(int code, const char* message, const fs::path& url)
{
    return FileOperationError::larkfold(code, QString::fromUtf8(message), url,
                                        QString::fromLatin1(kValidatePathOperation));
}

} // namespace

const std::vector<fs::path>& FileCopier::protectedDestinations()
{
    static const std::vector<fs::path> paths{
        "/System", "/private/var/db", "/private/var/root", "/usr", "/bin", "/sbin", "/etc", "/dev", "/cores",
        "/Library/Apple", "/Library/Application Support/com.apple", "/Library/Frameworks", "/Library/Extensions",
        "/Library/Keychains", "/Library/LaunchAgents", "/Library/LaunchDaemons", "/Library/StartupItems",
        // Linux's own system folders. Not /run: drives and shares are mounted below it.
        "/boot", "/proc", "/sys", "/lib", "/lib32", "/lib64", "/libx32", "/var/lib"};
    return paths;
}

std::optional<FileOperationError> FileCopier::validatePaths(const fs::path& source, const fs::path& destination) const
{
    const Place s(source);
    const Place d(destination);

    // Ahead of the containment checks, which would call the root "the source's container".
    if (d.sameAs(Place("/")))
        return pathError(1105, "Destination cannot be the root of the filesystem.", destination);
    if (s.sameAs(d))
        return pathError(1100, "Source and destination are the same folder. Choose a different destination.",
                         destination);
    if (d.inside(s))
        return pathError(1101, "Destination is inside the source folder. Choose a different destination.",
                         destination);
    if (s.inside(d))
        return pathError(1102, "Source folder is inside the destination. Choose a different destination.", source);
    for (const fs::path& protectedPath : protectedDestinations()) {
        if (d.sameOrInside(Place(protectedPath)))
            return pathError(1103, "Destination is a protected system folder. Choose a different destination.",
                             destination);
    }
    if (d.sameAs(Place(fs::path(QDir::homePath().toStdString()))))
        return pathError(1104, "Destination cannot be your home folder. Choose a subfolder or external drive.",
                         destination);
    // The kernel's views of itself: their files report sizes that mean nothing and some read without
    // end (/proc/self/pagemap would fill the drive).
    if (const auto pseudo = platform::pseudoFileSystemName(source)) {
        return FileOperationError::larkfold(
            1106,
            QStringLiteral("Source folder is on the system's %1 file system, which holds no files to back up.")
                .arg(QString::fromStdString(*pseudo)),
            source, QString::fromLatin1(kValidatePathOperation));
    }
    return std::nullopt;
}

std::optional<FileOperationError> FileCopier::testWrite(const fs::path& folder) const
{
    const auto failed = [&](const std::error_code& error) {
        return FileOperationError::posix(error.value(), folder, QString::fromLatin1(kTestWriteOperation));
    };
    // A folder chosen through a link is written to where the link leads.
    const auto dir = m_fileSystem.openDirectory(platform::canonicalPath(folder));
    if (!dir)
        return failed(dir.error());
    // A temporary name: a run's clean-up removes it should the removal below not happen.
    const std::string name = platform::temporaryNameFor(kTestWriteName);
    const auto file = m_fileSystem.openFile(*dir, name, platform::OpenMode::createNew, 0600);
    if (!file)
        return failed(file.error());
    std::error_code error = m_fileSystem.writeAll(*file, std::string_view("x"));
    if (!error)
        error = m_fileSystem.syncFile(*file);
    const std::error_code removed = m_fileSystem.removeFile(*dir, name);
    if (error)
        return failed(error);
    if (removed)
        return failed(removed);
    return std::nullopt;
}

std::optional<FileOperationError> FileCopier::ensureDirectory(const fs::path& folder) const
{
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0)
        return std::nullopt;

    // Create from the first missing ancestor down.
    std::vector<fs::path> missing;
    for (fs::path up = standardized(folder); ::stat(up.c_str(), &st) != 0; up = up.parent_path()) {
        missing.push_back(up);
        if (up == up.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) == 0)
            continue;
        const int failure = errno;
        // Another process may have made it meanwhile.
        if (failure == EEXIST && ::stat(it->c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        return FileOperationError::posix(failure, folder, QString::fromLatin1(kCreateDirectoryOperation));
    }
    return std::nullopt;
}

bool FileCopier::writeCheckpoint(const platform::Directory& backup, const QDateTime& startTime) const
{
    const std::string name(kCheckpointFileName);
    // Written over nothing but a file of its own kind: a link or a FIFO there is not ours to replace.
    if (m_fileSystem.holdsOtherThanRegularFile(backup, name))
        return false;
    const platform::Json checkpoint{{"phase", "copying"}, {"startTime", platform::encodeDate(startTime)}};
    return !m_fileSystem.writeFileAtomically(backup, name, platform::encodeJsonCompact(checkpoint));
}

void FileCopier::removeCheckpoint(const platform::Directory& backup) const
{
    // Only a file of its kind: a folder that took its place is left with all it holds, a link or FIFO as it is.
    const std::string name(kCheckpointFileName);
    if (!m_fileSystem.holdsOtherThanRegularFile(backup, name))
        m_fileSystem.removeFile(backup, name);
}

std::optional<FileOperationError> FileCopier::lockBackupFolder(const platform::Directory& folder,
                                                               const fs::path& trash, platform::File& lock,
                                                               std::vector<std::string>& setAside) const
{
    using platform::OpenMode;
    const std::string name(kLockFileName);
    const fs::path url = folder.path() / name;
    // Opened for writing where it may be: on NFS an exclusive lock needs it. Another account's
    // lock file it may only read still locks locally.
    const auto openExisting = [&] {
        auto file = m_fileSystem.openRegularFile(folder, name, OpenMode::append);
        if (!file && file.error() == std::errc::permission_denied)
            file = m_fileSystem.openRegularFile(folder, name, OpenMode::read);
        return file;
    };
    const auto open = [&] {
        auto file = openExisting();
        // Readable by all (as the umask allows), so a run of another account sharing the folder can lock it too.
        if (!file && file.error() == std::errc::no_such_file_or_directory)
            file = m_fileSystem.openRegularFile(folder, name, OpenMode::createNew);
        // Another run made it meanwhile.
        if (!file && file.error() == std::errc::file_exists)
            file = openExisting();
        return file;
    };
    auto file = open();
    if (!file && platform::FileSystem::isNotRegularFile(file.error())) {
        if (!setAsideInTrash(folder, name, trash))
            return copyError(copyerror::kLockFileNotOurs, url, QString::fromLatin1(kLockOperation));
        setAside.push_back(name);
        file = open();
    }
    if (!file)
        return FileOperationError::posix(file.error().value(), url, QString::fromLatin1(kLockOperation));
    const std::error_code error = m_fileSystem.lockExclusively(*file);
    if (error == std::errc::operation_would_block)
        return copyError(copyerror::kBackupFolderBusy, folder.path(), QString::fromLatin1(kLockOperation));
    // A file system that keeps no locks (some network shares): the run cannot be guarded there.
    if (error)
        return std::nullopt;
    lock = std::move(*file);
    return std::nullopt;
}

} // namespace larkfold
