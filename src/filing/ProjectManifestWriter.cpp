#include "filing/ProjectManifestWriter.h"

#include "copy/FileOperationError.h"
#include "filing/FilingText.h"
#include "platform/Json.h"
#include "platform/TreeWalker.h"
#include "platform/Utf8.h"
#include "store/BackupProfile.h"

#include <algorithm>
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
    ProjectManifest manifest{name, archivedAt, {}};
    const ExclusionFilter& filter = clutterFilter();
    platform::TreeWalker::walk(folder, [&](const platform::TreeEntry& entry) {
        if (cancel.isCancelled())
            return false;
        const EntryType type = entry.type();
        if (type != EntryType::regularFile && type != EntryType::directory)
            return false; // links and special files
        const bool isDirectory = type == EntryType::directory;
        if (filter.shouldExclude(entry.name(), isDirectory))
            return false;
        if (isDirectory)
            return true;
        const auto& status = entry.status();
        if (status && status->type == EntryType::regularFile)
            manifest.files.push_back({std::string(entry.relativePath()), status->size});
        return false;
    });
    std::sort(manifest.files.begin(), manifest.files.end(),
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
                                                const platform::CancelToken& cancel) const
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
    for (const ProjectManifest::Entry& entry : manifest.files) {
        const auto it = foundSizes.find(entry.path);
        if (it == foundSizes.end())
            result.missing.push_back(entry.path);
        else if (it->second != entry.bytes)
            result.wrongSize.push_back(entry.path);
    }
    for (const ProjectManifest::Entry& entry : found.files) {
        if (!listed.contains(entry.path))
            result.added.push_back(entry.path);
    }
    for (auto* list : {&result.missing, &result.wrongSize, &result.added})
        std::sort(list->begin(), list->end());
    return result;
}

} // namespace larkfold
