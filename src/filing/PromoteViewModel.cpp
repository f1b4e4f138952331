#include "filing/PromoteViewModel.h"

#include "filing/FilingText.h"
#include "platform/Bookmark.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/Trash.h"

#include <QPointer>

#include <memory>
#include <mutex>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr int kFirstTypedYear = 1990;
constexpr int kLastTypedYear = 2100;

// The latest progress report of a filing. The copying thread posts one call to the main thread at
// a time; reports that come in meanwhile only replace the values it will read, so a copy of many
// small files cannot flood the event queue.
struct ProgressMailbox {
    std::mutex mutex;
    double fraction = 0.0;
    QString label;
    bool callPending = false;
};

} // namespace

PromoteViewModel::PromoteViewModel(QDate today, QObject* parent)
    : PromoteViewModel(today, ProjectFiler(), platform::systemTrash(), platform::systemBookmarks(), parent)
{
}

PromoteViewModel::PromoteViewModel(QDate today, ProjectFiler filer, const platform::Trash& trash,
                                   const platform::Bookmarks& bookmarks, QObject* parent)
    : QObject(parent)
    , m_today(today)
    , m_filer(std::move(filer))
    , m_slimmer(BackupProfile::film, trash)
    , m_bookmarks(bookmarks)
    , m_year(today.year())
{
}

PromoteViewModel::~PromoteViewModel() = default; // the worker is asked to stop and joined

void PromoteViewModel::setArchiveRoot(const fs::path& folder)
{
    if (m_archiveRoot == folder)
        return;
    QString error;
    m_archiveBookmark = m_bookmarks.create(folder, &error);
    if (!m_archiveBookmark)
        qCCritical(lcBookmark, "Could not create archive bookmark for %s: %s",
                   qUtf8Printable(platform::privateArg(folder)), qUtf8Printable(error));
    m_archiveRoot = folder;
    emit archiveRootChanged();
}

void PromoteViewModel::setYear(int year)
{
    if (m_year == year)
        return;
    m_year = year;
    emit yearChanged();
}

void PromoteViewModel::setName(const QString& name)
{
    if (m_name == name)
        return;
    m_name = name;
    emit nameChanged();
}

void PromoteViewModel::setRemoveRebuildable(bool remove)
{
    if (m_removeRebuildable == remove)
        return;
    m_removeRebuildable = remove;
    emit removeRebuildableChanged();
}

void PromoteViewModel::choose(const fs::path& project)
{
    platform::requireMainThread("PromoteViewModel::choose");
    if (isFiling())
        return;
    setProject(project);
    ProjectInspection inspection = m_inspector.inspect(project);
    const QString tidied = inspection.tidiedName;
    const int year = inspection.suggestedYear.value_or(m_today.year());
    setInspection(std::move(inspection));
    setName(tidied);
    setYear(year);
    setRebuildable(m_slimmer.scan(project));
    setRemoveRebuildable(false);
    setStep(Step::review);
}

bool PromoteViewModel::canFile() const
{
    return m_project && m_archiveRoot && ProjectFiler::isUsableName(trimmedSpacesAndTabs(m_name));
}

QString PromoteViewModel::destinationPath() const
{
    if (!m_archiveRoot)
        return {};
    QString root = pathText(*m_archiveRoot);
    if (!root.endsWith(u'/'))
        root += u'/';
    return root + QString::number(m_year) + u'/' + m_name;
}

void PromoteViewModel::file()
{
    platform::requireMainThread("PromoteViewModel::file");
    if (!m_project || !canFile() || isFiling())
        return;
    setStep(Step::filing);
    setProgress(0.0);
    setProgressLabel({});
    std::vector<ProjectSlimmer::Finding> toTrash;
    if (m_removeRebuildable && m_rebuildable) {
        setProgressLabel(QStringLiteral("Tidying up files your apps can rebuild…"));
        toTrash = m_rebuildable->items;
    }
    const QString name = trimmedSpacesAndTabs(m_name);
    const ProjectFiler::Plan plan{*m_project, *m_archiveRoot / std::to_string(m_year) / pathFromText(name), m_year,
                                  name, m_archiveBookmark};

    const std::uint64_t run = ++m_run;
    const QPointer<PromoteViewModel> self(this);
    auto mailbox = std::make_shared<ProgressMailbox>();
    const auto progress = [self, run, mailbox](double fraction, const QString& label) {
        {
            const std::lock_guard lock(mailbox->mutex);
            mailbox->fraction = fraction;
            mailbox->label = label;
            if (std::exchange(mailbox->callPending, true))
                return;
        }
        platform::postToMainThread([self, run, mailbox] {
            double latestFraction = 0.0;
            QString latestLabel;
            {
                const std::lock_guard lock(mailbox->mutex);
                latestFraction = mailbox->fraction;
                latestLabel = mailbox->label;
                mailbox->callPending = false;
            }
            if (self)
                self->applyProgress(run, latestFraction, latestLabel);
        });
    };
    // Joins the previous worker, which has already handed back its outcome.
    m_worker = std::jthread([filer = m_filer, slimmer = m_slimmer, plan, toTrash = std::move(toTrash), progress, self,
                             run](std::stop_token stop) {
        const platform::CancelToken cancel(std::move(stop));
        ProjectFiler::Outcome outcome = [&] {
            // Nothing goes to the Trash before filing can no longer fail for its folders: they are made first.
            if (const auto problem = filer.prepare(plan))
                return ProjectFiler::stopped(plan, *problem);
            // Its failures do not stop the filing: a folder that stayed is copied with the rest.
            slimmer.trash(toTrash);
            return filer.file(plan, progress, cancel);
        }();
        platform::postToMainThread([self, run, outcome = std::move(outcome)] {
            if (self)
                self->finishFiling(run, outcome);
        });
    });
}

void PromoteViewModel::reset()
{
    platform::requireMainThread("PromoteViewModel::reset");
    if (isFiling())
        return;
    setStep(Step::choose);
    setProject(std::nullopt);
    setInspection(std::nullopt);
    setRebuildable(std::nullopt);
    setOutcome(std::nullopt);
    setName({});
    setRemoveRebuildable(false);
    setProgress(0.0);
    setProgressLabel({});
    setYear(m_today.year());
}

std::optional<int> PromoteViewModel::yearFromText(const QString& text)
{
    bool converted = false;
    const int year = text.trimmed().toInt(&converted);
    if (!converted || year < kFirstTypedYear || year > kLastTypedYear)
        return std::nullopt;
    return year;
}

void PromoteViewModel::applyProgress(std::uint64_t run, double fraction, const QString& label)
{
    if (run != m_run || !isFiling())
        return;
    setProgress(fraction);
    setProgressLabel(label);
}

void PromoteViewModel::finishFiling(std::uint64_t run, const ProjectFiler::Outcome& outcome)
{
    if (run != m_run)
        return;
    setOutcome(outcome);
    setProgress(1.0);
    setStep(Step::finished);
}

void PromoteViewModel::setStep(Step step)
{
    if (m_step == step)
        return;
    m_step = step;
    emit stepChanged();
}

void PromoteViewModel::setProject(std::optional<fs::path> project)
{
    if (m_project == project)
        return;
    m_project = std::move(project);
    emit projectChanged();
}

void PromoteViewModel::setInspection(std::optional<ProjectInspection> inspection)
{
    if (m_inspection == inspection)
        return;
    m_inspection = std::move(inspection);
    emit inspectionChanged();
}

void PromoteViewModel::setRebuildable(std::optional<ProjectSlimmer::Report> report)
{
    if (m_rebuildable == report)
        return;
    m_rebuildable = std::move(report);
    emit rebuildableChanged();
}

void PromoteViewModel::setOutcome(std::optional<ProjectFiler::Outcome> outcome)
{
    m_outcome = std::move(outcome);
    emit outcomeChanged();
}

void PromoteViewModel::setProgress(double progress)
{
    if (m_progress == progress)
        return;
    m_progress = progress;
    emit progressChanged();
}

void PromoteViewModel::setProgressLabel(const QString& label)
{
    if (m_progressLabel == label)
        return;
    m_progressLabel = label;
    emit progressLabelChanged();
}

} // namespace larkfold
