// The status menu on a real coordinator: its whole structure and texts for tables of states,
// which command each item runs, and that it stays one menu brought up to date in place.

#include "CoordinatorFixture.h"
#include "app/RelativeTime.h"
#include "app/StatusMenuBuilder.h"
#include "support/EventLoop.h"
#include "support/Screenshot.h"

#include <QAction>
#include <QApplication>
#include <QActionGroup>
#include <QFontMetrics>
#include <QMenu>
#include <QRawFont>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;
using EventType = BackupEvent::EventType;

namespace {

// An item's text as the menu shows it: "&x" marks a mnemonic, "&&" is an ampersand.
QString shown(const QAction& action)
{
    const QString text = action.text();
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        result.append(text[i]);
    }
    return result;
}

// One line per visible item: "-" for a separator, else the shown text, then " [x]" or " [ ]"
// when it can be checked (" (o)" or " ( )" for one choice of several), " (off)" when disabled,
// " (red)" when drawn red and " >" with a submenu.
QStringList lines(const QMenu& menu)
{
    QStringList result;
    for (const QAction* action : menu.actions()) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator()) {
            result << QStringLiteral("-");
            continue;
        }
        QString line = shown(*action);
        const bool radio = action->actionGroup() && action->actionGroup()->isExclusive();
        if (action->isCheckable() && radio)
            line += action->isChecked() ? QStringLiteral(" (o)") : QStringLiteral(" ( )");
        else if (action->isCheckable())
            line += action->isChecked() ? QStringLiteral(" [x]") : QStringLiteral(" [ ]");
        if (!action->isEnabled())
            line += QStringLiteral(" (off)");
        if (action->property(StatusMenuBuilder::kDestructiveProperty).toBool())
            line += QStringLiteral(" (red)");
        if (action->menu())
            line += QStringLiteral(" >");
        result << line;
    }
    return result;
}

// The visible item at the end of `path` ("Settings", "Backup Frequency", "Manual Only").
QAction* item(const QMenu& menu, const QStringList& path)
{
    const QMenu* current = &menu;
    QAction* found = nullptr;
    for (const QString& title : path) {
        found = nullptr;
        if (!current)
            return nullptr;
        for (QAction* action : current->actions()) {
            if (action->isVisible() && shown(*action) == title) {
                found = action;
                break;
            }
        }
        if (!found)
            return nullptr;
        current = found->menu();
    }
    return found;
}

const QMenu& submenu(const QMenu& menu, const QStringList& path)
{
    QAction* action = item(menu, path);
    EXPECT_TRUE(action && action->menu()) << path.join(QStringLiteral(" > ")).toStdString();
    static const QMenu none;
    return action && action->menu() ? *action->menu() : none;
}

// Every command records its name and argument.
struct Recorder {
    QStringList calls;

    MenuActions actions()
    {
        MenuActions a;
        const auto plain = [this](const char* name) { return [this, name] { calls << QString::fromLatin1(name); }; };
        const auto withId = [this](const char* name) {
            return [this, name](const QUuid& id) { calls << QString::fromLatin1(name) + QLatin1Char(' ') + id.toString(); };
        };
        a.backupAllNow = plain("backupAllNow");
        a.backupPairNow = withId("backupPairNow");
        a.togglePausePair = withId("togglePausePair");
        a.relinkPair = withId("relinkPair");
        a.revealInFileManager = withId("revealInFileManager");
        a.removePair = withId("removePair");
        a.addFolder = plain("addFolder");
        a.openPromote = plain("openPromote");
        a.setBackupInterval = [this](AppConfig::BackupInterval v) {
            calls << QStringLiteral("setBackupInterval ") + QString::fromLatin1(storedName(v));
        };
        a.setNotificationLevel = [this](AppConfig::NotificationLevel v) {
            calls << QStringLiteral("setNotificationLevel ") + QString::fromLatin1(storedName(v));
        };
        a.toggleLaunchAtLogin = plain("toggleLaunchAtLogin");
        a.toggleTrashReminders = plain("toggleTrashReminders");
        a.toggleAutoUpdate = plain("toggleAutoUpdate");
        a.checkForUpdates = plain("checkForUpdates");
        a.clearHistory = plain("clearHistory");
        a.openLearn = plain("openLearn");
        a.openAbout = plain("openAbout");
        a.quit = plain("quit");
        return a;
    }

    template <class Enum>
    static const char* storedName(Enum value)
    {
        return StoredNames<Enum>::names[std::size_t(value)].data();
    }
};

BackupEvent event(const QUuid& pairId, EventType type, const QDateTime& at, std::int64_t files = 0,
                  std::optional<QString> message = std::nullopt)
{
    BackupEvent e;
    e.id = QUuid::createUuid();
    e.pairId = pairId;
    e.timestamp = at;
    e.type = type;
    e.filesAffected = files;
    e.message = std::move(message);
    return e;
}

const QDateTime kNow = QDateTime(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());

class StatusMenuTest : public ::testing::Test {
protected:
    void update(StatusMenuBuilder::UpdateSettings updates = {})
    {
        builder.update(coordinator.manager(), recorder.actions(), updates, kNow);
    }
    const QMenu& menu() const { return *builder.menu(); }

    Coordinator coordinator;
    Recorder recorder;
    StatusMenuBuilder builder;
};

} // namespace

TEST(RelativeTime, TheLargestWholeUnitAbbreviated)
{
    const QDateTime now = QDateTime(QDate(2026, 5, 20), QTime(12, 0), QTimeZone::systemTimeZone());
    struct Case {
        QDateTime date;
        const char* text;
    };
    const Case cases[] = {
        {now, "0 sec. ago"},
        {now.addSecs(-59), "59 sec. ago"},
        {now.addSecs(-60), "1 min. ago"},
        {now.addSecs(-3599), "59 min. ago"},
        {now.addSecs(-3600), "1 hr. ago"},
        {now.addSecs(-86399), "23 hr. ago"},
        {now.addDays(-1), "1 day ago"},
        {now.addDays(-6), "6 days ago"},
        {now.addDays(-7), "1 wk. ago"},
        {now.addDays(-20), "2 wk. ago"},
        // 20 April to 20 May is a whole month; 21 April is not yet one.
        {now.addMonths(-1), "1 mo. ago"},
        {now.addMonths(-1).addDays(1), "4 wk. ago"},
        {now.addMonths(-11), "11 mo. ago"},
        {now.addYears(-1), "1 yr. ago"},
        {now.addYears(-3).addDays(-40), "3 yr. ago"},
        {now.addSecs(300), "in 5 min."},
        {now.addDays(2), "in 2 days"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(abbreviatedRelativeTime(c.date, now), QString::fromUtf8(c.text));
    }
    // The same moment in another zone is no time apart.
    EXPECT_EQ(abbreviatedRelativeTime(now.toUTC().addSecs(-120), now), QStringLiteral("2 min. ago"));
}

TEST_F(StatusMenuTest, WithNoPairsAndNoEvents)
{
    coordinator.start();
    update();
    EXPECT_EQ(lines(menu()), (QStringList{
                                 "Back Up All Now", "-", "No backups configured (off)", "-", "Add Folder…",
                                 "File a Finished Project…", "-", "Recent Activity >", "Settings >", "-",
                                 "How Larkfold Works", "About Larkfold", "Quit Larkfold"}));
    EXPECT_EQ(item(menu(), {"Quit Larkfold"})->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    for (const QAction* action : menu().actions()) {
        if (action->text() != QStringLiteral("Quit Larkfold")) {
            EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
        }
    }
    EXPECT_EQ(lines(submenu(menu(), {"Recent Activity"})), QStringList{"No activity yet (off)"});
    // The defaults, and a build that checks for no updates.
    EXPECT_EQ(lines(submenu(menu(), {"Settings"})),
              (QStringList{"Backup Frequency >", "Notifications >", "-", "Launch at Login [x]",
                           "Trash Cleanup Reminders [x]", "Auto-check for Updates [ ] (off)", "Check for Updates Now"}));
    EXPECT_EQ(lines(submenu(menu(), {"Settings", "Backup Frequency"})),
              (QStringList{"Every 30 Minutes ( )", "Every Hour (o)", "Every 4 Hours ( )", "Manual Only ( )"}));
    EXPECT_EQ(lines(submenu(menu(), {"Settings", "Notifications"})),
              (QStringList{"Errors Only (o)", "Daily Summary + Errors ( )", "Every Backup ( )", "Never ( )"}));
}

// Each pair by its engine's status, in the store's order; a paused pair can only be resumed.
TEST_F(StatusMenuTest, EachPairWithItsStatusMarkAndCommands)
{
    coordinator.tree.mkdir("src");
    coordinator.tree.mkdir("dest");
    const std::pair<BackupStatus, const char*> statuses[] = {
        {BackupStatus::syncing(0.4, "a.txt"), "↑"}, {BackupStatus::scanning(), "↑"},
        {BackupStatus::completed(3, 2), "●"},       {BackupStatus::idle(), "●"},
        {BackupStatus::error(BackupError::timedOut()), "⚠"}, {BackupStatus::destinationUnreachable(), "⚠"},
        {BackupStatus::paused(), "○"},              {BackupStatus::queued(), "◷"},
    };
    std::vector<BackupPair> pairs;
    for (int i = 0; i < 8; ++i) {
        // Not enabled, so no run changes the status set below.
        pairs.push_back(coordinator.storePair(QStringLiteral("Pair %1").arg(i), coordinator.tree.path("src"),
                                              coordinator.tree.path("dest"), false));
    }
    coordinator.start();
    for (int i = 0; i < 8; ++i)
        coordinator.engine(pairs[i].id).setStatus(statuses[i].first);
    update();

    const QStringList all = lines(menu());
    ASSERT_EQ(all.size(), 20);
    EXPECT_EQ(all.mid(0, 2), (QStringList{"Back Up All Now", "-"}));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(all[2 + i], QString::fromUtf8(statuses[i].second) + QStringLiteral("  Pair %1 >").arg(i));
    EXPECT_EQ(all[10], QStringLiteral("-"));
    EXPECT_EQ(all[11], QStringLiteral("Add Folder…"));

    EXPECT_EQ(lines(submenu(menu(), {"○  Pair 6"})),
              (QStringList{"Back Up Now (off)", "Resume", "Change Destination…", "Reveal in File Manager", "-",
                           "Remove This Backup… (red)"}));
    // Resumed, the same row offers the other commands.
    coordinator.manager().togglePause(pairs[6].id);
    coordinator.engine(pairs[6].id).setStatus(BackupStatus::idle());
    update();
    EXPECT_EQ(lines(submenu(menu(), {"●  Pair 6"})),
              (QStringList{"Back Up Now", "Pause", "Change Destination…", "Reveal in File Manager", "-",
                           "Remove This Backup… (red)"}));
}

// An "&" in a name is shown as it is, not taken as the mark of a mnemonic.
TEST_F(StatusMenuTest, AnAmpersandInANameIsShownAsItIs)
{
    coordinator.tree.mkdir("src");
    const BackupPair pair =
        coordinator.storePair("Tom & Jerry", coordinator.tree.path("src"), coordinator.tree.path("src"), false);
    coordinator.store().addEvent(event(pair.id, EventType::backup, kNow.addSecs(-30), 2));
    coordinator.start();
    update();
    const QAction* row = item(menu(), {"○  Tom & Jerry"});
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(), QStringLiteral("○  Tom && Jerry"));
    EXPECT_EQ(lines(submenu(menu(), {"Recent Activity"})),
              (QStringList{"✓ Tom & Jerry — 2 files (30 sec. ago) (off)", "-", "Clear History"}));
}

TEST_F(StatusMenuTest, RecentActivityListsTheNewestFiveNewestFirst)
{
    coordinator.tree.mkdir("src");
    coordinator.tree.mkdir("dest");
    const BackupPair docs = coordinator.storePair("Docs", coordinator.tree.path("src"), coordinator.tree.path("dest"), false);
    for (int i = 1; i <= 12; ++i)
        coordinator.store().addEvent(event(docs.id, EventType::backup, kNow.addSecs(-3600 * (13 - i)), i));
    coordinator.start();
    update();
    EXPECT_EQ(lines(submenu(menu(), {"Recent Activity"})),
              (QStringList{"✓ Docs — 12 files (1 hr. ago) (off)", "✓ Docs — 11 files (2 hr. ago) (off)",
                           "✓ Docs — 10 files (3 hr. ago) (off)", "✓ Docs — 9 files (4 hr. ago) (off)",
                           "✓ Docs — 8 files (5 hr. ago) (off)", "-", "Clear History"}));

    // Cleared, the same submenu says so again.
    coordinator.store().setEvents({});
    update();
    EXPECT_EQ(lines(submenu(menu(), {"Recent Activity"})), QStringList{"No activity yet (off)"});
}

// Each type's mark, and the detail: the file count, else the message, else the type's label.
TEST_F(StatusMenuTest, EveryEventTypeWithItsMarkAndDetail)
{
    const QUuid docs = QUuid::createUuid();
    const QUuid gone = QUuid::createUuid();
    BackupPair pair;
    pair.id = docs;
    pair.name = QStringLiteral("Docs");
    struct Case {
        BackupEvent event;
        const char* title;
        bool red;
    };
    const Case cases[] = {
        {event(docs, EventType::backup, kNow.addSecs(-30), 1), "✓ Docs — 1 file (30 sec. ago)", false},
        {event(docs, EventType::deletion, kNow.addSecs(-120), 3), "♻ Docs — 3 files (2 min. ago)", false},
        {event(docs, EventType::error, kNow.addSecs(-7200), 0, QStringLiteral("Disk full")),
         "✗ Docs — Disk full (2 hr. ago)", true},
        {event(docs, EventType::error, kNow.addDays(-2)), "✗ Docs — Failed (2 days ago)", true},
        {event(docs, EventType::volumeLost, kNow.addDays(-8)), "⏏ Docs — Drive Disconnected (1 wk. ago)", false},
        {event(gone, EventType::volumeRestored, kNow.addSecs(-60)), "↩ (Deleted) — Drive Reconnected (1 min. ago)", false},
        {event(docs, EventType::verificationFailed, kNow.addSecs(-60), 2), "⚠ Docs — 2 files (1 min. ago)", true},
        {event(docs, EventType::integrityChecked, kNow.addSecs(-60)), "☑ Docs — Health Check (1 min. ago)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(StatusMenuBuilder::eventTitle(c.event, {pair}, kNow), QString::fromUtf8(c.title));
    }

    // Every mark is in the desktop's default font, or a tray host draws an empty box for it.
    const QRawFont font = QRawFont::fromFont(QFont(QStringLiteral("DejaVu Sans")));
    if (font.familyName() == QStringLiteral("DejaVu Sans")) {
        QStringList marks;
        for (const Case& c : cases)
            marks << StatusMenuBuilder::eventMark(c.event.type);
        for (const BackupStatus& status : {BackupStatus::syncing(0, {}), BackupStatus::idle(),
                                           BackupStatus::error(BackupError::timedOut()), BackupStatus::paused(),
                                           BackupStatus::queued()})
            marks << StatusMenuBuilder::pairMark(status);
        for (const QString& mark : marks)
            EXPECT_TRUE(font.supportsCharacter(mark.toUcs4().front())) << mark.toStdString();
    } else {
        ADD_FAILURE() << "DejaVu Sans, the fonts of Debian's desktops, is not installed";
    }

    // In the menu, failures are drawn red.
    coordinator.tree.mkdir("src");
    const BackupPair stored = coordinator.storePair("Docs", coordinator.tree.path("src"), coordinator.tree.path("src"), false);
    coordinator.store().addEvent(event(stored.id, EventType::backup, kNow.addSecs(-30), 1));
    coordinator.store().addEvent(event(stored.id, EventType::verificationFailed, kNow.addSecs(-20), 2));
    coordinator.start();
    update();
    EXPECT_EQ(lines(submenu(menu(), {"Recent Activity"})),
              (QStringList{"⚠ Docs — 2 files (20 sec. ago) (off) (red)", "✓ Docs — 1 file (30 sec. ago) (off)", "-",
                           "Clear History"}));
}

TEST_F(StatusMenuTest, EachSettingShowsItsCheckMark)
{
    coordinator.start();
    using Interval = AppConfig::BackupInterval;
    using Level = AppConfig::NotificationLevel;
    const std::pair<Interval, int> intervals[] = {
        {Interval::thirtyMinutes, 0}, {Interval::hourly, 1}, {Interval::fourHours, 2}, {Interval::manual, 3}};
    const std::pair<Level, int> levels[] = {{Level::errorsOnly, 0}, {Level::dailySummary, 1}, {Level::everyBackup, 2}, {Level::nothing, 3}};
    for (int i = 0; i < 4; ++i) {
        AppConfig config = coordinator.store().appConfig();
        config.backupInterval = intervals[i].first;
        config.notificationLevel = levels[3 - i].first;
        config.launchAtLogin = i % 2 == 0;
        config.trashReminderEnabled = i % 2 == 1;
        coordinator.store().setAppConfig(config);
        update({i < 2, true});
        SCOPED_TRACE(i);
        const auto checked = [](const QMenu& m) {
            QList<int> rows;
            for (int row = 0; row < m.actions().size(); ++row)
                if (m.actions()[row]->isChecked())
                    rows << row;
            return rows;
        };
        EXPECT_EQ(checked(submenu(menu(), {"Settings", "Backup Frequency"})), QList<int>{intervals[i].second});
        EXPECT_EQ(checked(submenu(menu(), {"Settings", "Notifications"})), QList<int>{levels[3 - i].second});
        const QStringList settings = lines(submenu(menu(), {"Settings"}));
        EXPECT_EQ(settings[3], i % 2 == 0 ? "Launch at Login [x]" : "Launch at Login [ ]");
        EXPECT_EQ(settings[4], i % 2 == 1 ? "Trash Cleanup Reminders [x]" : "Trash Cleanup Reminders [ ]");
        EXPECT_EQ(settings[5], i < 2 ? "Auto-check for Updates [x]" : "Auto-check for Updates [ ]");
    }
}

// Every item runs its own command, a pair's with the pair's id.
TEST_F(StatusMenuTest, EachItemRunsItsCommand)
{
    coordinator.tree.mkdir("src");
    const BackupPair docs = coordinator.storePair("Docs", coordinator.tree.path("src"), coordinator.tree.path("src"), false);
    coordinator.store().addEvent(event(docs.id, EventType::backup, kNow, 1));
    coordinator.start();
    update({false, true});
    const QString id = docs.id.toString();
    const std::pair<QStringList, QString> cases[] = {
        {{"Back Up All Now"}, "backupAllNow"},
        {{"○  Docs", "Resume"}, "togglePausePair " + id},
        {{"○  Docs", "Change Destination…"}, "relinkPair " + id},
        {{"○  Docs", "Reveal in File Manager"}, "revealInFileManager " + id},
        {{"○  Docs", "Remove This Backup…"}, "removePair " + id},
        {{"Add Folder…"}, "addFolder"},
        {{"File a Finished Project…"}, "openPromote"},
        {{"Recent Activity", "Clear History"}, "clearHistory"},
        {{"Settings", "Backup Frequency", "Every 4 Hours"}, "setBackupInterval 4hr"},
        {{"Settings", "Backup Frequency", "Manual Only"}, "setBackupInterval manual"},
        {{"Settings", "Notifications", "Every Backup"}, "setNotificationLevel everyBackup"},
        {{"Settings", "Notifications", "Never"}, "setNotificationLevel nothing"},
        {{"Settings", "Launch at Login"}, "toggleLaunchAtLogin"},
        {{"Settings", "Trash Cleanup Reminders"}, "toggleTrashReminders"},
        {{"Settings", "Auto-check for Updates"}, "toggleAutoUpdate"},
        {{"Settings", "Check for Updates Now"}, "checkForUpdates"},
        {{"How Larkfold Works"}, "openLearn"},
        {{"About Larkfold"}, "openAbout"},
        {{"Quit Larkfold"}, "quit"},
    };
    for (const auto& [path, call] : cases) {
        SCOPED_TRACE(path.join(" > ").toStdString());
        recorder.calls.clear();
        QAction* action = item(menu(), path);
        ASSERT_NE(action, nullptr);
        action->trigger();
        EXPECT_EQ(recorder.calls, QStringList{call});
    }
}

// The menu and its items stay the same objects; only a pair row that came or went is added or
// removed, and a removed one goes once the command that removed it has returned.
TEST_F(StatusMenuTest, TheMenuIsBroughtUpToDateInPlace)
{
    coordinator.tree.mkdir("src");
    const BackupPair docs = coordinator.storePair("Docs", coordinator.tree.path("src"), coordinator.tree.path("src"), false);
    coordinator.start();
    update();
    const QList<QAction*> before = menu().actions();
    const QMenu* docsMenu = item(menu(), {"○  Docs"})->menu();

    const BackupPair music = coordinator.makePair("Music", coordinator.tree.path("src"), coordinator.tree.path("src"), false);
    coordinator.manager().addPair(music);
    update();
    QList<QAction*> after = menu().actions();
    ASSERT_EQ(after.size(), before.size() + 1);
    // After the hidden "No backups configured" and Docs, before the separator.
    EXPECT_EQ(after.mid(0, 4), before.mid(0, 4));
    EXPECT_EQ(after.mid(5), before.mid(4));
    EXPECT_EQ(item(menu(), {"○  Docs"})->menu(), docsMenu);

    QPointer<QMenu> musicMenu = item(menu(), {"○  Music"})->menu();
    coordinator.manager().removePair(music.id);
    update();
    EXPECT_EQ(menu().actions(), before);
    EXPECT_TRUE(musicMenu) << "not while its own command may still run";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(musicMenu.isNull());
    // The row that stays now acts on the pair now in its place.
    coordinator.manager().removePair(docs.id);
    coordinator.manager().addPair(music);
    update();
    recorder.calls.clear();
    item(menu(), {"○  Music", "Resume"})->trigger();
    EXPECT_EQ(recorder.calls, QStringList{"togglePausePair " + music.id.toString()});
}

TEST_F(StatusMenuTest, Screenshots)
{
    coordinator.tree.mkdir("src");
    const BackupPair docs = coordinator.storePair("Documents", coordinator.tree.path("src"), coordinator.tree.path("src"), false);
    const BackupPair photos = coordinator.storePair("Photos", coordinator.tree.path("src"), coordinator.tree.path("src"), false);
    coordinator.store().addEvent(event(docs.id, EventType::backup, kNow.addSecs(-600), 42));
    coordinator.store().addEvent(event(photos.id, EventType::error, kNow.addSecs(-300), 0, QStringLiteral("The drive is full")));
    coordinator.store().addEvent(event(photos.id, EventType::volumeLost, kNow.addSecs(-60)));
    coordinator.start();
    coordinator.engine(docs.id).setStatus(BackupStatus::completed(42, 3));
    update({true, true});
    const auto shoot = [](QMenu& m, const char* name) {
        m.adjustSize();
        EXPECT_FALSE(saveScreenshot(m, QString::fromLatin1(name)).isEmpty());
        m.hide();
    };
    shoot(*builder.menu(), "app-menu");
    shoot(*item(menu(), {"○  Photos"})->menu(), "app-menu-pair");
    shoot(*item(menu(), {"Recent Activity"})->menu(), "app-menu-recent-activity");
    shoot(*item(menu(), {"Settings"})->menu(), "app-menu-settings");
    // The choices of one setting are radio items, in light and dark.
    QMenu& frequency = *item(menu(), {"Settings", "Backup Frequency"})->menu();
    shoot(frequency, "app-menu-frequency-light");
    const ScopedPalette dark(darkPalette());
    shoot(frequency, "app-menu-frequency-dark");
    shoot(*item(menu(), {"Settings", "Notifications"})->menu(), "app-menu-notifications-dark");
}
