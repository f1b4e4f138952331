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
}

RestoreViewModel::~RestoreViewModel()
{
    m_scanCancel.cancel();
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
    emit searchTextChanged();
    emit listChanged();
}

std::vector<RestoreFileItem> RestoreViewModel::selectedItems() const
{
    return m_files->selectedItems();
}

int RestoreViewModel::selectedCount() const
{
    return m_files->selectedCount();
}

int RestoreViewModel::filteredCount() const
{
    return m_filter->rowCount();
}

bool RestoreViewModel::allFilteredSelected() const
{
    return m_filter->allSelected();
}

void RestoreViewModel::setAllFilteredSelected(bool selected)
{
    m_filter->setAllSelected(selected);
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
    platform::startUtilityTask([self = QPointer(this), fileSystem = m_environment.fileSystem,
                                destination = m_pair.destinationURL, name = m_pair.name, scan = m_environment.scan,
                                cancel = m_scanCancel.token()] {
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
        if (cancel.isCancelled())
            return;
        platform::postToMainThread([self, listing = std::move(listing)]() mutable {
            if (self)
                self->finishLoading(std::move(listing));
        });
    });
}

void RestoreViewModel::finishLoading(Listing listing)
{
    m_backupIdentity = listing.folder;
    m_backupFolderRefusal = std::move(listing.refusal);
    m_files->setItems(std::move(listing.items));
    setIsLoading(false);
}

void RestoreViewModel::openInFileManager()
{
    if (m_environment.prompts)
        m_environment.prompts->openFolder(backupFolder());
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
    if (items.empty() || !m_backupIdentity)
        return;
    RestoreRequest request;
    request.relativePaths.reserve(items.size());
    for (const RestoreFileItem& item : items)
        request.relativePaths.push_back(item.relativePath);
    request.backupFolder = backupFolder();
    request.backupIdentity = *m_backupIdentity;
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
