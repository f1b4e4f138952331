#include "app/StatusMenuBuilder.h"

#include "app/MenuTarget.h"
#include "app/RelativeTime.h"
#include "shell/StatusManager.h"
#include "store/ConfigStore.h"
#include "store/Overloaded.h"
#include "widgets/Theme.h"

#include <QActionGroup>
#include <QMenu>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace larkfold {
namespace {

using Interval = AppConfig::BackupInterval;
using Level = AppConfig::NotificationLevel;
using EventType = BackupEvent::EventType;

constexpr std::array<std::pair<Interval, const char*>, 4> kIntervals{{
    {Interval::thirtyMinutes, "Every 30 Minutes"},
    {Interval::hourly, "Every Hour"},
    {Interval::fourHours, "Every 4 Hours"},
    {Interval::manual, "Manual Only"},
}};

constexpr std::array<std::pair<Level, const char*>, 4> kLevels{{
    {Level::errorsOnly, "Errors Only"},
    {Level::dailySummary, "Daily Summary + Errors"},
    {Level::everyBackup, "Every Backup"},
    {Level::nothing, "Never"},
}};

// Draws the title of items marked destructive in red. Qt's menus have no colour per item, so
// the style recolours the text of the one item it draws.
class DestructiveItemStyle final : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        const auto* menu = qobject_cast<const QMenu*>(widget);
        const QAction* action = element == CE_MenuItem && item && menu ? menu->actionAt(item->rect.center()) : nullptr;
        if (!action || !action->property(StatusMenuBuilder::kDestructiveProperty).toBool()) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionMenuItem red(*item);
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            for (const auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
                red.palette.setColor(group, role, Theme::redText());
        }
        QProxyStyle::drawControl(element, &red, painter, widget);
    }
};

QAction* addItem(QMenu& menu, const QString& title)
{
    return menu.addAction(title);
}

// Sets only what differs: each change of an exported item is a message to the tray host.
void setEnabled(QAction& action, bool enabled)
{
    if (action.isEnabled() != enabled)
        action.setEnabled(enabled);
}

void setVisible(QAction& action, bool visible)
{
    if (action.isVisible() != visible)
        action.setVisible(visible);
}

// A title as the menu shows it: an "&" in a pair's name is a character, not a mnemonic marker.
void setTitle(QAction& action, const QString& title)
{
    QString text = title;
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (action.text() != text)
        action.setText(text);
}

void setChecked(QAction& action, bool checked)
{
    if (action.isChecked() != checked)
        action.setChecked(checked);
}

void bind(QAction& action, const std::function<void()>& closure)
{
    MenuTarget::of(action).setClosure([closure] {
        if (closure)
            closure();
    });
}

// The closure gets the argument the item was bound with (a pair's id, a setting's value).
template <class Argument>
void bind(QAction& action, const std::function<void(Argument)>& closure, std::decay_t<Argument> argument)
{
    MenuTarget::of(action).setClosure([closure, argument] {
        if (closure)
            closure(argument);
    });
}

QAction* checkable(QMenu& menu, const QString& title)
{
    QAction* action = addItem(menu, title);
    action->setCheckable(true);
    return action;
}

// One choice of several: drawn as a radio item, here and in the menu a tray host draws.
QAction* choice(QMenu& menu, QActionGroup& group, const QString& title)
{
    QAction* action = checkable(menu, title);
    group.addAction(action);
    return action;
}

} // namespace

StatusMenuBuilder::StatusMenuBuilder(QObject* parent)
    : QObject(parent), m_style(std::make_unique<DestructiveItemStyle>())
{
    buildMenu();
}

StatusMenuBuilder::~StatusMenuBuilder()
{
    // The menus use the style until they go.
    m_menu.reset();
}

QMenu* StatusMenuBuilder::newMenu(const QString& title, QWidget* parent)
{
    auto* menu = new QMenu(title, parent);
    menu->setStyle(m_style.get());
    return menu;
}

void StatusMenuBuilder::buildMenu()
{
    m_menu.reset(newMenu(QString(), nullptr));
    QMenu& menu = *m_menu;
    m_backupAll = addItem(menu, QStringLiteral("Back Up All Now"));
    menu.addSeparator();
    m_noPairs = addItem(menu, QStringLiteral("No backups configured"));
    m_noPairs->setEnabled(false);
    m_afterPairs = menu.addSeparator();
    m_addFolder = addItem(menu, QStringLiteral("Add Folder…"));
    m_openPromote = addItem(menu, QStringLiteral("File a Finished Project…"));
    menu.addSeparator();
    m_recentActivity = newMenu(QStringLiteral("Recent Activity"), &menu);
    menu.addMenu(m_recentActivity);
    m_settings = newMenu(QStringLiteral("Settings"), &menu);
    menu.addMenu(m_settings);
    menu.addSeparator();
    m_learn = addItem(menu, QStringLiteral("How Larkfold Works"));
    m_about = addItem(menu, QStringLiteral("About Larkfold"));
    m_quit = addItem(menu, QStringLiteral("Quit Larkfold"));
    m_quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    buildRecentActivity();
    buildSettings();
}

void StatusMenuBuilder::buildRecentActivity()
{
    QMenu& menu = *m_recentActivity;
    m_noActivity = addItem(menu, QStringLiteral("No activity yet"));
    m_noActivity->setEnabled(false);
    for (QAction*& event : m_events) {
        event = addItem(menu, QString());
        event->setEnabled(false);
        event->setVisible(false);
    }
    m_activitySeparator = menu.addSeparator();
    m_clearHistory = addItem(menu, QStringLiteral("Clear History"));
    m_activitySeparator->setVisible(false);
    m_clearHistory->setVisible(false);
}

void StatusMenuBuilder::buildSettings()
{
    QMenu& menu = *m_settings;
    QMenu* frequency = newMenu(QStringLiteral("Backup Frequency"), &menu);
    menu.addMenu(frequency);
    auto* intervals = new QActionGroup(frequency);
    for (std::size_t i = 0; i < kIntervals.size(); ++i)
        m_intervals[i] = choice(*frequency, *intervals, QString::fromUtf8(kIntervals[i].second));
    QMenu* notifications = newMenu(QStringLiteral("Notifications"), &menu);
    menu.addMenu(notifications);
    auto* levels = new QActionGroup(notifications);
    for (std::size_t i = 0; i < kLevels.size(); ++i)
        m_levels[i] = choice(*notifications, *levels, QString::fromUtf8(kLevels[i].second));
    menu.addSeparator();
    m_launchAtLogin = checkable(menu, QStringLiteral("Launch at Login"));
    m_trashReminders = checkable(menu, QStringLiteral("Trash Cleanup Reminders"));
    m_autoUpdate = checkable(menu, QStringLiteral("Auto-check for Updates"));
    m_checkForUpdates = addItem(menu, QStringLiteral("Check for Updates Now"));
}

StatusMenuBuilder::PairRow StatusMenuBuilder::makePairRow()
{
    PairRow row;
    row.submenu = newMenu(QString(), m_menu.get());
    m_menu->insertMenu(m_afterPairs, row.submenu);
    QMenu& menu = *row.submenu;
    row.backUpNow = addItem(menu, QStringLiteral("Back Up Now"));
    row.pause = addItem(menu, QStringLiteral("Pause"));
    row.relink = addItem(menu, QStringLiteral("Change Destination…"));
    row.reveal = addItem(menu, QStringLiteral("Reveal in File Manager"));
    menu.addSeparator();
    row.remove = addItem(menu, QStringLiteral("Remove This Backup…"));
    row.remove->setProperty(kDestructiveProperty, true);
    return row;
}

void StatusMenuBuilder::update(const StatusManager& manager, const MenuActions& actions, UpdateSettings updates,
                               const QDateTime& now)
{
    bind(*m_backupAll, actions.backupAllNow);
    updatePairs(manager, actions);
    bind(*m_addFolder, actions.addFolder);
    bind(*m_openPromote, actions.openPromote);
    updateRecentActivity(manager, actions, now);
    updateSettings(manager, actions, updates);
    bind(*m_learn, actions.openLearn);
    bind(*m_about, actions.openAbout);
    bind(*m_quit, actions.quit);
}

void StatusMenuBuilder::updatePairs(const StatusManager& manager, const MenuActions& actions)
{
    const std::vector<BackupPair>& pairs = manager.configStore().pairs();
    while (m_pairRows.size() < pairs.size())
        m_pairRows.push_back(makePairRow());
    while (m_pairRows.size() > pairs.size()) {
        // Later: the removed pair's own item may be the one whose command runs now.
        QMenu* submenu = m_pairRows.back().submenu;
        m_menu->removeAction(submenu->menuAction());
        submenu->deleteLater();
        m_pairRows.pop_back();
    }
    setVisible(*m_noPairs, pairs.empty());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const BackupEngine* engine = manager.engine(pairs[i].id);
        updatePairRow(m_pairRows[i], pairs[i], engine ? engine->status() : BackupStatus::idle(),
                      manager.isPaused(pairs[i]), actions);
    }
}

void StatusMenuBuilder::updatePairRow(PairRow& row, const BackupPair& pair, const BackupStatus& status, bool paused,
                                      const MenuActions& actions)
{
    setTitle(*row.submenu->menuAction(), pairTitle(pair, status));
    const QUuid id = pair.id;
    // Paused by the user alone or with "Pause All", the pair is resumed, not backed up.
    setEnabled(*row.backUpNow, !paused);
    bind(*row.backUpNow, actions.backupPairNow, id);
    setTitle(*row.pause, paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    bind(*row.pause, actions.togglePausePair, id);
    bind(*row.relink, actions.relinkPair, id);
    bind(*row.reveal, actions.revealInFileManager, id);
    bind(*row.remove, actions.removePair, id);
}

void StatusMenuBuilder::updateRecentActivity(const StatusManager& manager, const MenuActions& actions,
                                             const QDateTime& now)
{
    const ConfigStore& store = manager.configStore();
    const std::vector<BackupEvent>& events = store.events();
    setVisible(*m_noActivity, events.empty());
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        QAction& item = *m_events[i];
        const bool shown = i < events.size();
        if (shown) {
            // Newest first.
            const BackupEvent& event = events[events.size() - 1 - i];
            setTitle(item, eventTitle(event, store.pairs(), now));
            const bool failed = event.type == EventType::error || event.type == EventType::verificationFailed;
            if (item.property(kDestructiveProperty).toBool() != failed)
                item.setProperty(kDestructiveProperty, failed);
        }
        setVisible(item, shown);
    }
    setVisible(*m_activitySeparator, !events.empty());
    setVisible(*m_clearHistory, !events.empty());
    bind(*m_clearHistory, actions.clearHistory);
}

void StatusMenuBuilder::updateSettings(const StatusManager& manager, const MenuActions& actions,
                                       UpdateSettings updates)
{
    const AppConfig& config = manager.configStore().appConfig();
    for (std::size_t i = 0; i < kIntervals.size(); ++i) {
        setChecked(*m_intervals[i], kIntervals[i].first == config.backupInterval);
        bind(*m_intervals[i], actions.setBackupInterval, kIntervals[i].first);
    }
    for (std::size_t i = 0; i < kLevels.size(); ++i) {
        setChecked(*m_levels[i], kLevels[i].first == config.notificationLevel);
        bind(*m_levels[i], actions.setNotificationLevel, kLevels[i].first);
    }
    setChecked(*m_launchAtLogin, config.launchAtLogin);
    bind(*m_launchAtLogin, actions.toggleLaunchAtLogin);
    setChecked(*m_trashReminders, config.trashReminderEnabled);
    bind(*m_trashReminders, actions.toggleTrashReminders);
    setChecked(*m_autoUpdate, updates.available && updates.automaticallyChecks);
    setEnabled(*m_autoUpdate, updates.available);
    bind(*m_autoUpdate, actions.toggleAutoUpdate);
    bind(*m_checkForUpdates, actions.checkForUpdates);
}

// --- Texts ---

QString StatusMenuBuilder::pairMark(const BackupStatus& status)
{
    return std::visit(
        Overloaded{
            [](const BackupStatus::Syncing&) { return QStringLiteral("↑"); },
            [](const BackupStatus::Scanning&) { return QStringLiteral("↑"); },
            [](const BackupStatus::Completed&) { return QStringLiteral("●"); },
            [](const BackupStatus::Idle&) { return QStringLiteral("●"); },
            [](const BackupStatus::Error&) { return QStringLiteral("⚠"); },
            [](const BackupStatus::DestinationUnreachable&) { return QStringLiteral("⚠"); },
            [](const BackupStatus::Paused&) { return QStringLiteral("○"); },
            [](const BackupStatus::Queued&) { return QStringLiteral("◷"); },
        },
        status.value());
}

QString StatusMenuBuilder::pairTitle(const BackupPair& pair, const BackupStatus& status)
{
    return pairMark(status) + QStringLiteral("  ") + pair.name;
}

QString StatusMenuBuilder::eventMark(EventType type)
{
    switch (type) {
    case EventType::backup:
        return QStringLiteral("✓");
    case EventType::deletion:
        // Marks the desktop's default fonts carry: the design's wastebasket and shield are
        // missing from them and would show as empty boxes.
        return QStringLiteral("♻");
    case EventType::error:
        return QStringLiteral("✗");
    case EventType::volumeLost:
        return QStringLiteral("⏏");
    case EventType::volumeRestored:
        return QStringLiteral("↩");
    case EventType::verificationFailed:
        return QStringLiteral("⚠");
    case EventType::integrityChecked:
        return QStringLiteral("☑");
    }
    return {};
}

QString StatusMenuBuilder::eventLabel(EventType type)
{
    switch (type) {
    case EventType::backup:
        return QStringLiteral("Backup");
    case EventType::deletion:
        return QStringLiteral("Cleanup");
    case EventType::error:
        return QStringLiteral("Failed");
    case EventType::volumeLost:
        return QStringLiteral("Drive Disconnected");
    case EventType::volumeRestored:
        return QStringLiteral("Drive Reconnected");
    case EventType::verificationFailed:
        return QStringLiteral("Files Don't Match");
    case EventType::integrityChecked:
        return QStringLiteral("Health Check");
    }
    return {};
}

QString StatusMenuBuilder::eventTitle(const BackupEvent& event, const std::vector<BackupPair>& pairs,
                                      const QDateTime& now)
{
    const auto pair = std::find_if(pairs.begin(), pairs.end(), [&](const BackupPair& p) { return p.id == event.pairId; });
    const QString name = pair == pairs.end() ? QStringLiteral("(Deleted)") : pair->name;
    QString detail;
    if (event.filesAffected >= 1)
        detail = QString::number(event.filesAffected) + (event.filesAffected == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
    else if (event.message)
        detail = *event.message;
    else
        detail = eventLabel(event.type);
    return eventMark(event.type) + QLatin1Char(' ') + name + QStringLiteral(" — ") + detail + QStringLiteral(" (")
        + abbreviatedRelativeTime(event.timestamp, now) + QLatin1Char(')');
}

} // namespace larkfold
