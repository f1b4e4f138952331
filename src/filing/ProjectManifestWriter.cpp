#include "filing/ProjectManifestWriter.h"

#include "copy/FileOperationError.h"
#include "engine/FileDigester.h"
#include "filing/FilingText.h"
#include "platform/Json.h"
#include "platform/Paths.h"
#include "platform/TreeWalker.h"
#include "platform/Utf8.h"
#include "store/BackupProfile.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using platform::EntryType;
using platform::Json;

// The copy engine's trash folder, which a copy run creates inside the filed copy when it has
// something to set aside.
constexpr std::string_view kCopyTrashFolderName = ".Larkfold-Trash";

std::string parentOf(std::string_view relative)
{
    const std::size_t slash = relative.rfind('/');
    return std::string(slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash));
}

// Everything below `folder`: files, folders and links.
qsizetype itemsBelow(const fs::path& folder)
{
    qsizetype count = 0;
    platform::TreeWalker::walk(folder, [&](const platform::TreeEntry& entry) {
        ++count;
        return entry.type() == EntryType::directory;
    });
    return count;
}

// The SHA-256 of a regular file below `dir`, read without following links; none when it cannot be read.
std::optional<std::string> digestOf(platform::FileSystem& fileSystem, FileDigester& digester,
                                    const platform::PosixResult<platform::Directory>& dir, const std::string& relative)
{
    if (!dir)
        return std::nullopt;
    const auto file = fileSystem.openFile(*dir, relative, platform::OpenMode::read);
    if (!file)
        return std::nullopt;
    const auto status = fileSystem.status(*file);
    if (!status || !status->isRegular())
        return std::nullopt;
    return digester.sha256Hex(*file);
}

} // namespace

ProjectManifestWriter::ProjectManifestWriter(platform::FileSystem& fileSystem) : m_fileSystem(fileSystem) {}

const ExclusionFilter& ProjectManifestWriter::clutterFilter()
{
    static const ExclusionFilter filter = [] {
        NameSet ownNames = larkfoldMarkerFileNames();
        ownNames.emplace(kManifestFileName);
        ownNames.emplace(kCopyTrashFolderName);
        // Patterns apply to files only, so a folder of the project is never left out.
        NameSet clutterFiles{".DS_Store", "Thumbs.db", "desktop.ini", "*.xcuserstate"};
        return ExclusionFilter(std::move(ownNames), std::move(clutterFiles),
                               exclusions(BackupProfile::standard).extensions, BackupProfile::standard);
    }();
    return filter;
}

ProjectManifest ProjectManifestWriter::makeManifest(const fs::path& folder, const QString& name,
                                                    const QDateTime& archivedAt,
                                                    const platform::CancelToken& cancel) const
{
    ProjectManifest manifest{name, archivedAt, {}, {}};
    const ExclusionFilter& filter = clutterFilter();
    std::set<std::string> folders;
    std::set<std::string> holdingSomething;
    const auto leaveOut = [&](const std::string& relative, LeftOutItem::Kind kind, qsizetype count = 0) {
        manifest.leftOut.push_back({relative, kind, count});
        holdingSomething.insert(parentOf(relative));
    };
    platform::WalkOptions options;
    options.cancel = cancel;
    const platform::WalkOutcome walked = platform::TreeWalker::walk(folder, [&](const platform::TreeEntry& entry) {
        const EntryType type = entry.type();
        const std::string relative(entry.relativePath());
        const bool isDirectory = type == EntryType::directory;
        if (isDirectory && entry.name() == kCopyTrashFolderName) {
            leaveOut(relative, LeftOutItem::Kind::trashFolder, itemsBelow(folder / relative));
            return false;
        }
        if (type == EntryType::symlink || type == EntryType::other) {
            leaveOut(relative, type == EntryType::symlink ? LeftOutItem::Kind::link : LeftOutItem::Kind::specialFile);
            return false;
        }
        if (type != EntryType::regularFile && !isDirectory)
            return false; // gone since the listing
        if (filter.shouldExclude(entry.name(), isDirectory))
            return false; // clutter that nobody misses
        holdingSomething.insert(parentOf(relative));
        if (isDirectory) {
            folders.insert(relative);
            return true;
        }
        const auto& status = entry.status();
        if (status && status->type == EntryType::regularFile)
            manifest.files.push_back({relative, status->size});
        return false;
    }, options);

    std::set<std::string> unreadable;
    for (const platform::UnreadableFolder& folderNotRead : walked.unreadableFolders) {
        if (unreadable.insert(folderNotRead.relativePath).second)
            manifest.leftOut.push_back({folderNotRead.relativePath, LeftOutItem::Kind::unreadableFolder, 0});
    }
    if (!walked.cancelled) {
        for (const std::string& relative : folders) {
            if (!holdingSomething.contains(relative) && !unreadable.contains(relative))
                manifest.leftOut.push_back({relative, LeftOutItem::Kind::emptyFolder, 0});
        }
    }
    std::sort(manifest.files.begin(), manifest.files.end(),
              [](const auto& a, const auto& b) { return a.path < b.path; });
    std::sort(manifest.leftOut.begin(), manifest.leftOut.end(),
              [](const auto& a, const auto& b) { return a.path < b.path; });
    return manifest;
}

std::optional<std::string> ProjectManifestWriter::encode(const ProjectManifest& manifest, QString* error)
{
    Json files = Json::array();
    for (const ProjectManifest::Entry& entry : manifest.files) {
        if (!platform::decodeUtf8(entry.path)) {
            if (error)
                *error = QStringLiteral("the name of %1 isn't valid UTF-8 text")
                             .arg(quotedName(QString::fromUtf8(entry.path.data(), qsizetype(entry.path.size()))));
            return std::nullopt;
        }
        files.push_back(Json{{"bytes", entry.bytes}, {"path", entry.path}});
    }
    const Json document{{"archivedAt", platform::encodeDate(manifest.archivedAt)},
                        {"files", std::move(files)},
                        {"name", manifest.name.toStdString()}};
    return platform::encodeJsonPretty(document);
}

std::optional<QString> ProjectManifestWriter::write(const ProjectManifest& manifest, const fs::path& folder) const
{
    QString reason;
    const auto bytes = encode(manifest, &reason);
    if (!bytes)
        return reason;
    const auto dir = m_fileSystem.openDirectory(folder);
    if (!dir)
        return PosixError::fromErrno(dir.error().value()).message;
    if (const std::error_code failure = m_fileSystem.writeFileAtomically(*dir, kManifestFileName, *bytes))
        return PosixError::fromErrno(failure.value()).message;
    return std::nullopt;
}

ProjectCheckResult ProjectManifestWriter::check(const fs::path& folder, const ProjectManifest& manifest,
                                                const fs::path& original, const platform::CancelToken& cancel,
                                                const ProgressCallback& progress) const
{
    const ProjectManifest found = makeManifest(folder, manifest.name, manifest.archivedAt, cancel);
    std::unordered_map<std::string_view, std::int64_t> foundSizes;
    for (const ProjectManifest::Entry& entry : found.files)
        foundSizes.emplace(entry.path, entry.bytes);
    std::unordered_set<std::string_view> listed;
    for (const ProjectManifest::Entry& entry : manifest.files)
        listed.insert(entry.path);

    ProjectCheckResult result;
    result.expectedCount = qsizetype(manifest.files.size());
    std::vector<const ProjectManifest::Entry*> toCompare;
    std::int64_t bytesToCompare = 0;
    for (const ProjectManifest::Entry& entry : manifest.files) {
        const auto it = foundSizes.find(entry.path);
        if (it == foundSizes.end()) {
            result.missing.push_back(entry.path);
        } else if (it->second != entry.bytes) {
            result.wrongSize.push_back(entry.path);
        } else {
            toCompare.push_back(&entry);
            bytesToCompare += entry.bytes;
        }
    }

    // A size says nothing of an edit that kept it: the content of the copy must be the original's.
    const auto copyDir = m_fileSystem.openDirectory(platform::canonicalPath(folder));
    const auto originalDir = m_fileSystem.openDirectory(platform::canonicalPath(original));
    FileDigester digester(m_fileSystem);
    std::int64_t bytesCompared = 0;
    for (const ProjectManifest::Entry* entry : toCompare) {
        if (progress)
            progress(bytesToCompare > 0 ? double(bytesCompared) / double(bytesToCompare) : 0.0,
                     QStringLiteral("Checking ") + pathText(fs::path(entry->path).filename()));
        // A check cut short has not shown the rest to be the same.
        const auto copied = cancel.isCancelled() ? std::nullopt : digestOf(m_fileSystem, digester, copyDir, entry->path);
        const auto now = copied ? digestOf(m_fileSystem, digester, originalDir, entry->path) : std::nullopt;
        if (!copied || !now || *copied != *now)
            result.differentContent.push_back(entry->path);
        bytesCompared += entry->bytes;
    }
    for (const ProjectManifest::Entry& entry : found.files) {
        if (!listed.contains(entry.path))
            result.added.push_back(entry.path);
    }
    for (auto* list : {&result.missing, &result.wrongSize, &result.added, &result.differentContent})
        std::sort(list->begin(), list->end());
    return result;
}

} // namespace larkfold
