// The real program on a private X server and session bus, with a stand-in panel (the fake
// StatusNotifierWatcher) and notification server: what a user sees of it from outside.

#include "ProgramFixture.h"
#include "platform/Json.h"
#include "store/AppConfig.h"
#include "store/BackupPair.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"
#include "support/StatusNotifierItemClient.h"
#include "support/TempTree.h"
#include "support/TestDisplay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

// Whether an XEmbed tray holds the display's tray selection, seen from this process's connection.
bool traySelectionOwned()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return false;
    xcb_connection_t* connection = x11->connection();
    static constexpr char kSelection[] = "_NET_SYSTEM_TRAY_S0";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kSelection - 1, kSelection), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return owned;
}

class ApplicationTest : public ProgramFixture {
protected:
    // Whether a process holds the lock: our own non-blocking attempt fails. No lock file is a free
    // lock; a file that cannot be opened tells nothing.
    std::optional<bool> lockHeld() const
    {
        const int fd = ::open((dataDir() / "larkfold.lock").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT ? std::optional(false) : std::nullopt;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    bool waitUntilLocked() const
    {
        return spinUntil([&] { return lockHeld() == true; }, 10000);
    }

    // A child the program forked just before it ended keeps the lock's descriptor until it
    // executes its own program, which a loaded machine can delay.
    bool waitUntilUnlocked() const
    {
        return spinUntil([&] { return lockHeld() == false; }, 10000);
    }

    void writeConfig(const std::vector<BackupPair>& pairs, bool onboarded) const
    {
        AppConfig config;
        config.hasCompletedOnboarding = onboarded;
        ProgramFixture::writeConfig(pairs, config);
    }
};

} // namespace

// A first run: the item registers with the panel, the welcome window opens, the login item is
// written; a left click hides that window, the next one opens the popover; a right click's menu
// is there; a second launch brings the popover up and leaves.
TEST_F(ApplicationTest, FirstRunOnAPanel)
{
    LARKFOLD_REQUIRE_X_SERVER();
    if (!haveXdotool())
        GTEST_SKIP() << "xdotool is not installed";
    QProcess& app = start();
    const QString item = m_watcher->waitForItem(15000);
    ASSERT_FALSE(item.isEmpty());
    StatusNotifierItemClient client(testSessionBus().connection(QStringLiteral("panel")), item);
    EXPECT_TRUE(spinUntil([&] { return client.toolTipTitle() == QStringLiteral("No backup pairs configured"); }));
    ASSERT_TRUE(waitForWindows(QStringLiteral("Welcome to Larkfold"), 1));

    const fs::path autostart = m_home / ".config/autostart/larkfold.desktop";
    ASSERT_TRUE(spinUntil([&] { return fs::exists(autostart); }));
    const std::string entry = readFile(autostart);
    EXPECT_NE(entry.find("Exec=" + fs::canonical(m_program.toStdString()).string()), std::string::npos) << entry;

    ASSERT_TRUE(client.activate());
    EXPECT_TRUE(waitForWindows(QStringLiteral("Welcome to Larkfold"), 0));
    EXPECT_EQ(visibleWindows(QStringLiteral("Larkfold")), 0);
    ASSERT_TRUE(client.activate());
    EXPECT_TRUE(waitForWindows(QStringLiteral("Larkfold"), 1));
    ASSERT_TRUE(client.activate());
    EXPECT_TRUE(waitForWindows(QStringLiteral("Larkfold"), 0));

    ASSERT_TRUE(client.contextMenu());
    EXPECT_TRUE(client.menuLabels().contains(QStringLiteral("Quit Larkfold")));

    QProcess& second = start();
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError()).contains(QStringLiteral("already running")));
    EXPECT_TRUE(waitForWindows(QStringLiteral("Larkfold"), 1));

    ASSERT_TRUE(client.clickMenuItem(QStringLiteral("Quit Larkfold")));
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_TRUE(fs::exists(dataDir() / "config.json"));
}

// A pair already in the configuration backs itself up without a click, shows in the tooltip, and
// a quit in the middle of a large first backup saves the store and leaves no half file.
TEST_F(ApplicationTest, StoredPairsBackUpByThemselvesAndAQuitStopsInOrder)
{
    TempTree tree;
    tree.write("small/a.txt", "hello");
    tree.mkdir("dest");
    for (int i = 0; i < 400; ++i)
        tree.write("large/f" + std::to_string(i) + ".bin", std::string(64 * 1024, char('a' + i % 26)));
    BackupPair small = pairRecord(QStringLiteral("Small"), tree.path("small"), tree.path("dest"));
    BackupPair large = pairRecord(QStringLiteral("Large"), tree.path("large"), tree.path("dest"));
    writeConfig({small, large}, true);

    QProcess& app = start();
    const QString item = m_watcher->waitForItem(15000);
    ASSERT_FALSE(item.isEmpty());
    EXPECT_EQ(visibleWindows(QStringLiteral("Welcome to Larkfold")), 0);
    ASSERT_TRUE(spinUntil([&] { return fs::exists(tree.path("dest/Larkfold/Small/a.txt")); }, 30000));
    EXPECT_EQ(readFile(tree.path("dest/Larkfold/Small/a.txt")), "hello");

    const auto backedUp = [&](std::size_t index) {
        const std::string text = readFile(dataDir() / "config.json");
        if (text.empty())
            return false;
        const platform::Json saved = platform::parseJson(text);
        return saved["pairs"].size() > index && BackupPair::fromJson(saved["pairs"][index]).lastBackupAt.has_value();
    };
    ASSERT_TRUE(spinUntil([&] { return backedUp(0); }, 30000));

    // Quit while the large pair copies.
    ASSERT_TRUE(spinUntil([&] { return fs::exists(tree.path("dest/Larkfold/Large/f0.bin")); }, 30000));
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);

    EXPECT_TRUE(backedUp(0));
    for (const auto& entry : fs::recursive_directory_iterator(tree.path("dest/Larkfold/Large"))) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.starts_with(".lark"))
            continue;
        EXPECT_EQ(fs::file_size(entry.path()), 64u * 1024) << name << " is a half file under its final name";
    }
}

TEST_F(ApplicationTest, QuitSignalsSaveTheConfiguration)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        fs::remove(dataDir() / "config.json");
        QProcess* process = &start();
        ASSERT_TRUE(waitUntilLocked());
        EXPECT_FALSE(fs::exists(dataDir() / "config.json")); // first launch writes nothing while running
        ::kill(pid_t(process->processId()), sig);
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
        const std::string config = readFile(dataDir() / "config.json");
        ASSERT_FALSE(config.empty());
        const platform::Json file = platform::parseJson(config);
        EXPECT_TRUE(file.contains("appConfig"));
        EXPECT_TRUE(file["pairs"].is_array());
        EXPECT_EQ(readFile(dataDir() / "backup-log.json"), "[]");
    }
}

TEST_F(ApplicationTest, NestedPairFoldersAreRepairedAtLaunch)
{
    const auto makePair = [&](const char* name, const fs::path& destination) {
        BackupPair pair;
        pair.id = QUuid::createUuid();
        pair.name = QString::fromUtf8(name);
        pair.sourceURL = m_home / "Source";
        pair.destinationURL = destination;
        pair.createdAt = QDateTime::fromSecsSinceEpoch(1772357400, QTimeZone::utc());
        return pair;
    };
    const fs::path drive = m_home / "Drive/Larkfold";
    const fs::path other = m_home / "Other/Larkfold";
    const auto put = [](const fs::path& path, const std::string& content) {
        fs::create_directories(path.parent_path());
        writeFile(path, content);
    };
    put(drive / "Larkfold/Photos/a.jpg", "A");
    put(drive / "Larkfold/Photos/b.jpg", "nested");
    put(drive / "Photos/b.jpg", "current");
    // A name that would make the inner folder itself the nested one.
    put(other / "Larkfold/Music/m.flac", "M");
    const std::vector<BackupPair> pairs{makePair("Photos", drive), makePair(".", other)};
    put(dataDir() / "config.json",
        platform::encodeJsonPretty(platform::Json{{"appConfig", AppConfig().toJson()},
                                                  {"pairs", {pairs[0].toJson(), pairs[1].toJson()}}}));

    QProcess* process = &start();
    EXPECT_TRUE(spinUntil([&] { return fs::exists(drive / "Photos/a.jpg"); }, 10000));
    process->terminate();
    ASSERT_TRUE(process->waitForFinished(10000));

    EXPECT_EQ(readFile(drive / "Photos/a.jpg"), "A");
    EXPECT_EQ(readFile(drive / "Photos/b.jpg"), "current");
    EXPECT_EQ(readFile(drive / "Larkfold/Photos/b.jpg"), "nested");
    EXPECT_FALSE(fs::exists(drive / "Larkfold/Photos/a.jpg"));
    EXPECT_EQ(readFile(other / "Larkfold/Music/m.flac"), "M");
    EXPECT_FALSE(fs::exists(other / "Music"));
    const platform::Json saved = platform::parseJson(readFile(dataDir() / "config.json"));
    ASSERT_EQ(saved["pairs"].size(), 2u);
    EXPECT_EQ(BackupPair::fromJson(saved["pairs"][0]), pairs[0]);
    EXPECT_EQ(BackupPair::fromJson(saved["pairs"][1]), pairs[1]);
}

// A new user's first minutes: the welcome window's panels are answered by typing paths, the pair
// is made, its first backup lands, and the next launch has no welcome window.
TEST_F(ApplicationTest, OnboardingWithTheRealPanelsLeadsToAFirstBackup)
{
    LARKFOLD_REQUIRE_X_SERVER();
    if (!haveXdotool())
        GTEST_SKIP() << "xdotool is not installed";
    TempTree tree;
    tree.write("Papers/thesis.txt", "chapter one");
    const fs::path dest = tree.mkdir("Backups");
    QProcess& app = start();
    ASSERT_FALSE(m_watcher->waitForItem(15000).isEmpty());
    ASSERT_TRUE(waitForWindows(QStringLiteral("Welcome to Larkfold"), 1));
    const QString welcome = programWindows(QStringLiteral("Welcome to Larkfold")).value(0);

    clickAt(welcome, {240, 185}); // the drop zone
    ASSERT_NO_FATAL_FAILURE(answerFolderPanel(QStringLiteral("Select the folder you want to keep backed up."), tree.path("Papers")));
    pressReturnIn(welcome); // Next
    std::optional<QPoint> link;
    ASSERT_TRUE(spinUntil([&] { return (link = greenLink(welcome)).has_value(); }));
    clickAt(welcome, *link); // "Choose any folder…"
    ASSERT_NO_FATAL_FAILURE(answerFolderPanel(QStringLiteral("Choose or create a folder for your backups"), dest));
    pressReturnIn(welcome); // no offsite copy: Next
    pressReturnIn(welcome); // Start Backing Up
    ASSERT_TRUE(waitForWindows(QStringLiteral("Welcome to Larkfold"), 0));

    ASSERT_TRUE(spinUntil([&] { return fs::exists(dest / "Larkfold/Papers/thesis.txt"); }, 30000));
    EXPECT_EQ(readFile(dest / "Larkfold/Papers/thesis.txt"), "chapter one");
    const platform::Json saved = platform::parseJson(readFile(dataDir() / "config.json"));
    EXPECT_TRUE(AppConfig::fromJson(saved["appConfig"]).hasCompletedOnboarding);
    ASSERT_EQ(saved["pairs"].size(), 1u);
    const BackupPair pair = BackupPair::fromJson(saved["pairs"][0]);
    EXPECT_EQ(pair.sourceURL, tree.path("Papers"));
    EXPECT_EQ(pair.destinationURL, dest);
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000));

    ASSERT_TRUE(waitUntilUnlocked());
    QProcess& again = start();
    ASSERT_TRUE(waitUntilLocked());
    EXPECT_FALSE(waitForWindows(QStringLiteral("Welcome to Larkfold"), 1, 8000)) << "onboarding is done";
    ::kill(pid_t(again.processId()), SIGTERM);
    ASSERT_TRUE(again.waitForFinished(30000));
}

// The menu as a panel reads it over D-Bus, shown again after each click: every showing has the
// state the click before it made, and each click's effect is on disk at once.
TEST_F(ApplicationTest, TheExportedMenuFollowsEachClick)
{
    TempTree tree;
    tree.write("docs/a.txt", "a");
    tree.write("music/m.txt", "m");
    tree.write("cartoons/c.txt", "c");
    tree.mkdir("dest");
    writeConfig({pairRecord(QStringLiteral("Docs"), tree.path("docs"), tree.path("dest")),
                 pairRecord(QStringLiteral("Music"), tree.path("music"), tree.path("dest"), false),
                 pairRecord(QStringLiteral("Tom & Jerry"), tree.path("cartoons"), tree.path("dest"), false)},
                true);
    QProcess& app = start();
    const QString item = m_watcher->waitForItem(15000);
    ASSERT_FALSE(item.isEmpty());
    StatusNotifierItemClient client(testSessionBus().connection(QStringLiteral("panel")), item);
    const auto saved = [&] { return platform::parseJson(readFile(dataDir() / "config.json")); };
    const fs::path autostart = m_home / ".config/autostart/larkfold.desktop";
    ASSERT_TRUE(spinUntil([&] { return fs::exists(autostart); }));

    auto menu = client.menu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->childLabels().mid(0, 2), (QStringList{"Back Up All Now", "-"}));
    ASSERT_TRUE(menu->childEndingWith(QStringLiteral("  Docs")));
    const DBusMenuEntry* music = menu->child(QStringLiteral("○  Music"));
    ASSERT_TRUE(music);
    EXPECT_EQ(music->childLabels(), (QStringList{"Back Up Now", "Resume", "Change Destination…",
                                                 "Reveal in File Manager", "-", "Remove This Backup…"}));
    EXPECT_FALSE(music->child(QStringLiteral("Back Up Now"))->isEnabled());
    EXPECT_TRUE(menu->child(QStringLiteral("○  Tom & Jerry"))) << "the name as it is, no mnemonic taken from it";
    const DBusMenuEntry* settings = menu->child(QStringLiteral("Settings"));
    ASSERT_TRUE(settings);
    // One choice of several is a radio item; a setting on its own a check mark.
    for (const char* choices : {"Backup Frequency", "Notifications"}) {
        const DBusMenuEntry* submenu = settings->child(QString::fromLatin1(choices));
        ASSERT_TRUE(submenu) << choices;
        ASSERT_EQ(submenu->children.size(), 4u) << choices;
        for (const DBusMenuEntry& choice : submenu->children)
            EXPECT_EQ(choice.properties.value(QStringLiteral("toggle-type")).toString(), QStringLiteral("radio"))
                << choice.label().toStdString();
    }
    EXPECT_EQ(settings->child(QStringLiteral("Launch at Login"))->properties.value(QStringLiteral("toggle-type")),
              QStringLiteral("checkmark"));
    EXPECT_TRUE(settings->child(QStringLiteral("Backup Frequency"))->child(QStringLiteral("Every Hour"))->isChecked());
    EXPECT_TRUE(settings->child(QStringLiteral("Launch at Login"))->isChecked());
    EXPECT_FALSE(settings->child(QStringLiteral("Auto-check for Updates"))->isEnabled());
    EXPECT_EQ(menu->childLabels().last(), QStringLiteral("Quit Larkfold"));

    // Two clicks, then the next showing.
    ASSERT_TRUE(client.clickMenuPath({"Settings", "Backup Frequency", "Every 4 Hours"}));
    ASSERT_TRUE(client.clickMenuPath({"○  Music", "Resume"}));
    EXPECT_TRUE(spinUntil([&] { return saved()["appConfig"]["backupInterval"] == "4hr"; }));
    EXPECT_TRUE(spinUntil([&] { return BackupPair::fromJson(saved()["pairs"][1]).isEnabled; }));
    menu = client.menu();
    ASSERT_TRUE(menu);
    const DBusMenuEntry* frequency = menu->child(QStringLiteral("Settings"))->child(QStringLiteral("Backup Frequency"));
    EXPECT_TRUE(frequency->child(QStringLiteral("Every 4 Hours"))->isChecked());
    EXPECT_FALSE(frequency->child(QStringLiteral("Every Hour"))->isChecked());
    music = menu->childEndingWith(QStringLiteral("  Music"));
    ASSERT_TRUE(music);
    EXPECT_TRUE(music->child(QStringLiteral("Back Up Now"))->isEnabled());
    EXPECT_TRUE(music->child(QStringLiteral("Pause")));

    // The backups show in the recent activity; clearing it empties the log file. Each pair's run
    // ends with its health check, so once both are listed no run adds to the log after the clearing.
    ASSERT_TRUE(spinUntil(
        [&] {
            const auto shown = client.menu();
            if (!shown)
                return false;
            const QStringList entries = shown->child(QStringLiteral("Recent Activity"))->childLabels();
            const auto listed = [&](const QString& prefix) {
                return std::any_of(entries.begin(), entries.end(), [&](const QString& e) { return e.startsWith(prefix); });
            };
            return listed(QStringLiteral("☑ Docs")) && listed(QStringLiteral("☑ Music"));
        },
        30000));
    ASSERT_TRUE(client.clickMenuPath({"Settings", "Launch at Login"}));
    ASSERT_TRUE(client.clickMenuPath({"Recent Activity", "Clear History"}));
    EXPECT_TRUE(spinUntil([&] { return !fs::exists(autostart); }));
    EXPECT_TRUE(spinUntil([&] { return readFile(dataDir() / "backup-log.json") == "[]"; }));
    menu = client.menu();
    ASSERT_TRUE(menu);
    EXPECT_FALSE(menu->child(QStringLiteral("Settings"))->child(QStringLiteral("Launch at Login"))->isChecked());
    EXPECT_EQ(menu->child(QStringLiteral("Recent Activity"))->childLabels(), QStringList{"No activity yet"});
    EXPECT_FALSE(saved()["appConfig"]["launchAtLogin"].get<bool>());

    if (testXServer() && haveXdotool()) {
        ASSERT_TRUE(client.clickMenuItem(QStringLiteral("Add Folder…")));
        EXPECT_TRUE(waitForWindows(QStringLiteral("Larkfold"), 1));
        ASSERT_TRUE(client.clickMenuItem(QStringLiteral("How Larkfold Works")));
        EXPECT_TRUE(waitForWindows(QStringLiteral("How Larkfold Works"), 1));
    }
    ASSERT_TRUE(client.clickMenuItem(QStringLiteral("Quit Larkfold")));
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitCode(), 0);
}

// A real XEmbed tray (trayer) instead of the stand-in panel: the icon docks in it, and real
// clicks open the menu (chosen from with the keyboard) and the popover, which opens under the icon.
TEST_F(ApplicationTest, DockedInAnXEmbedTrayRealClicksOpenTheMenuAndThePopover)
{
    LARKFOLD_REQUIRE_X_SERVER();
    if (!haveXdotool() || QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        GTEST_SKIP() << "trayer or xdotool is not installed";
    // No StatusNotifierItem host on the bus: the program falls back to the XEmbed tray.
    m_watcher.reset();
    QProcess tray;
    tray.setProcessEnvironment(environment());
    tray.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                          QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                                          QStringLiteral("--height"), QStringLiteral("24"), QStringLiteral("--transparent"),
                                          QStringLiteral("false")});
    ASSERT_TRUE(tray.waitForStarted(5000));
    const auto stopTray = qScopeGuard([&] {
        tray.terminate();
        if (!tray.waitForFinished(5000))
            tray.kill();
    });
    ASSERT_TRUE(spinUntil(traySelectionOwned, 10000));

    writeConfig({}, true);
    QProcess& app = start();
    QString icon;
    ASSERT_TRUE(spinUntil(
        [&] {
            const QStringList icons = programWindows(QStringLiteral("Larkfold"));
            icon = icons.value(0);
            return icons.size() == 1 && windowGeometry(icon).width() > 0;
        },
        20000));
    const QRect iconGeometry = windowGeometry(icon);
    EXPECT_LE(iconGeometry.bottom(), 24) << "docked in the panel at the top";
    EXPECT_GE(iconGeometry.right(), 1280 - 40) << "at the right";

    // Right click: the menu; its second item from the bottom is "About Larkfold".
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), icon, QStringLiteral("8"), QStringLiteral("8"),
             QStringLiteral("click"), QStringLiteral("3")});
    ASSERT_TRUE(spinUntil([&] { return programWindows(QStringLiteral("Larkfold")).size() == 2; }, 10000));
    xdotool({QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Return")});
    EXPECT_TRUE(waitForWindows(QStringLiteral("About Larkfold"), 1));

    // A left click hides the window, the next opens the popover under the icon. Clicks are kept
    // a double-click apart: the tray reports a second quick press as a double click, not a click.
    QElapsedTimer sinceClick;
    const auto leftClick = [&] {
        if (sinceClick.isValid())
            spinFor(int(std::max<qint64>(0, QApplication::doubleClickInterval() + 100 - sinceClick.elapsed())));
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), icon, QStringLiteral("8"),
                 QStringLiteral("8"), QStringLiteral("click"), QStringLiteral("1")});
        sinceClick.start();
    };
    leftClick();
    EXPECT_TRUE(waitForWindows(QStringLiteral("About Larkfold"), 0));
    leftClick();
    QString popover;
    ASSERT_TRUE(spinUntil(
        [&] {
            for (const QString& id : programWindows(QStringLiteral("Larkfold")))
                if (id != icon)
                    popover = id;
            return !popover.isEmpty();
        },
        10000));
    const QRect placed = windowGeometry(popover);
    EXPECT_EQ(placed.size(), QSize(300, 360));
    EXPECT_GE(placed.top(), iconGeometry.bottom()) << "under the icon";
    EXPECT_LE(placed.top(), iconGeometry.bottom() + 8);
    EXPECT_LE(placed.right(), 1279) << "on the screen";
    EXPECT_GE(placed.right(), iconGeometry.left()) << "reaching to the icon";

    // Quit from the menu, its last item.
    leftClick();
    EXPECT_TRUE(spinUntil([&] { return programWindows(QStringLiteral("Larkfold")).size() == 1; }, 10000));
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), icon, QStringLiteral("8"), QStringLiteral("8"),
             QStringLiteral("click"), QStringLiteral("3")});
    ASSERT_TRUE(spinUntil([&] { return programWindows(QStringLiteral("Larkfold")).size() == 2; }, 10000));
    xdotool({QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Return")});
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitCode(), 0);
}

// Started where there is no desktop (a remote shell, a service), it says so in one line instead
// of Qt's abort about platform plugins; a platform that needs no display still starts.
TEST_F(ApplicationTest, SaysItNeedsAGraphicalSessionWithoutADisplay)
{
    QProcessEnvironment headless = environment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(QString::fromLatin1(name));
    QProcess& refused = start(m_program, {}, headless);
    ASSERT_TRUE(refused.waitForFinished(30000));
    EXPECT_EQ(refused.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_EQ(refused.readAllStandardError().toStdString(), "Larkfold needs a graphical desktop session.\n");
    EXPECT_FALSE(fs::exists(dataDir() / "larkfold.lock")) << "it left before doing anything";

    QProcess& offscreen = start(m_program, {QStringLiteral("-platform"), QStringLiteral("offscreen")}, headless);
    ASSERT_TRUE(waitUntilLocked());
    ::kill(pid_t(offscreen.processId()), SIGTERM);
    ASSERT_TRUE(offscreen.waitForFinished(30000));
    EXPECT_EQ(offscreen.exitCode(), 0);
    EXPECT_FALSE(offscreen.readAllStandardError().contains("graphical desktop session"));
}

// Started from a shell on a desktop without a screen saver, NetworkManager or logind, the terminal
// shows none of the lines that say what it goes without.
TEST_F(ApplicationTest, KeepsStartUpNotesOffTheTerminal)
{
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        GTEST_SKIP() << "script (util-linux) is not installed";
    const auto notes = {"NetworkManager is not on the system bus", "No screen saver on the session bus",
                        "Session locking is not seen"};
    // The same start with standard error in a pipe, which is where such notes go without a journal.
    QProcess& piped = start();
    ASSERT_FALSE(m_watcher->waitForItem(15000).isEmpty());
    ::kill(pid_t(piped.processId()), SIGTERM);
    ASSERT_TRUE(piped.waitForFinished(30000));
    const QString logged = QString::fromUtf8(piped.readAllStandardError());
    for (const char* note : notes)
        ASSERT_TRUE(logged.contains(QLatin1String(note))) << note << " is not written here at all:\n" << logged.toStdString();

    ASSERT_TRUE(spinUntil([&] { return m_watcher->items().isEmpty(); }, 15000));

    // script runs the program on a terminal of its own and copies what it shows to its output.
    QProcess& terminal = start(QStringLiteral("script"), {QStringLiteral("-qfec"), m_program, QStringLiteral("/dev/null")});
    ASSERT_FALSE(m_watcher->waitForItem(15000).isEmpty());
    ::kill(pid_t(terminal.processId()), SIGTERM);
    ASSERT_TRUE(terminal.waitForFinished(30000));
    const QString shown = QString::fromUtf8(terminal.readAllStandardOutput() + terminal.readAllStandardError());
    for (const char* note : notes)
        EXPECT_FALSE(shown.contains(QLatin1String(note))) << shown.toStdString();
}
