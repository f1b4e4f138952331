// The application delegate's side of the status menu: the record of its commands, and the
// commands that are the delegate's own (panels, alerts, settings, the login item, update checks).

#include "app/AppDelegate.h"

#include "app/DialogMenuPrompts.h"
#include "engine/NotificationManager.h"
#include "platform/Drives.h"
#include "platform/Log.h"
#include "platform/XdgAutostartLoginItem.h"
#include "setup/DestinationChecks.h"
#include "shell/AppNotifications.h"
#include "shell/OverallStatus.h"
#include "store/ConfigStore.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>

namespace larkfold {

namespace fs = std::filesystem;

MenuActions AppDelegate::menuActions()
{
    const QPointer<AppDelegate> self(this);
    // Each command holds the delegate weakly and does nothing once it is gone.
    const auto call = [self](void (AppDelegate::*command)()) {
        return [self, command] {
            if (self)
                (self.data()->*command)();
        };
    };
    const auto callWithId = [self](void (AppDelegate::*command)(const QUuid&)) {
        return [self, command](const QUuid& id) {
            if (self)
                (self.data()->*command)(id);
        };
    };
    const auto coordinator = [self](void (StatusManager::*command)(const QUuid&)) {
        return [self, command](const QUuid& id) {
            if (self && self->m_statusManager)
                (self->m_statusManager.get()->*command)(id);
        };
    };

    MenuActions actions;
    actions.backupAllNow = call(&AppDelegate::backupAllNow);
    actions.backupPairNow = coordinator(&StatusManager::backupPairNow);
    actions.togglePausePair = coordinator(&StatusManager::togglePause);
    actions.relinkPair = callWithId(&AppDelegate::relinkPair);
    actions.revealInFileManager = callWithId(&AppDelegate::revealInFileManager);
    actions.removePair = callWithId(&AppDelegate::confirmRemovePair);
    actions.addFolder = call(&AppDelegate::addFolder);
    actions.openPromote = call(&AppDelegate::openPromote);
    actions.setBackupInterval = [self](AppConfig::BackupInterval interval) {
        if (self)
            self->setBackupInterval(interval);
    };
    actions.setNotificationLevel = [self](AppConfig::NotificationLevel level) {
        if (self)
            self->setNotificationLevel(level);
    };
    actions.toggleLaunchAtLogin = call(&AppDelegate::toggleLaunchAtLogin);
    actions.toggleTrashReminders = call(&AppDelegate::toggleTrashReminders);
    actions.toggleAutoUpdate = call(&AppDelegate::toggleAutoUpdate);
    actions.checkForUpdates = call(&AppDelegate::checkForUpdates);
    actions.clearHistory = call(&AppDelegate::clearHistory);
    actions.openLearn = call(&AppDelegate::openLearn);
    actions.openAbout = call(&AppDelegate::openAbout);
    actions.quit = [] { QCoreApplication::quit(); };
    return actions;
}

void AppDelegate::backupAllNow()
{
    if (!m_statusManager)
        return;
    std::vector<QString> paused;
    for (const BackupPair& pair : m_statusManager->backupAllNow())
        paused.push_back(pair.name);
    if (const auto notice = pausedPairsNotice(paused, m_configStore->pairs().size()))
        prompts().alert(MenuAlert::notice(MenuAlert::Style::informational, *notice));
}

void AppDelegate::refreshMenu()
{
    // Opened from the icon, the menu shows where the icon is.
    if (!m_menuFromGear)
        m_lastIconClick = QCursor::pos();
    // The first showing brings the update controller, and with it the automatic checks, to life.
    UpdateController& updates = updateController();
    updateMenu(StatusMenuBuilder::UpdateSettings{updates.automaticallyChecksForUpdates(), updates.canCheckForUpdates()});
}

void AppDelegate::updateMenu(std::optional<StatusMenuBuilder::UpdateSettings> updates)
{
    m_menuRefresh.stop();
    if (!m_menuBuilder || !m_statusManager)
        return;
    if (!updates && m_updateController)
        updates = StatusMenuBuilder::UpdateSettings{m_updateController->automaticallyChecksForUpdates(),
                                                  m_updateController->canCheckForUpdates()};
    if (!updates) {
        const QUrl feed = m_environment.updateFeed.value_or(UpdateController::defaultFeed());
        updates = StatusMenuBuilder::UpdateSettings{UpdateController::storedAutomaticChecks(feed), !feed.isEmpty()};
    }
    m_menuBuilder->update(*m_statusManager, menuActions(), *updates);
}

std::optional<BackupPair> AppDelegate::storedPair(const QUuid& id) const
{
    if (!m_configStore)
        return std::nullopt;
    for (const BackupPair& pair : m_configStore->pairs()) {
        if (pair.id == id)
            return pair;
    }
    return std::nullopt;
}

MenuPrompts& AppDelegate::prompts()
{
    if (!m_environment.prompts)
        m_environment.prompts = std::make_unique<DialogMenuPrompts>();
    return *m_environment.prompts;
}

platform::LoginItem& AppDelegate::loginItem()
{
    if (!m_environment.loginItem)
        m_environment.loginItem = std::make_unique<platform::XdgAutostartLoginItem>();
    return *m_environment.loginItem;
}

const platform::FileManager& AppDelegate::fileManager()
{
    if (!m_fileManager) {
        m_fileManager = std::make_unique<platform::FileManager>(
            [](const QUrl& folder) { QDesktopServices::openUrl(folder); }, m_environment.sessionBus);
    }
    return *m_fileManager;
}

UpdateController& AppDelegate::updateController()
{
    if (!m_updateController) {
        m_updateController = std::make_unique<UpdateController>(
            m_environment.updateFeed.value_or(UpdateController::defaultFeed()), prompts());
    }
    return *m_updateController;
}

// --- Pairs ---

void AppDelegate::relinkPair(const QUuid& id)
{
    const auto pair = storedPair(id);
    if (!pair)
        return;
    // On a later turn, once the menu has closed.
    const QPointer<AppDelegate> self(this);
    QTimer::singleShot(0, this, [self, pair = *pair] {
        if (self)
            self->showRelinkPanel(pair);
    });
}

void AppDelegate::showRelinkPanel(const BackupPair& pair)
{
    const std::vector<fs::path> chosen = prompts().chooseFolders(
        {QStringLiteral("Choose New Destination"), QStringLiteral("Choose where \"%1\" should be backed up to").arg(pair.name),
         platform::drivesFolder(), /*allowsMultipleSelection=*/false, /*canCreateDirectories=*/true});
    if (chosen.empty() || !m_statusManager)
        return;
    const fs::path& folder = chosen.front();
    const DestinationChecks checks = DestinationChecks::of(*m_statusManager);
    for (const FolderAlert& alert : checks.destinationAlerts(folder)) {
        if (!prompts().confirm(alert))
            return;
    }
    if (const auto refusal = checks.destinationRefusal({pair.sourceURL}, folder, {pair.name})) {
        prompts().alert(MenuAlert::notice(MenuAlert::Style::warning, *refusal));
        return;
    }
    // The coordinator looks the pair up again: it may have gone while the panel was open.
    const StatusManager::RelinkResult result = m_statusManager->relinkPair(pair.id, folder);
    if (!result.accepted)
        prompts().alert(MenuAlert::notice(MenuAlert::Style::warning, result.reason));
}

void AppDelegate::revealInFileManager(const QUuid& id)
{
    // The folder the user chose, not the backup folder inside it.
    if (const auto pair = storedPair(id))
        fileManager().showFolder(pair->destinationURL);
}

void AppDelegate::confirmRemovePair(const QUuid& id)
{
    const auto pair = storedPair(id);
    if (!pair)
        return;
    const bool stop = prompts().alert(MenuAlert::question(QStringLiteral("Stop backing up \"%1\"?").arg(pair->name),
                                                          QStringLiteral("Your existing backup files won't be deleted."),
                                                          QStringLiteral("Stop Backup"), QStringLiteral("Cancel")));
    // The backup files at the destination stay.
    if (stop && m_statusManager)
        m_statusManager->removePair(id);
}

void AppDelegate::addFolder()
{
    closePopover();
    AppNotifications::instance().postShowAddBackup();
}

// --- Settings ---

void AppDelegate::setBackupInterval(AppConfig::BackupInterval interval)
{
    AppConfig config = m_configStore->appConfig();
    config.backupInterval = interval;
    m_configStore->setAppConfig(config);
    // At once, like every other setting: a crash must not bring the old interval back.
    m_configStore->save();
    m_statusManager->rescheduleTimer();
}

void AppDelegate::setNotificationLevel(AppConfig::NotificationLevel level)
{
    AppConfig config = m_configStore->appConfig();
    const AppConfig::NotificationLevel previous = config.notificationLevel;
    config.notificationLevel = level;
    m_configStore->setAppConfig(config);
    m_configStore->save();
    if (previous == AppConfig::NotificationLevel::nothing && level != AppConfig::NotificationLevel::nothing)
        m_statusManager->notificationManager().requestAuthorizationIfNeeded();
}

void AppDelegate::toggleLaunchAtLogin()
{
    AppConfig config = m_configStore->appConfig();
    const bool wanted = !config.launchAtLogin;
    config.launchAtLogin = wanted;
    m_configStore->setAppConfig(config);
    m_configStore->save();
    const QString failure = wanted ? loginItem().registerItem() : loginItem().unregisterItem();
    if (failure.isEmpty())
        return;
    qCCritical(lcApp).noquote() << QStringLiteral("Launch-at-login toggle error: %1").arg(failure);
    // The check mark must not claim what did not happen.
    config.launchAtLogin = !wanted;
    m_configStore->setAppConfig(config);
    m_configStore->save();
    prompts().alert(MenuAlert::notice(MenuAlert::Style::warning,
                                      wanted ? QStringLiteral("Larkfold couldn't be set to launch at login.")
                                             : QStringLiteral("Larkfold couldn't stop launching at login."),
                                      failure));
}

void AppDelegate::toggleTrashReminders()
{
    AppConfig config = m_configStore->appConfig();
    config.trashReminderEnabled = !config.trashReminderEnabled;
    m_configStore->setAppConfig(config);
    m_configStore->save();
}

void AppDelegate::clearHistory()
{
    m_configStore->setEvents({});
    m_configStore->save();
}

// --- Updates ---

void AppDelegate::toggleAutoUpdate()
{
    UpdateController& updates = updateController();
    updates.setAutomaticallyChecksForUpdates(!updates.automaticallyChecksForUpdates());
}

void AppDelegate::checkForUpdates()
{
    updateController().checkForUpdates();
}

} // namespace larkfold
