#pragma once

#include "app/MenuActions.h"
#include "store/BackupEvent.h"
#include "store/BackupPair.h"
#include "store/BackupStatus.h"

#include <QDateTime>
#include <QObject>

#include <array>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QStyle;

namespace larkfold {

class StatusManager;

// The status menu: the commands and settings of the tray icon. It keeps one menu and brings its
// items up to date in place at each showing (texts, checks, enabled and visible states; rows are
// added or removed only when the number of pairs changes), because some tray hosts show a menu
// that is cleared and refilled while it opens as blank. Main thread only.
class StatusMenuBuilder : public QObject {
    Q_OBJECT

public:
    // What the settings say about update checks.
    struct UpdateSettings {
        bool automaticallyChecks = false;
        bool available = false; // false: this build checks for nothing
    };

    // Items whose property of this name is true draw their title red, where the menu is drawn
    // by Qt; a menu the tray host draws shows the plain title.
    static constexpr const char* kDestructiveProperty = "larkfoldDestructive";
    static constexpr int kRecentEventCount = 5;

    explicit StatusMenuBuilder(QObject* parent = nullptr);
    ~StatusMenuBuilder() override;

    QMenu* menu() const { return m_menu.get(); }

    // Brings the menu and its submenus up to date with the coordinator's pairs, engines, events
    // and settings, binding each item to `actions`.
    void update(const StatusManager& manager, const MenuActions& actions, UpdateSettings updates,
                const QDateTime& now = QDateTime::currentDateTime());

    // The mark before a pair's name, by its engine's status.
    static QString pairMark(const BackupStatus& status);
    static QString pairTitle(const BackupPair& pair, const BackupStatus& status);
    static QString eventMark(BackupEvent::EventType type);
    static QString eventLabel(BackupEvent::EventType type);
    // A "Recent Activity" line: mark, pair name (or "(Deleted)"), detail and how long ago.
    static QString eventTitle(const BackupEvent& event, const std::vector<BackupPair>& pairs, const QDateTime& now);

private:
    struct PairRow {
        QMenu* submenu = nullptr;
        QAction* backUpNow = nullptr;
        QAction* pause = nullptr;
        QAction* relink = nullptr;
        QAction* reveal = nullptr;
        QAction* remove = nullptr;
    };

    void buildMenu();
    void buildRecentActivity();
    void buildSettings();
    QMenu* newMenu(const QString& title, QWidget* parent);
    PairRow makePairRow();
    void updatePairs(const StatusManager& manager, const MenuActions& actions);
    void updatePairRow(PairRow& row, const BackupPair& pair, const BackupStatus& status, bool paused,
                       const MenuActions& actions);
    void updateRecentActivity(const StatusManager& manager, const MenuActions& actions, const QDateTime& now);
    void updateSettings(const StatusManager& manager, const MenuActions& actions, UpdateSettings updates);

    std::unique_ptr<QStyle> m_style;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_backupAll = nullptr;
    QAction* m_noPairs = nullptr;
    QAction* m_afterPairs = nullptr;
    std::vector<PairRow> m_pairRows;
    QAction* m_addFolder = nullptr;
    QAction* m_openPromote = nullptr;
    QMenu* m_recentActivity = nullptr;
    QMenu* m_settings = nullptr;
    QAction* m_learn = nullptr;
    QAction* m_about = nullptr;
    QAction* m_quit = nullptr;

    QAction* m_noActivity = nullptr;
    std::array<QAction*, kRecentEventCount> m_events{};
    QAction* m_activitySeparator = nullptr;
    QAction* m_clearHistory = nullptr;

    std::array<QAction*, 4> m_intervals{};
    std::array<QAction*, 4> m_levels{};
    QAction* m_launchAtLogin = nullptr;
    QAction* m_trashReminders = nullptr;
    QAction* m_autoUpdate = nullptr;
    QAction* m_checkForUpdates = nullptr;
};

} // namespace larkfold
