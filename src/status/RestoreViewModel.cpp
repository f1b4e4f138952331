#include "status/RestoreViewModel.h"

#include "engine/BackupEngine.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "platform/MountSource.h"
#include "platform/Trash.h"
#include "platform/UtilityTask.h"
#include "status/RestoreFileFilter.h"
#include "status/RestoreFileListModel.h"
#include "status/RestorePrompts.h"
#include "status/RestoreScan.h"

#include <QPointer>

#include <chrono>
#include <unordered_set>
#include <utility>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

// A long restore reports its progress this often, not once per file.
constexpr std::chrono::milliseconds kProgressInterval{100};

} // namespace

RestoreViewModel::RestoreViewModel(BackupPair pair, Environment environment, QObject* parent)
    : QObject(parent)
    , m_pair(std::move(pair))
    , m_environment(std::move(environment))
    , m_files(new RestoreFileListModel(this))
    , m_filter(new RestoreFileFilter(m_files, this))
    , m_trashFiles(new RestoreFileListModel(this))
    , m_trashFilter(new RestoreFileFilter(m_trashFiles, this))
    , m_scanCancel(std::make_unique<platform::CancelSource>())
{
    if (!m_environment.fileSystem)
        m_environment.fileSystem = &platform::systemFileSystem();
    if (!m_environment.trash)
        m_environment.trash = &platform::systemTrash();
    if (!m_environment.mounts)
        m_environment.mounts = &platform::systemMountSource();
    if (!m_environment.scan)
        m_environment.scan = [](const platform::Directory& folder, const platform::CancelToken& cancel) {
            return scanBackup(folder, cancel);
        };
    connect(m_files, &RestoreFileListModel::selectionChanged, this, &RestoreViewModel::listChanged);
    connect(m_trashFiles, &RestoreFileListModel::selectionChanged, this, &RestoreViewModel::listChanged);
}

RestoreViewModel::~RestoreViewModel()
{
    m_scanCancel->cancel();
}

fs::path RestoreViewModel::trashFolder() const
{
    return BackupEngine::trashFolder(m_pair.destinationURL);
}

void RestoreViewModel::setCurrentList(RestoreList list)
{
    if (list == m_currentList)
        return;
    m_currentList = list;
    emit currentListChanged();
    emit listChanged();
}

RestoreFileListModel* RestoreViewModel::currentFiles() const
{
    return m_currentList == RestoreList::trash ? m_trashFiles : m_files;
}

RestoreFileFilter* RestoreViewModel::currentFilteredFiles() const
{
    return m_currentList == RestoreList::trash ? m_trashFilter : m_filter;
}

QString RestoreViewModel::listTitle(RestoreList list) const
{
    return list == RestoreList::trash ? QStringLiteral("Deleted (%1)").arg(m_trashFiles->rowCount())
                                      : QStringLiteral("In Backup (%1)").arg(m_files->rowCount());
}

void RestoreViewModel::setTrashSharedWith(const QStringList& pairNames)
{
    if (pairNames == m_trashSharers)
        return;
    m_trashSharers = pairNames;
    emit trashSharedChanged();
}

std::optional<QString> RestoreViewModel::trashSharedText() const
{
    if (m_trashSharers.isEmpty())
        return std::nullopt;
    QString names = m_trashSharers.constFirst();
    if (m_trashSharers.size() > 1)
        names = QStringList(m_trashSharers.mid(0, m_trashSharers.size() - 1)).join(QStringLiteral(", "))
            + QStringLiteral(" and ") + m_trashSharers.constLast();
    return QStringLiteral("%1 %2 up to the same place, so files deleted from %3 are listed here too.")
        .arg(names, m_trashSharers.size() == 1 ? QStringLiteral("backs") : QStringLiteral("back"),
             m_trashSharers.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

QString RestoreViewModel::emptyTitle() const
{
    return m_currentList == RestoreList::trash ? QStringLiteral("No deleted files kept.")
                                               : QStringLiteral("No backed-up files found.");
}

QString RestoreViewModel::emptyCaption() const
{
    if (m_currentList == RestoreList::trash)
        return QStringLiteral("A file deleted from the source is kept here once the next backup has run.");
    return m_backupFolderRefusal.value_or(QStringLiteral("Run a backup first, then come back here to restore."));
}

fs::path RestoreViewModel::backupFolder() const
{
    return BackupEngine::backupFolder(m_pair.destinationURL, m_pair.name);
}

QString RestoreViewModel::title() const
{
    return QStringLiteral("Restore — ") + m_pair.name;
}

QString RestoreViewModel::accessibleName() const
{
    return QStringLiteral("Restore files from ") + m_pair.name + QStringLiteral(" backup");
}

bool RestoreViewModel::restoreMessageIsError() const
{
    return m_restoreMessage && m_restoreMessage->contains(QStringLiteral("Error"));
}

const QString& RestoreViewModel::searchText() const
{
    return m_filter->searchText();
}

void RestoreViewModel::setSearchText(const QString& text)
{
    if (text == m_filter->searchText())
        return;
    m_filter->setSearchText(text);
    m_trashFilter->setSearchText(text);
    emit searchTextChanged();
    emit listChanged();
}

std::vector<RestoreFileItem> RestoreViewModel::selectedItems() const
{
    return currentFiles()->selectedItems();
}

int RestoreViewModel::selectedCount() const
{
    return currentFiles()->selectedCount();
}

int RestoreViewModel::filteredCount() const
{
    return currentFilteredFiles()->rowCount();
}

bool RestoreViewModel::allFilteredSelected() const
{
    return currentFilteredFiles()->allSelected();
}

void RestoreViewModel::setAllFilteredSelected(bool selected)
{
    currentFilteredFiles()->setAllSelected(selected);
}

QString RestoreViewModel::selectedCountText() const
{
    return QStringLiteral("%1 selected").arg(selectedCount());
}

QString RestoreViewModel::filteredCountText() const
{
    return QStringLiteral("%1 files").arg(filteredCount());
}

bool RestoreViewModel::canRestore() const
{
    return selectedCount() > 0 && !m_restoreInProgress;
}

QString RestoreViewModel::restoreToTooltip() const
{
    return selectedCount() == 0 ? QStringLiteral("Select files to restore")
                                : QStringLiteral("Restore selected files to a custom location");
}

QString RestoreViewModel::restoreToOriginalTooltip() const
{
    return selectedCount() == 0 ? QStringLiteral("Select files to restore")
                                : QStringLiteral("Restore selected files to their original location");
}

QString RestoreViewModel::restoreProgressText() const
{
    return QStringLiteral("Restoring %1 of %2 files…").arg(m_restoreDone).arg(m_restoreTotal);
}

void RestoreViewModel::loadFiles()
{
    platform::requireMainThread("RestoreViewModel::loadFiles");
    // A scan still running lists what is out of date: it stops, and its result is not taken.
    m_scanCancel->cancel();
    m_scanCancel = std::make_unique<platform::CancelSource>();
    const int generation = ++m_scanGeneration;
    platform::startUtilityTask([self = QPointer(this), fileSystem = m_environment.fileSystem,
                                destination = m_pair.destinationURL, name = m_pair.name, scan = m_environment.scan,
                                cancel = m_scanCancel->token(), generation] {
        Listing listing;
        // Opened without following a link at the backup's own folders, and not kept open, so the
        // drive can still be unmounted while the window stays: restores check that they find this
        // very folder again.
        if (const auto folder = openBackupFolder(*fileSystem, destination, name)) {
            listing.folder = platform::FolderIdentity{folder->device(), folder->inode()};
            listing.items = scan(*folder, cancel);
        } else if (folder.error() == std::errc::too_many_symbolic_link_levels) {
            listing.refusal = linkedBackupFolderRefusal();
        }
        if (const auto trash = openBackupTrash(*fileSystem, destination)) {
            listing.trashFolder = platform::FolderIdentity{trash->device(), trash->inode()};
            listing.trashItems = scanTrash(*fileSystem, *trash, cancel);
        }
        if (cancel.isCancelled())
            return;
        platform::postToMainThread([self, generation, listing = std::move(listing)]() mutable {
            if (self && generation == self->m_scanGeneration)
                self->finishLoading(std::move(listing));
        });
    });
}

void RestoreViewModel::rescan()
{
    loadFiles();
}

void RestoreViewModel::followRuns(const BackupEngine& engine)
{
    connect(&engine, &BackupEngine::statusChanged, this, [this, engine = QPointer(&engine)] {
        if (!engine)
            return;
        // Every run ends as completed or as an error; both may have changed the backup and the trash.
        const auto& value = engine->status().value();
        const bool ended = std::holds_alternative<BackupStatus::Completed>(value)
            || std::holds_alternative<BackupStatus::Error>(value);
        if (ended && !m_lastRunEnded)
            rescan();
        m_lastRunEnded = ended;
    });
}

void RestoreViewModel::finishLoading(Listing listing)
{
    m_backupIdentity = listing.folder;
    m_backupFolderRefusal = std::move(listing.refusal);
    m_trashIdentity = listing.trashFolder;
    m_files->updateItems(std::move(listing.items));
    m_trashFiles->updateItems(std::move(listing.trashItems));
    setIsLoading(false);
    emit listChanged();
    if (!m_preselected.empty())
        preselect(std::exchange(m_preselected, {}));
}

void RestoreViewModel::preselect(std::vector<std::string> relativePaths)
{
    if (m_isLoading) {
        m_preselected = std::move(relativePaths);
        return;
    }
    const std::unordered_set<std::string> wanted(relativePaths.begin(), relativePaths.end());
    std::vector<int> rows;
    for (int row = 0; row < int(m_files->items().size()); ++row) {
        if (wanted.contains(m_files->item(row).relativePath))
            rows.push_back(row);
    }
    m_files->setSelected(rows, true);
    setCurrentList(RestoreList::backup);
}

void RestoreViewModel::openInFileManager()
{
    if (m_environment.prompts)
        m_environment.prompts->openFolder(m_currentList == RestoreList::trash ? trashFolder() : backupFolder());
}

void RestoreViewModel::chooseRestoreLocation()
{
    if (!canRestore() || !m_environment.prompts)
        return;
    const auto folder = m_environment.prompts->chooseFolder(QStringLiteral("Restore Here"),
                                                            QStringLiteral("Choose where to restore the selected files"));
    if (folder)
        restoreSelected(*folder);
}

void RestoreViewModel::restoreToOriginal()
{
    startRestore(m_pair.sourceURL, true);
}

void RestoreViewModel::restoreSelected(const fs::path& target)
{
    startRestore(target, false);
}

void RestoreViewModel::startRestore(const fs::path& target, bool toOriginal)
{
    platform::requireMainThread("RestoreViewModel::restoreSelected");
    // The buttons are disabled meanwhile; this keeps a second start from any caller out too.
    if (m_restoreInProgress)
        return;
    const auto items = selectedItems();
    const bool fromTrash = m_currentList == RestoreList::trash;
    const auto& identity = fromTrash ? m_trashIdentity : m_backupIdentity;
    if (items.empty() || !identity)
        return;
    RestoreRequest request;
    request.relativePaths.reserve(items.size());
    for (const RestoreFileItem& item : items) {
        request.relativePaths.push_back(item.listedPath());
        if (fromTrash)
            request.targetPaths.push_back(item.relativePath);
    }
    request.backupFolder = fromTrash ? trashFolder() : backupFolder();
    request.backupIdentity = *identity;
    request.removeRestoredOriginals = fromTrash;
    request.targetFolder = target;
    request.targetMustBeReachable = toOriginal;
    if (toOriginal)
        request.targetBookmark = m_pair.sourceBookmark;

    setRestoreMessage(std::nullopt);
    setRestoreProgress(0, int(items.size()));
    setRestoreInProgress(true);
    const Restorer restorer(*m_environment.fileSystem, *m_environment.trash, *m_environment.mounts);
    platform::startUtilityTask([self = QPointer(this), restorer, request = std::move(request)] {
        auto lastReport = std::chrono::steady_clock::now();
        const auto outcome = restorer.run(request, [&](int done, int total) {
            const auto now = std::chrono::steady_clock::now();
            if (done < total && now - lastReport < kProgressInterval)
                return;
            lastReport = now;
            platform::postToMainThread([self, done, total] {
                if (self)
                    self->setRestoreProgress(done, total);
            });
        });
        platform::postToMainThread([self, outcome] {
            if (self)
                self->finishRestore(outcome);
        });
    });
}

void RestoreViewModel::finishRestore(const RestoreOutcome& outcome)
{
    setRestoreInProgress(false);
    setRestoreMessage(larkfold::restoreMessage(outcome));
    // Restored files left the trash, and the source's watcher backs them up soon.
    rescan();
}

void RestoreViewModel::setIsLoading(bool loading)
{
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    emit isLoadingChanged();
}

void RestoreViewModel::setRestoreInProgress(bool inProgress)
{
    if (inProgress == m_restoreInProgress)
        return;
    m_restoreInProgress = inProgress;
    emit restoreInProgressChanged();
}

void RestoreViewModel::setRestoreMessage(const std::optional<QString>& message)
{
    if (message == m_restoreMessage)
        return;
    m_restoreMessage = message;
    emit restoreMessageChanged();
}

void RestoreViewModel::setRestoreProgress(int done, int total)
{
    if (done == m_restoreDone && total == m_restoreTotal)
        return;
    m_restoreDone = done;
    m_restoreTotal = total;
    emit restoreProgressChanged();
}

} // namespace larkfold
