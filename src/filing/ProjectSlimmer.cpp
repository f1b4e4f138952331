#include "filing/ProjectSlimmer.h"

#include "copy/ExclusionFilter.h"
#include "copy/FileOperationError.h"
#include "filing/FilingText.h"
#include "filing/ProjectInspector.h"
#include "platform/ByteCount.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/TreeWalker.h"

#include <algorithm>
#include <cerrno>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using platform::EntryType;

// Caches that editing apps write next to a project and fill again by themselves. Auto-save folders
// are not among them: they may hold the only copy of recent work.
const NameSet& rebuildableCacheFolders()
{
    static const NameSet names{"Render Files",     "Audio Render Files", "Optimized Media",
                               "Proxy Media",      "Transcoded Media",   "Common Cache Files",
                               "Adobe Premiere Pro Preview Files",       "Media Cache",
                               "Media Cache Files", "CacheClip",          "Optimized Clips"};
    return names;
}

// The backup trash of a folder that is also a backup destination: never entered.
constexpr std::string_view kBackupTrashFolderName = ".Larkfold-Trash";

QString bytesText(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// The project folder a finding belongs to: its url without the relative path.
fs::path projectOf(const ProjectSlimmer::Finding& finding)
{
    fs::path project = finding.url;
    for (const auto& component : fs::path(finding.relativePath)) {
        if (!component.empty())
            project = project.parent_path();
    }
    return project;
}

// The bytes of the regular files below `folder` on `device`; a folder of another device is not
// entered and sets `crossed`.
std::int64_t sizeOnDevice(platform::FileSystem& fileSystem, const fs::path& folder, std::uint64_t device,
                          bool& crossed)
{
    std::int64_t total = 0;
    platform::TreeWalker::walk(folder, [&](const platform::TreeEntry& entry) {
        if (entry.type() == EntryType::directory) {
            const auto status = fileSystem.statusAtPath(folder / entry.relativePath());
            if (status && status->device == device)
                return true;
            crossed = true;
            return false;
        }
        if (entry.type() == EntryType::regularFile) {
            if (const auto& status = entry.status(); status && status->type == EntryType::regularFile)
                total += status->size;
        }
        return false;
    });
    return total;
}

} // namespace

ProjectSlimmer::ProjectSlimmer(BackupProfile profile, const platform::Trash& trash, platform::FileSystem& fileSystem,
                               const platform::MountSource& mounts)
    : m_profile(profile), m_trash(trash), m_fileSystem(fileSystem), m_mounts(mounts)
{
    const ExclusionFilter filter = ExclusionFilter::forProfile(profile);
    for (const std::string& name : filter.excludedNames()) {
        if (rebuildableCacheFolders().contains(name))
            m_names.insert(name);
    }
}

ProjectSlimmer::Report ProjectSlimmer::scan(const fs::path& project) const
{
    Report report;
    const fs::path root = platform::standardized(project);
    const fs::path resolvedRoot = platform::canonicalPath(root);
    const auto rootStatus = m_fileSystem.statusAtPath(resolvedRoot);
    if (!rootStatus)
        return report;
    const std::uint64_t device = rootStatus->device;
    std::vector<fs::path> mountPoints;
    for (const platform::MountEntry& mount : m_mounts.mounts()) {
        if (platform::isBelow(mount.mountPoint, resolvedRoot))
            mountPoints.emplace_back(mount.mountPoint);
    }
    platform::TreeWalker::walk(resolvedRoot, [&](const platform::TreeEntry& entry) {
        // Only real folders: a link is never entered, nor taken for a finding.
        if (entry.type() != EntryType::directory)
            return false;
        const std::string_view relative = entry.relativePath();
        // Another file system, or one mounted over a folder of this one: not the project's to tidy.
        const fs::path at = resolvedRoot / relative;
        const auto status = m_fileSystem.statusAtPath(at);
        if (!status || status->device != device || std::find(mountPoints.begin(), mountPoints.end(), at) != mountPoints.end())
            return false;
        if (relative.size() == entry.name().size()) // the project's own top level
            return entry.name() == kProjectFilesFolder;
        if (entry.name() == kBackupTrashFolderName)
            return false;
        if (!m_names.contains(entry.name()))
            return true;
        const bool holdsMount = std::any_of(mountPoints.begin(), mountPoints.end(),
                                            [&](const fs::path& point) { return platform::isBelow(point, at); });
        bool crossed = false;
        const std::int64_t bytes = holdsMount ? 0 : sizeOnDevice(m_fileSystem, at, device, crossed);
        if (!holdsMount && !crossed)
            report.items.push_back({root / relative, std::string(relative), bytesText(entry.name()), bytes});
        return false;
    });
    std::sort(report.items.begin(), report.items.end(),
              [](const Finding& a, const Finding& b) { return a.relativePath < b.relativePath; });
    return report;
}

std::int64_t ProjectSlimmer::size(const fs::path& folder)
{
    platform::FileSystem& fileSystem = platform::systemFileSystem();
    const auto status = fileSystem.statusAtPath(platform::canonicalPath(folder));
    bool crossed = false;
    return status ? sizeOnDevice(fileSystem, folder, status->device, crossed) : 0;
}

bool ProjectSlimmer::staysOn(const fs::path& folder, std::uint64_t device) const
{
    const fs::path resolved = platform::canonicalPath(folder);
    const auto status = m_fileSystem.statusAtPath(resolved);
    if (!status || status->device != device)
        return false;
    const auto mounts = m_mounts.mounts();
    return std::none_of(mounts.begin(), mounts.end(), [&](const platform::MountEntry& mount) {
        return platform::isSameOrBelow(mount.mountPoint, resolved);
    });
}

ProjectSlimmer::TrashResult ProjectSlimmer::trash(const std::vector<Finding>& findings) const
{
    TrashResult result;
    for (const Finding& finding : findings) {
        const QString relativeText = bytesText(finding.relativePath);
        const auto fail = [&](const QString& reason) {
            result.failures << relativeText + QStringLiteral(": ") + reason;
            qCCritical(lcIntegrityVerifier, "Could not trash rebuildable folder %s: %s",
                       qUtf8Printable(platform::privateArg(finding.url)), qUtf8Printable(reason));
        };
        // Looked up from the project folder without following links, so a folder that a link
        // has taken the place of, on the way or at its name, is never what goes.
        const auto project = m_fileSystem.openDirectory(projectOf(finding));
        const auto status = project ? m_fileSystem.status(*project, finding.relativePath)
                                    : platform::PosixResult<platform::FileStatus>(project.error());
        const int statusError = status ? 0 : status.error().value();
        if (statusError == ENOENT)
            continue;
        if (statusError == ELOOP || statusError == ENOTDIR || (status && !status->isDirectory())) {
            fail(QStringLiteral("It is no longer a folder inside the project, so it was left where it is."));
            continue;
        }
        if (statusError) {
            fail(PosixError::fromErrno(statusError).message);
            continue;
        }
        // A drive mounted in it since the scan would go to the Trash with it.
        if (const auto projectStatus = m_fileSystem.status(*project, {});
            !projectStatus || !staysOn(finding.url, projectStatus->device)) {
            fail(QStringLiteral("It holds another file system, or is one, so it was left where it is."));
            continue;
        }
        QString error;
        if (!m_trash.moveToTrash(finding.url, &error)) {
            fail(error);
            continue;
        }
        ++result.trashed;
        result.freedBytes += finding.bytes;
    }
    return result;
}

QString ProjectSlimmer::Report::summary() const
{
    if (items.empty())
        return QStringLiteral("Nothing to tidy up — this project has no rebuildable files.");
    const QString folders = items.size() == 1 ? QStringLiteral("folder") : QStringLiteral("folders");
    return platform::formatByteCount(totalBytes()) + QStringLiteral(" in %1 %2").arg(items.size()).arg(folders)
        + QStringLiteral(" your editing apps rebuild on their own. Removing it won't affect your footage or finished videos.");
}

std::int64_t ProjectSlimmer::Report::totalBytes() const
{
    std::int64_t total = 0;
    for (const Finding& item : items)
        total += item.bytes;
    return total;
}

} // namespace larkfold
