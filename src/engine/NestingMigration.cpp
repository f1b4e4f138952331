#include "engine/NestingMigration.h"

#include "engine/BackupEngine.h"
#include "platform/Bookmark.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"
#include "store/ConfigStore.h"

#include <optional>
#include <set>
#include <string>
#include <system_error>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using platform::Directory;
using platform::FileSystem;
using platform::hashedName;
using platform::privateArg;

constexpr const char* kLarkfoldFolderName = "Larkfold";

// Only a name that is one plain folder name can be joined to a destination: ".." or "a/b" would
// reach above or beside the "Larkfold" folders and move a whole destination.
bool isSingleComponent(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
           && name.find('\0') == std::string::npos;
}

// The folder the bookmark names now, with access begun, when it resolves and may be written into;
// the stored path is used otherwise. Whether the bookmark is stale does not matter here.
std::optional<fs::path> accessBookmarkedDestination(const BackupPair& pair, const platform::Bookmarks& bookmarks)
{
    if (!pair.destinationBookmark)
        return std::nullopt;
    const auto resolution = bookmarks.resolve(*pair.destinationBookmark);
    if (!resolution) {
        qCCritical(lcNestingMigration, "Could not resolve destination bookmark for \"%s\": %s",
                   qUtf8Printable(hashedName(pair.name)), "The bookmarked folder could not be found");
        return std::nullopt;
    }
    if (!bookmarks.startAccessing(resolution->folder, platform::Bookmarks::Access::write))
        return std::nullopt;
    return resolution->folder;
}

// Where every pair backs up now. A pair whose destination is itself ".../Larkfold/Larkfold" owns
// the folder that looks nested for a pair one level up; that folder must stay where it is.
std::set<fs::path> currentBackupFolders(const ConfigStore& configStore)
{
    std::set<fs::path> folders;
    for (const BackupPair& pair : configStore.pairs()) {
        std::error_code error;
        const fs::path destination = fs::weakly_canonical(pair.destinationURL, error);
        folders.insert(BackupEngine::backupFolder(error ? pair.destinationURL : destination, pair.name));
    }
    return folders;
}

class PairRepair {
public:
    PairRepair(FileSystem& fileSystem, const BackupPair& pair, std::string name,
               const std::set<fs::path>& backupFolders)
        : m_fs(fileSystem), m_pair(pair), m_name(std::move(name)), m_backupFolders(backupFolders) {}

    // Steps that fail end the pair's repair with the failure line; moved items stay moved.
    void run(const fs::path& destination)
    {
        std::error_code canonicalError;
        const fs::path folder = fs::canonical(destination, canonicalError);
        if (canonicalError)
            return;
        platform::PosixResult<Directory> opened = m_fs.openDirectory(folder);
        if (!opened)
            return;
        m_destination = std::move(opened.value());
        m_nestedPath = fs::path(kLarkfoldFolderName) / m_name;
        if (m_backupFolders.count(folder / m_nestedPath)) {
            qCInfo(lcNestingMigration, "Skipping \"%s\": its nested folder is another backup's folder",
                   qUtf8Printable(pairHash()));
            return;
        }
        // lstat: a link standing at the nested name, or at the inner folder, is not a nested folder.
        const auto nested = m_fs.status(m_destination, m_nestedPath);
        if (!nested || !nested->isDirectory())
            return;

        qCInfo(lcNestingMigration, "Detected double-nested path for \"%s\": %s", qUtf8Printable(pairHash()),
               qUtf8Printable(privateArg(folder / m_nestedPath)));
        if (const std::error_code error = moveContents())
            qCCritical(lcNestingMigration, "Migration failed for \"%s\": %s", qUtf8Printable(pairHash()),
                       error.message().c_str());
    }

private:
    QString pairHash() const { return hashedName(m_pair.name); }

    std::error_code moveContents()
    {
        const auto target = m_fs.status(m_destination, m_name);
        if (!target && target.error() != std::errc::no_such_file_or_directory)
            return target.error();
        if (!target) {
            if (const std::error_code error = m_fs.createDirectory(m_destination, m_name))
                return error;
        }
        // Opening refuses a link or a file at the target name, so nothing is moved through one.
        platform::PosixResult<Directory> targetDir = m_fs.openDirectory(m_destination, m_name);
        if (!targetDir)
            return targetDir.error();
        platform::PosixResult<Directory> nestedDir = m_fs.openDirectory(m_destination, m_nestedPath);
        if (!nestedDir)
            return nestedDir.error();

        const auto items = m_fs.listDirectory(*nestedDir);
        if (!items)
            return items.error();
        for (const std::string& item : *items) {
            if (m_fs.status(*targetDir, item)) {
                qCInfo(lcNestingMigration, "Skipping %s — already exists at correct location",
                       qUtf8Printable(privateArg(fs::path(item))));
                continue;
            }
            // Never replaces: an item that appeared at the target meanwhile fails the move instead.
            if (const std::error_code error = m_fs.moveItem(*nestedDir, item, *targetDir, item))
                return error;
            qCInfo(lcNestingMigration, "Moved: %s", qUtf8Printable(privateArg(fs::path(item))));
        }

        const auto left = m_fs.listDirectory(*nestedDir);
        if (!left)
            return left.error();
        if (left->empty()) {
            if (const std::error_code error = m_fs.removeEmptyDirectory(m_destination, m_nestedPath))
                return error;
            qCInfo(lcNestingMigration, "Removed empty directory: %s", qUtf8Printable(privateArg(fs::path(m_name))));
        }

        removeInnerFolderWhenEmpty();
        qCInfo(lcNestingMigration, "Migration complete for \"%s\"", qUtf8Printable(pairHash()));
        return {};
    }

    // Another pair's nested folder may still be inside; then it stays, without a message.
    void removeInnerFolderWhenEmpty()
    {
        platform::PosixResult<Directory> inner = m_fs.openDirectory(m_destination, kLarkfoldFolderName);
        if (!inner)
            return;
        const auto contents = m_fs.listDirectory(*inner);
        if (!contents || !contents->empty())
            return;
        if (!m_fs.removeEmptyDirectory(m_destination, kLarkfoldFolderName))
            qCInfo(lcNestingMigration, "Cleaned up empty inner Larkfold directory");
    }

    FileSystem& m_fs;
    const BackupPair& m_pair;
    const std::string m_name;
    const std::set<fs::path>& m_backupFolders;
    Directory m_destination;
    fs::path m_nestedPath;
};

} // namespace

void runNestingMigration(const ConfigStore& configStore)
{
    runNestingMigration(configStore, platform::systemFileSystem(), platform::systemBookmarks());
}

void runNestingMigration(const ConfigStore& configStore, FileSystem& fileSystem,
                         const platform::Bookmarks& bookmarks)
{
    const std::set<fs::path> backupFolders = currentBackupFolders(configStore);
    for (const BackupPair& pair : configStore.pairs()) {
        if (pair.destinationURL.filename() != kLarkfoldFolderName)
            continue;
        // The stored name, as the earlier layout used it, not the sanitized one.
        const std::string name = pair.name.toStdString();
        if (!isSingleComponent(name)) {
            qCWarning(lcNestingMigration, "Skipping \"%s\": its name is not a single folder name",
                      qUtf8Printable(hashedName(pair.name)));
            continue;
        }
        const std::optional<fs::path> accessed = accessBookmarkedDestination(pair, bookmarks);
        PairRepair(fileSystem, pair, name, backupFolders).run(accessed.value_or(pair.destinationURL));
        if (accessed)
            bookmarks.stopAccessing(*accessed);
    }
}

} // namespace larkfold
