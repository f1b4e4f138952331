#include "status/PairActions.h"

#include "copy/ProfileRecommender.h"
#include "engine/BackupEngine.h"
#include "platform/Bookmark.h"
#include "platform/Drives.h"
#include "platform/FileManager.h"
#include "platform/MainThread.h"
#include "platform/UtilityTask.h"
#include "setup/DestinationChecks.h"
#include "shell/AppNotifications.h"
#include "shell/StatusManager.h"
#include "status/PairActionPrompts.h"
#include "store/ConfigStore.h"

#include <QPointer>
#include <QTimer>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

} // namespace

PairActions::PairActions(StatusManager& statusManager, PairActionPrompts& prompts,
                         const platform::FileManager& fileManager, std::function<void()> closePopover, QObject* parent)
    : QObject(parent), m_statusManager(statusManager), m_prompts(prompts), m_fileManager(fileManager),
      m_closePopover(std::move(closePopover))
{
}

std::optional<BackupPair> PairActions::storedPair(const QUuid& id) const
{
    for (const BackupPair& pair : m_statusManager.configStore().pairs()) {
        if (pair.id == id)
            return pair;
    }
    return std::nullopt;
}

void PairActions::backUpNow(const QUuid& id)
{
    const auto pair = storedPair(id);
    BackupEngine* engine = m_statusManager.engine(id);
    if (!pair || m_statusManager.isPaused(*pair) || !engine)
        return;
    engine->debouncer().cancel();
    engine->triggerBackup(*pair);
}

void PairActions::togglePause(const QUuid& id)
{
    auto pair = storedPair(id);
    if (!pair)
        return;
    // With an engine the coordinator decides, as it knows the pairs "Pause All" holds.
    if (m_statusManager.engine(id)) {
        m_statusManager.togglePause(id);
        return;
    }
    pair->isEnabled = !pair->isEnabled;
    m_statusManager.configStore().updatePair(*pair);
}

void PairActions::changeDestination(const QUuid& id)
{
    if (!storedPair(id))
        return;
    if (m_closePopover)
        m_closePopover();
    // The panel opens once the click that asked has ended and the popover is gone.
    const QPointer<PairActions> self(this);
    QTimer::singleShot(0, this, [self, id] {
        if (self)
            self->chooseDestination(id);
    });
}

void PairActions::chooseDestination(const QUuid& id)
{
    const auto pair = storedPair(id);
    if (!pair)
        return;
    FolderPanel panel;
    panel.prompt = QStringLiteral("Choose Destination");
    panel.message = QStringLiteral("Choose where \"%1\" should be backed up to").arg(pair->name);
    panel.startingFolder = platform::drivesFolder();
    panel.canCreateDirectories = true;
    const std::vector<fs::path> chosen = m_prompts.chooseFolders(panel);
    if (chosen.empty() || chosen.front().empty())
        return;
    const fs::path folder = chosen.front();

    const DestinationChecks checks = DestinationChecks::of(m_statusManager);
    for (const FolderAlert& alert : checks.destinationAlerts(folder)) {
        if (!m_prompts.confirm(alert))
            return;
    }
    // The answers took a while: the pair may have gone meanwhile.
    const auto current = storedPair(id);
    if (!current)
        return;
    // Nested with the source, or a folder no backup can work in: said now, not by the first run.
    if (const auto refusal = checks.destinationRefusal({current->sourceURL}, folder, {current->name})) {
        m_prompts.tell(*refusal);
        return;
    }
    const StatusManager::RelinkResult result = m_statusManager.relinkPair(id, folder);
    if (!result.accepted)
        m_prompts.tell(result.reason);
}

void PairActions::reveal(const QUuid& id)
{
    if (const auto pair = storedPair(id))
        m_fileManager.showFolder(pair->sourceURL);
}

void PairActions::requestRestore(const QUuid& id)
{
    if (storedPair(id))
        AppNotifications::instance().postShowRestore(id);
}

void PairActions::showRunErrors(const QUuid& id)
{
    if (storedPair(id))
        AppNotifications::instance().postShowRunErrors(id);
}

void PairActions::restoreHeldDeletions(const QUuid& id)
{
    BackupEngine* engine = m_statusManager.engine(id);
    if (storedPair(id) && engine)
        AppNotifications::instance().postShowRestore(id, engine->heldDeletions());
}

void PairActions::confirmHeldDeletions(const QUuid& id)
{
    const auto pair = storedPair(id);
    const QPointer<BackupEngine> engine = m_statusManager.engine(id);
    if (!pair || !engine || engine->heldDeletions().empty())
        return;
    const auto count = engine->heldDeletions().size();
    const QString files = count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
    const ConfirmAlert alert{
        QStringLiteral("Move the backups of %1 to the backup trash?").arg(files),
        QStringLiteral("They are gone from \"%1\". Their backups go to the backup trash on the backup drive, where the "
                       "Restore window can still bring them back.")
            .arg(pair->name),
        QStringLiteral("Confirm Deletion"), QStringLiteral("Cancel")};
    if (!m_prompts.confirmFirst(alert))
        return;
    // The answer took a while: the pair may have gone or its engine been replaced meanwhile.
    const auto current = storedPair(id);
    if (current && engine && m_statusManager.engine(id) == engine)
        engine->confirmHeldDeletions(*current);
}

void PairActions::redoSmartSetup(const QUuid& id)
{
    const auto pair = storedPair(id);
    if (!pair)
        return;
    const QPointer<PairActions> self(this);
    const QPointer<StatusManager> manager(&m_statusManager);
    // Copies: the task may outlive anything of the main thread.
    platform::startUtilityTask([self, manager, id, name = pair->name, source = pair->sourceURL,
                                bookmark = pair->sourceBookmark, bookmarks = m_statusManager.bookmarks()] {
        // The bookmark finds the folder where it went; a bookmark that does not resolve, or a folder
        // that cannot be read, leaves the stored path.
        fs::path folder = source;
        bool accessing = false;
        if (bookmark) {
            if (const auto resolved = bookmarks.resolve(*bookmark);
                resolved && bookmarks.startAccessing(resolved->folder, platform::Bookmarks::Access::read)) {
                folder = resolved->folder;
                accessing = true;
            }
        }
        const BackupProfile profile = recommendProfileForFolder(folder);
        // What a backup of it would copy: the files below it, not the folder's own entry.
        const qint64 bytes = BackupEngine::directorySize(folder).value_or(0);
        platform::postToMainThread([self, manager, id, name, profile, bytes] {
            if (manager) {
                const auto& pairs = manager->configStore().pairs();
                const bool stillThere
                    = std::any_of(pairs.begin(), pairs.end(), [&](const BackupPair& p) { return p.id == id; });
                if (stillThere)
                    manager->suggestProfile(id, name, profile, bytes);
            }
            if (self)
                emit self->smartSetupFinished(id);
        });
        if (accessing)
            bookmarks.stopAccessing(folder);
    });
}

void PairActions::remove(const QUuid& id)
{
    const auto pair = storedPair(id);
    if (!pair)
        return;
    const ConfirmAlert alert{QStringLiteral("Remove \"%1\"?").arg(pair->name),
                             QStringLiteral("This stops backing up this folder. Your existing backup files won't be "
                                            "deleted."),
                             QStringLiteral("Remove"), QStringLiteral("Cancel")};
    if (m_prompts.confirmFirst(alert))
        m_statusManager.removePair(id);
}

} // namespace larkfold
