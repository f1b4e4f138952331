// Path validation, folder creation and the run checkpoint of FileCopier.
#include "copy/FileCopier.h"

#include "platform/FileSystem.h"
#include "platform/FileSystemKind.h"
#include "platform/Json.h"
#include "platform/Paths.h"

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

// The program's own files in a backup folder go through the file layer: a ".larktmp-" file
// beside the target, never written through a link standing at the name.
bool writeOwnFileInBackupFolder(const fs::path& file, std::string_view bytes)
{
    platform::FileSystem& fileSystem = platform::systemFileSystem();
    const auto folder = fileSystem.openDirectory(file.parent_path());
    return folder && !fileSystem.writeFileAtomically(*folder, file.filename(), bytes);
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

void FileCopier::writeCheckpoint(const fs::path& file, const QDateTime& startTime) const
{
    const platform::Json checkpoint{{"phase", "copying"}, {"startTime", platform::encodeDate(startTime)}};
    writeOwnFileInBackupFolder(file, platform::encodeJsonCompact(checkpoint));
}

void FileCopier::removeCheckpoint(const fs::path& file) const
{
    platform::FileSystem& fileSystem = platform::systemFileSystem();
    if (const auto folder = fileSystem.openDirectory(file.parent_path()))
        fileSystem.removeItem(*folder, file.filename());
}

} // namespace larkfold
