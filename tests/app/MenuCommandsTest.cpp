// The status menu's commands in the running delegate: what each does to the store, the
// coordinator, the autostart entry and the desktop, with the panels and alerts answered here.

#include "DelegateFixture.h"
#include "platform/Drives.h"
#include "platform/XdgAutostartLoginItem.h"
#include "shell/AppNotifications.h"
#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/FakeDesktopServices.h"
#include "support/PairRecord.h"
#include "support/TempTree.h"
#include "support/TestDisplay.h"

#include <QAction>
#include <QDir>
#include <QMenu>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

// The store as the next launch would read it.
ConfigStore reread(const fs::path& support)
{
    return ConfigStore(support);
}

// The status menu as it is shown next.
QMenu& showing(AppDelegate& app)
{
    emit app.menu()->aboutToShow();
    return *app.menu();
}

QAction* find(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->isVisible() && action->text() == text)
            return action;
    return nullptr;
}

class MenuCommands : public ::testing::Test {
protected:
    // Docs (enabled) and Music (paused), both into "dest".
    void storePairs()
    {
        tree.write("docs/a.txt", "a");
        tree.write("music/m.txt", "m");
        tree.mkdir("dest");
        ConfigStore seed(support.path());
        seed.addPair(pairRecord(QStringLiteral("Docs"), tree.path("docs"), tree.path("dest")));
        seed.addPair(pairRecord(QStringLiteral("Music"), tree.path("music"), tree.path("dest"), false));
    }
    BackupPair pair(AppDelegate& app, int index) const { return app.configStore()->pairs().at(index); }

    TempDir support;
    TempTree tree;
};

} // namespace

// Every setting reaches config.json at once, the backup interval too.
TEST_F(MenuCommands, SettingsAreSavedAtOnce)
{
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    app.setBackupInterval(AppConfig::BackupInterval::fourHours);
    EXPECT_EQ(reread(support.path()).appConfig().backupInterval, AppConfig::BackupInterval::fourHours);
    const auto next = app.statusManager()->nextScheduledRun();
    ASSERT_TRUE(next);
    EXPECT_GT(*next, std::chrono::hours(3)) << "the schedule follows the new interval";
    app.setBackupInterval(AppConfig::BackupInterval::manual);
    EXPECT_FALSE(app.statusManager()->nextScheduledRun());

    app.toggleTrashReminders();
    EXPECT_FALSE(reread(support.path()).appConfig().trashReminderEnabled);

    // Only turning notifications back on from "Never" asks after the notification server.
    const int checks = d.notifier->serverCheckCount();
    app.setNotificationLevel(AppConfig::NotificationLevel::dailySummary);
    EXPECT_EQ(d.notifier->serverCheckCount(), checks);
    app.setNotificationLevel(AppConfig::NotificationLevel::nothing);
    EXPECT_EQ(reread(support.path()).appConfig().notificationLevel, AppConfig::NotificationLevel::nothing);
    app.setNotificationLevel(AppConfig::NotificationLevel::everyBackup);
    EXPECT_EQ(d.notifier->serverCheckCount(), checks + 1);
    EXPECT_EQ(reread(support.path()).appConfig().notificationLevel, AppConfig::NotificationLevel::everyBackup);

    // The next showing has the check marks where the settings now are.
    QMenu& menu = showing(app);
    QMenu* settings = find(menu, QStringLiteral("Settings"))->menu();
    EXPECT_TRUE(find(*find(*settings, QStringLiteral("Backup Frequency"))->menu(), QStringLiteral("Manual Only"))->isChecked());
    EXPECT_TRUE(find(*find(*settings, QStringLiteral("Notifications"))->menu(), QStringLiteral("Every Backup"))->isChecked());
    EXPECT_FALSE(find(*settings, QStringLiteral("Trash Cleanup Reminders"))->isChecked());
}

TEST_F(MenuCommands, ClearHistoryEmptiesTheLogFileAtOnce)
{
    storePairs();
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    app.statusManager()->logEvent(pair(app, 0).id, BackupEvent::EventType::volumeLost);
    app.configStore()->save();
    ASSERT_NE(readFile(app.configStore()->logFileURL()), "[]");
    app.clearHistory();
    EXPECT_EQ(readFile(app.configStore()->logFileURL()), "[]");
    EXPECT_EQ(find(*find(showing(app), QStringLiteral("Recent Activity"))->menu(), QStringLiteral("No activity yet"))
                  ->isVisible(),
              true);
}

TEST_F(MenuCommands, LaunchAtLoginWritesAndRemovesTheLoginItem)
{
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    ASSERT_EQ(d.loginItem->registerCount(), 1);
    app.toggleLaunchAtLogin();
    EXPECT_EQ(d.loginItem->unregisterCount(), 1);
    EXPECT_FALSE(reread(support.path()).appConfig().launchAtLogin);
    app.toggleLaunchAtLogin();
    EXPECT_EQ(d.loginItem->registerCount(), 2);
    EXPECT_TRUE(reread(support.path()).appConfig().launchAtLogin);
    EXPECT_TRUE(d.prompts->alerts.empty());

    // A login item that cannot be changed leaves the setting as it was, and says so.
    d.loginItem->failWith(QStringLiteral("no room"));
    app.toggleLaunchAtLogin();
    EXPECT_TRUE(reread(support.path()).appConfig().launchAtLogin);
    ASSERT_EQ(d.prompts->alerts.size(), 1u);
    EXPECT_EQ(d.prompts->alerts[0].message, QStringLiteral("Larkfold couldn't stop launching at login."));
    EXPECT_EQ(d.prompts->alerts[0].informativeText, QStringLiteral("no room"));
}

// The real autostart entry where its folder cannot be made (a regular file of that name; the
// tests run as root, which a read-only folder would not stop).
TEST_F(MenuCommands, AnAutostartEntryThatCannotBeWrittenPutsTheSettingBack)
{
    {
        ConfigStore seed(support.path());
        AppConfig config = seed.appConfig();
        config.launchAtLogin = false;
        seed.setAppConfig(config);
        seed.save();
    }
    const fs::path config = tree.path("config");
    tree.write("config/autostart", "not a folder");
    Delegate d(support.path(), true, [&](AppDelegate::Environment& environment) {
        environment.loginItem = std::make_unique<platform::XdgAutostartLoginItem>("/usr/bin/larkfold", config / "autostart");
    });
    AppDelegate& app = *d.app;
    app.toggleLaunchAtLogin();
    EXPECT_FALSE(reread(support.path()).appConfig().launchAtLogin);
    ASSERT_EQ(d.prompts->alerts.size(), 1u);
    EXPECT_EQ(d.prompts->alerts[0].message, QStringLiteral("Larkfold couldn't be set to launch at login."));
    EXPECT_FALSE(d.prompts->alerts[0].informativeText.isEmpty());
    EXPECT_FALSE(find(*find(showing(app), QStringLiteral("Settings"))->menu(), QStringLiteral("Launch at Login"))->isChecked());

    // Once the folder can be made, the entry is written.
    fs::remove(config / "autostart");
    app.toggleLaunchAtLogin();
    EXPECT_TRUE(fs::exists(config / "autostart/larkfold.desktop"));
    EXPECT_TRUE(reread(support.path()).appConfig().launchAtLogin);
    EXPECT_EQ(d.prompts->alerts.size(), 1u);
}

// The panel asks for the pair by name where the drives are; the chosen folder passes the
// same checks as in the add-a-backup sheet, then the coordinator's own.
TEST_F(MenuCommands, ChangeDestinationChecksTheFolderThenMovesThePair)
{
    storePairs();
    tree.mkdir("other");
    tree.mkdir("docs/inner");
    const fs::path cloud = fs::path(QDir::homePath().toStdString()) / "Dropbox/Backups";
    fs::create_directories(cloud);
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    const BackupPair docs = pair(app, 0);
    FakeSetupPrompts& panels = d.prompts->folders;
    const auto relink = [&](std::optional<fs::path> answer) {
        const std::size_t asked = panels.panels.size();
        if (answer)
            panels.folderAnswers.push_back({*answer});
        app.relinkPair(docs.id);
        EXPECT_EQ(panels.panels.size(), asked) << "not while the menu is still open";
        return spinUntil([&] { return panels.panels.size() == asked + 1; });
    };

    ASSERT_TRUE(relink(std::nullopt));
    EXPECT_EQ(panels.panels.back(), (FolderPanel{QStringLiteral("Choose New Destination"),
                                                 QStringLiteral("Choose where \"Docs\" should be backed up to"),
                                                 platform::drivesFolder(), false, true}));
    EXPECT_EQ(pair(app, 0).destinationURL, tree.path("dest")) << "cancelled";

    ASSERT_TRUE(relink(tree.path("docs/inner")));
    ASSERT_EQ(d.prompts->alerts.size(), 1u);
    EXPECT_EQ(d.prompts->alerts.back().message, QStringLiteral("The destination can't be inside \"docs\"."));
    ASSERT_TRUE(relink("/usr/local/share"));
    ASSERT_EQ(d.prompts->alerts.size(), 2u);
    EXPECT_EQ(d.prompts->alerts.back().message,
              QStringLiteral("Destination is a protected system folder. Choose a different destination."));
    EXPECT_EQ(pair(app, 0).destinationURL, tree.path("dest"));

    // A synced folder is taken only with "Use Anyway".
    panels.alertAnswers = {false};
    ASSERT_TRUE(relink(cloud));
    ASSERT_EQ(panels.alerts.size(), 1u);
    EXPECT_EQ(panels.alerts.back().continueButton, QStringLiteral("Use Anyway"));
    EXPECT_EQ(pair(app, 0).destinationURL, tree.path("dest"));
    panels.alertAnswers = {true};
    ASSERT_TRUE(relink(cloud));
    EXPECT_EQ(pair(app, 0).destinationURL, cloud);
    EXPECT_EQ(reread(support.path()).pairs().at(0).destinationURL, cloud);

    ASSERT_TRUE(relink(tree.path("other")));
    EXPECT_EQ(pair(app, 0).destinationURL, tree.path("other"));
    EXPECT_TRUE(pair(app, 0).destinationBookmark.has_value());
    EXPECT_EQ(d.prompts->alerts.size(), 2u);

    // The coordinator refuses the folder another pair backs up into, and the user is told why.
    BackupPair music = pair(app, 1);
    music.name = QStringLiteral("Docs");
    app.configStore()->updatePair(music);
    ASSERT_TRUE(relink(tree.path("dest")));
    EXPECT_EQ(pair(app, 0).destinationURL, tree.path("other"));
    ASSERT_EQ(d.prompts->alerts.size(), 3u);
    EXPECT_TRUE(d.prompts->alerts.back().message.contains(QStringLiteral("already uses the folder")))
        << d.prompts->alerts.back().message.toStdString();

    // A pair that is gone opens no panel.
    const std::size_t asked = panels.panels.size();
    app.relinkPair(QUuid::createUuid());
    spinFor(50);
    EXPECT_EQ(panels.panels.size(), asked);
}

TEST_F(MenuCommands, RemoveAsksFirstAndLeavesTheBackupFiles)
{
    storePairs();
    tree.write("dest/Larkfold/Music/m.txt", "backed up");
    Delegate d(support.path());
    AppDelegate& app = *d.app;
    const BackupPair music = pair(app, 1);

    d.prompts->alertAnswers = {false};
    app.confirmRemovePair(music.id);
    ASSERT_EQ(d.prompts->alerts.size(), 1u);
    EXPECT_EQ(d.prompts->alerts[0], MenuAlert::question(QStringLiteral("Stop backing up \"Music\"?"),
                                                        QStringLiteral("Your existing backup files won't be deleted."),
                                                        QStringLiteral("Stop Backup"), QStringLiteral("Cancel")));
    EXPECT_EQ(app.configStore()->pairs().size(), 2u);

    d.prompts->alertAnswers = {true};
    app.confirmRemovePair(music.id);
    EXPECT_EQ(app.configStore()->pairs().size(), 1u);
    EXPECT_EQ(app.statusManager()->engine(music.id), nullptr);
    EXPECT_EQ(reread(support.path()).pairs().size(), 1u);
    EXPECT_EQ(readFile(tree.path("dest/Larkfold/Music/m.txt")), "backed up");
    app.confirmRemovePair(music.id);
    EXPECT_EQ(d.prompts->alerts.size(), 2u) << "a gone pair is not asked about";
}

TEST_F(MenuCommands, RevealShowsTheChosenDestinationFolder)
{
    storePairs();
    FakeFileManager fileManager(testSessionBus().connection(QStringLiteral("files")));
    ASSERT_TRUE(fileManager.isRegistered());
    Delegate d(support.path());
    d.app->revealInFileManager(pair(*d.app, 1).id);
    d.app->revealInFileManager(QUuid::createUuid());
    ASSERT_TRUE(spinUntil([&] { return !fileManager.calls().isEmpty(); }));
    spinFor(100);
    EXPECT_EQ(fileManager.calls(), QStringList{QStringLiteral("ShowFolders file://")
                                               + QString::fromStdString(tree.path("dest").string())});
}

TEST_F(MenuCommands, AddFolderOpensThePopover)
{
    LARKFOLD_REQUIRE_X_SERVER();
    Delegate d(support.path());
    int requests = 0;
    QObject::connect(&AppNotifications::instance(), &AppNotifications::showAddBackupRequested, d.app.get(),
                     [&] { ++requests; });
    d.app->addFolder();
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(spinUntil([&] { return d.app->popover()->isVisible(); }));
}

// A build without a feed says so and offers no automatic checks; the one controller is kept.
TEST_F(MenuCommands, ABuildWithoutAFeedChecksForNothing)
{
    Delegate d(support.path(), true, [](AppDelegate::Environment& environment) { environment.updateFeed = QUrl(); });
    AppDelegate& app = *d.app;
    EXPECT_FALSE(app.hasUpdateController()) << "not before the menu is first shown";
    showing(app);
    ASSERT_TRUE(app.hasUpdateController());
    UpdateController* controller = &app.updateController();
    showing(app);
    EXPECT_EQ(&app.updateController(), controller);

    QMenu* settings = find(*app.menu(), QStringLiteral("Settings"))->menu();
    QAction* automatic = find(*settings, QStringLiteral("Auto-check for Updates"));
    EXPECT_FALSE(automatic->isEnabled());
    EXPECT_FALSE(automatic->isChecked());
    app.toggleAutoUpdate();
    EXPECT_FALSE(controller->automaticallyChecksForUpdates());

    find(*settings, QStringLiteral("Check for Updates Now"))->trigger();
    ASSERT_EQ(d.prompts->alerts.size(), 1u);
    EXPECT_EQ(d.prompts->alerts[0].message, QStringLiteral("This build of Larkfold does not check for updates."));
}
