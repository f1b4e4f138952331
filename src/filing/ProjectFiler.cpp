#include "filing/ProjectFiler.h"

#include "copy/FileOperationError.h"
#include "filing/FilingText.h"
#include "platform/Paths.h"
#include "platform/Reachability.h"
#include "platform/Utf8.h"

#include <QDateTime>

#include <variant>


namespace larkfold {
namespace {

namespace fs = std::filesystem;

// The copy engine's trash folder inside the filed copy; it appears only when a run has something
// to set aside.
constexpr const char* kCopyTrashFolderName = ".Larkfold-Trash";

// Path validation's codes for two folders that are one, or one inside the other.
constexpr int kSameFolderCode = 1100;
constexpr int kSourceInsideDestinationCode = 1102;

// A system message as a sentence of its own.
QString sentence(QString text)
{
    if (!text.endsWith(u'.') && !text.endsWith(u'!') && !text.endsWith(u'?'))
        text += u'.';
    return text;
}

// Whether a folder that stands at the destination can be filed into: it lists, and holds
// hidden entries at most.
bool holdsOnlyHiddenEntries(const fs::path& folder)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
        if (!it->path().filename().native().starts_with('.'))
            return false;
    }
    return !error;
}

} // namespace

ProjectFiler::ProjectFiler(platform::FileSystem& fileSystem, const platform::MountSource& mounts,
                           platform::RunningApplications* applications)
    : m_fileSystem(fileSystem)
    , m_mounts(mounts)
    , m_manifests(fileSystem)
    , m_copier(applications ? FileCopier(fileSystem, *applications) : FileCopier(fileSystem))
{
}

std::optional<QString> ProjectFiler::refusal(const Plan& plan) const
{
    const QString quoted = quotedName(plan.name);
    const QString year = QString::number(plan.year);
    std::error_code error;
    if (!fs::is_directory(plan.source, error))
        return QStringLiteral("Couldn't find ") + quoted + QStringLiteral(" to file. It may have been moved or renamed.");
    if (!isUsableName(plan.name))
        return QStringLiteral("Couldn't file it as ") + quoted
            + QStringLiteral(": a folder's name can't be empty, \".\" or \"..\", or hold \"/\". Nothing was changed.");
    if (plan.destination.filename() != pathFromText(plan.name)
        || plan.destination.parent_path().filename() != pathFromText(year))
        return QStringLiteral("Couldn't file ") + quoted + QStringLiteral(": the folder to create isn't in the year folder for ")
            + year + QStringLiteral(". Nothing was changed.");
    if (!platform::isFolderReachable(plan.archiveRoot(), plan.archiveBookmark, m_mounts))
        return QStringLiteral("Couldn't reach the archive folder. Nothing was changed — check that its drive is "
                              "connected, or choose the archive folder again.");
    if (const auto invalid = m_copier.validatePaths(plan.source, plan.destination)) {
        if (invalid->code() >= kSameFolderCode && invalid->code() <= kSourceInsideDestinationCode)
            return QStringLiteral("The archive folder and ") + quoted
                + QStringLiteral(" lie inside one another, so it can't be filed there. Nothing was changed — choose "
                                 "an archive folder outside the project.");
        return QStringLiteral("Couldn't file ") + quoted + QStringLiteral(" there: ") + sentence(invalid->description())
            + QStringLiteral(" Nothing was changed.");
    }
    const auto status = fs::symlink_status(plan.destination, error);
    if (fs::exists(status) && (fs::is_symlink(status) || !holdsOnlyHiddenEntries(plan.destination)))
        return QStringLiteral("There's already something filed as ") + quoted + QStringLiteral(" in ") + year
            + QStringLiteral(". Nothing was changed — rename one of them first.");
    return std::nullopt;
}

ProjectFiler::Outcome ProjectFiler::file(const Plan& plan, const ProgressCallback& progress,
                                         const platform::CancelToken& cancel) const
{
    if (const auto problem = prepare(plan))
        return stopped(plan, *problem);

    const QString quoted = quotedName(plan.name);
    const ProjectManifest manifest =
        m_manifests.makeManifest(plan.source, plan.name, QDateTime::currentDateTimeUtc(), cancel);
    const BackupOutcome copied = m_copier.backup(plan.source, plan.destination, plan.destination / kCopyTrashFolderName,
                                                 ProjectManifestWriter::clutterFilter(), progress, cancel);
    const auto copyProblem = [&](const FileOperationError& error) {
        return QStringLiteral("Couldn't copy ") + quoted + QStringLiteral(": ") + sentence(error.description())
            + QStringLiteral(" The original has been left alone.");
    };
    if (const auto* error = std::get_if<FileOperationError>(&copied))
        return stopped(plan, copyProblem(*error));
    const BackupResult& result = std::get<BackupResult>(copied);
    // A drive that left mid-copy stops the run as a whole; the run's last error says which.
    if (result.abortedDueToVolumeLoss && !result.errors.empty())
        return stopped(plan, copyProblem(result.errors.back()));

    const std::optional<QString> manifestError = m_manifests.write(manifest, plan.destination);
    Outcome outcome{plan, qsizetype(manifest.files.size()), result.bytesTransferred,
                    m_manifests.check(plan.destination, manifest, plan.source, cancel, progress), {},
                    manifest.leftOut};
    if (!result.errors.empty())
        outcome.problems << fileCount(qsizetype(result.errors.size()))
                + QStringLiteral(" couldn't be copied. The original has been left alone.");
    if (manifestError)
        outcome.problems << QStringLiteral("Copied ") + quoted + QStringLiteral(" into ") + QString::number(plan.year)
                + QStringLiteral(", but couldn't write its manifest: ") + sentence(*manifestError)
                + QStringLiteral(" The original has been left alone.");
    return outcome;
}

std::optional<QString> ProjectFiler::prepare(const Plan& plan) const
{
    if (auto problem = refusal(plan))
        return problem;
    return createDestination(plan);
}

bool ProjectFiler::isUsableName(const QString& name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") && !name.contains(u'/')
        && !name.contains(QChar(u'\0'));
}

ProjectFiler::Outcome ProjectFiler::stopped(const Plan& plan, const QString& problem)
{
    return Outcome{plan, 0, 0, std::nullopt, {problem}, {}};
}

std::optional<QString> ProjectFiler::createDestination(const Plan& plan) const
{
    // Only these two: the archive folder itself must already be there, on its drive.
    for (const fs::path& folder : {plan.destination.parent_path(), plan.destination}) {
        auto parent = m_fileSystem.openDirectory(platform::canonicalPath(folder.parent_path()));
        std::error_code failure = parent ? m_fileSystem.createDirectory(*parent, folder.filename()) : parent.error();
        std::error_code error;
        if (failure == std::errc::file_exists && fs::is_directory(folder, error))
            failure.clear();
        if (failure)
            return QStringLiteral("Couldn't create the folder for ") + QString::number(plan.year) + QStringLiteral(": ")
                + sentence(PosixError::fromErrno(failure.value()).message);
    }
    return std::nullopt;
}

bool ProjectFiler::Outcome::isFiled() const
{
    return problems.isEmpty() && check && check->matches();
}

QString ProjectFiler::Outcome::summary() const
{
    const QString quoted = quotedName(plan.name);
    const QString year = QString::number(plan.year);
    if (!problems.isEmpty())
        return problems.first();
    if (!check)
        return QStringLiteral("Couldn't file ") + quoted + u'.';
    if (!check->matches())
        return QStringLiteral("Copied ") + quoted + QStringLiteral(" into ") + year
            + QStringLiteral(", but the copy doesn't match: ") + check->summary()
            + QStringLiteral(" The original has been left alone.");
    const QString filed = QStringLiteral("Filed ") + quoted + QStringLiteral(" into ") + year + QStringLiteral(". All ")
        + fileCount(filesCopied) + QStringLiteral(" copied and checked");
    if (leftOut.empty())
        return filed + QStringLiteral(" — the original is safe to clear whenever you like.");
    const qsizetype count = qsizetype(leftOut.size());
    return filed + QStringLiteral(", but ") + QString::number(count)
        + (count == 1 ? QStringLiteral(" thing in it wasn't filed") : QStringLiteral(" things in it weren't filed"))
        + QStringLiteral(" — keep the original until you've looked at ") + (count == 1 ? QStringLiteral("it.") : QStringLiteral("them."));
}

QStringList ProjectFiler::Outcome::leftOutLines() const
{
    QStringList lines;
    for (const LeftOutItem& item : leftOut) {
        const QString path = item.path.empty() ? QStringLiteral("The project folder") : platform::readableText(item.path);
        switch (item.kind) {
        case LeftOutItem::Kind::link:
            lines << path + QStringLiteral(" — a link; neither it nor what it points to was filed");
            break;
        case LeftOutItem::Kind::specialFile:
            lines << path + QStringLiteral(" — a special file (a pipe, socket or device)");
            break;
        case LeftOutItem::Kind::emptyFolder:
            lines << path + QStringLiteral(" — an empty folder");
            break;
        case LeftOutItem::Kind::trashFolder:
            lines << path + QStringLiteral(" — a Larkfold trash folder, with ") + QString::number(item.itemCount)
                    + (item.itemCount == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
            break;
        case LeftOutItem::Kind::unreadableFolder:
            lines << path + QStringLiteral(" — a folder that couldn't be read");
            break;
        }
    }
    return lines;
}

} // namespace larkfold
