#pragma once

#include "app/MenuActions.h"
#include "app/MenuPrompts.h"
#include "app/PopoverHost.h"
#include "app/SingletonWindowController.h"
#include "app/StatusMenuBuilder.h"
#include "app/UpdateController.h"
#include "platform/FileManager.h"
#include "platform/LoginItem.h"
#include "platform/ScreenSleepSource.h"
#include "platform/SessionActivitySource.h"
#include "platform/WorkspaceSource.h"
#include "shell/StatusManager.h"
#include "status/PopoverView.h"
#include "store/BackupProfile.h"

#include <QDBusConnection>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace larkfold {

class ConfigStore;
class PromoteViewModel;

namespace platform {
class BusNameWatch;
}

// The application: owns the store, the coordinator, the status item with its menu, the popover
// and one window of each kind, and brings them up and down in a fixed order. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // The parts of the desktop it uses; tests hand in fakes. Null or empty means the real ones.
    struct Environment {
        StatusManager::Environment coordinator;
        std::filesystem::path appSupportFolder; // empty: ~/.local/share/Larkfold
        std::unique_ptr<platform::LoginItem> loginItem;
        std::unique_ptr<platform::ScreenSleepSource> screens;
        std::unique_ptr<platform::SessionActivitySource> session;
        std::unique_ptr<platform::WorkspaceSource> workspace;
        QDBusConnection sessionBus = QDBusConnection::sessionBus();
        // How long to wait at launch for a tray host to appear on the bus.
        std::chrono::milliseconds trayHostWait = std::chrono::seconds(3);
        // Whether an XEmbed tray is there to dock in; null: the X server's tray selection.
        std::function<bool()> xembedTrayPresent;
        // The panels and alerts of the menu and of update checks; null: the real dialogs.
        std::unique_ptr<MenuPrompts> prompts;
        // Where update checks look; none: the address this build was made with.
        std::optional<QUrl> updateFeed;
    };

    enum class WindowKind { about, learn, welcome, restore, promote, profileSuggestion, runErrors };

    AppDelegate();
    explicit AppDelegate(Environment environment, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The start-up: store, nesting repair, coordinator, status item, popover, status observation,
    // the welcome window on a first run, the observers, the login item.
    void applicationDidFinishLaunching();
    // The quit: nothing new starts, every engine stops, the event loop runs until no backup task
    // is left (at most `bound`), then the store is saved and the coordinator goes. False when tasks
    // were still running at the bound; the caller must then leave at once.
    bool applicationWillTerminate(std::chrono::milliseconds bound = std::chrono::seconds(3));

    void togglePopover();
    void showPopover();
    void closePopover();
    // The popover, on its add-a-backup sheet.
    void showAddBackup();
    // The status menu at the cursor (the popover's gear).
    void showMenu();
    void registerLaunchAtLogin();
    void updateStatusIcon(const BackupStatus& status);

    void showWelcome();
    // The restore window for the pair, with the files at `tick` (paths below its backup folder)
    // ticked; an open one for the same pair ticks them too.
    void showRestore(const QUuid& pairId, const std::vector<std::string>& tick = {});
    // The window listing what failed in the pair's last backup.
    void showRunErrors(const QUuid& pairId);
    void showProfileSuggestion(const QUuid& pairId, const QString& pairName, BackupProfile profile, qint64 bytes);
    void applyProfileSuggestion(const QUuid& pairId, BackupProfile profile);
    void declineProfileSuggestion();
    void openPromote();
    void openLearn();
    void openAbout();

    // The status menu's commands (its other ones are the openers above and the coordinator's own).
    // Each one for a pair does nothing when the pair is gone.
    // Backs up every pair that is not paused, and says which paused ones it left out.
    void backupAllNow();
    void relinkPair(const QUuid& id);
    void revealInFileManager(const QUuid& id);
    void confirmRemovePair(const QUuid& id);
    void addFolder();
    void setBackupInterval(AppConfig::BackupInterval interval);
    void setNotificationLevel(AppConfig::NotificationLevel level);
    // A login item that cannot be changed puts the setting back and tells the user.
    void toggleLaunchAtLogin();
    void toggleTrashReminders();
    void clearHistory();
    void toggleAutoUpdate();
    void checkForUpdates();
    // Made on first use and kept for the life of the process.
    UpdateController& updateController();
    bool hasUpdateController() const { return m_updateController != nullptr; }

    ConfigStore* configStore() const { return m_configStore.get(); }
    StatusManager* statusManager() const { return m_statusManager.get(); }
    QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    PopoverHost* popover() const { return m_popover.get(); }
    QMenu* menu() const { return m_menuBuilder ? m_menuBuilder->menu() : nullptr; }
    PopoverView* popoverView() const { return m_popoverView; }
    SingletonWindowController& controller(WindowKind kind);
    const QString& statusSymbol() const { return m_statusSymbol; }
    // Whether the icon looks at the status again soon; it rests while nothing changes.
    bool isObservingStatus() const { return m_statusObservation.isActive(); }

signals:
    // The status item exists (or, without a tray, the popover stands in for it).
    void statusItemReady();

private:
    void createStatusItem();
    bool isXEmbedTrayPresent() const;
    void setupPopover();
    void startStatusObservation();
    void stopStatusObservation();
    void observeNotifications();
    // Opens a window of a kind, or brings its visible window to the front; `anchored` places it
    // under the status item when the item's place is known.
    void showWindow(const QString& title, const std::function<QWidget*()>& content, WindowKind kind,
                    QSize size, bool anchored);
    std::optional<QRect> statusItemGeometry() const;
    // The menu's commands bound to this delegate, held weakly.
    MenuActions menuActions();
    // Brings the status menu up to date as it is shown.
    void refreshMenu();
    // The same between showings; without update settings, the stored ones.
    void updateMenu(std::optional<StatusMenuBuilder::UpdateSettings> updates = std::nullopt);
    void showRelinkPanel(const BackupPair& pair);
    std::optional<BackupPair> storedPair(const QUuid& id) const;
    MenuPrompts& prompts();
    platform::LoginItem& loginItem();
    const platform::FileManager& fileManager();

    Environment m_environment;
    std::unique_ptr<ConfigStore> m_configStore;
    std::unique_ptr<StatusManager> m_statusManager;
    std::unique_ptr<PromoteViewModel> m_promoteModel;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<StatusMenuBuilder> m_menuBuilder;
    QTimer m_menuRefresh;
    std::unique_ptr<UpdateController> m_updateController;
    std::unique_ptr<platform::FileManager> m_fileManager;
    std::unique_ptr<PopoverHost> m_popover;
    QPointer<PopoverView> m_popoverView;
    std::unique_ptr<platform::BusNameWatch> m_trayHostWatch;
    QTimer m_trayHostTimer;
    QTimer m_statusObservation;
    QMetaObject::Connection m_statusWake;
    // Where the pointer was when the icon was last clicked, or its menu opened from it.
    std::optional<QPoint> m_lastIconClick;
    bool m_menuFromGear = false;
    QString m_statusSymbol;
    QString m_toolTip;
    std::uint64_t m_shownStatusGeneration = 0;
    std::map<WindowKind, SingletonWindowController> m_controllers;
};

} // namespace larkfold
