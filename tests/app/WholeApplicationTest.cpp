// One user's story with the real program, from the first launch to the quit: onboarding onto a
// drive, backups as files change, the drive unplugged and plugged in again, a restore, a filed
// project. The drive is a kept tmpfs bound below /media inside a mount namespace of the
// program's own, so unmounting and mounting it again keeps its backups and the host is untouched.

#include "ProgramFixture.h"
#include "platform/Json.h"
#include "store/AppConfig.h"
#include "store/BackupEvent.h"
#include "store/BackupPair.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"
#include "support/StatusNotifierItemClient.h"
#include "support/TempTree.h"
#include "support/TestDisplay.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

const QString kMountPoint = QStringLiteral("/media/LarkfoldE2E");
const QString kWelcomeTitle = QStringLiteral("Welcome to Larkfold");
const QString kSourcePanelTitle = QStringLiteral("Select the folder you want to keep backed up.");
const QString kDestinationPanelTitle = QStringLiteral("Choose or create a folder for your backups");
const QString kProjectPanelTitle = QStringLiteral("Choose the finished project folder");
const QString kArchivePanelTitle =
    QStringLiteral("Choose the folder your archive lives in — the one holding your year folders");
const QString kFilingTitle = QStringLiteral("File a Finished Project");
const QString kPairName = QStringLiteral("Papers");
constexpr const char* kProjectName = "Lakeside Wedding 2024";
// Theme's green itself, not the faded green of a disabled button.
constexpr int kSolid = 12;

// Inside the namespace: a tmpfs over /media so the mount point is made there and not on the host,
// then the drive's own tmpfs, kept at "$1" and bound at the mount point, then the program.
constexpr const char* kDriveScript = R"(set -e
mount -t tmpfs -o mode=0755 larkfold-e2e-media /media
mkdir "$2"
mount -t tmpfs -o mode=0755 larkfold-e2e-drive "$1"
mount --bind "$1" "$2"
shift 2
exec "$@"
)";

// How a mount namespace of our own can be had here: as root, or in a new user namespace that
// keeps the user's own id (the session bus checks it) and the namespace's capabilities.
struct NamespaceTools {
    QStringList unshare; // arguments to unshare, before the command
    bool userNamespace = false;
};

bool unshareWorks(const QStringList& arguments)
{
    QProcess probe;
    probe.start(QStringLiteral("unshare"),
                arguments + QStringList{"sh", "-c", "mount -t tmpfs larkfold-e2e-probe /media"});
    return probe.waitForFinished(15000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

std::optional<NamespaceTools> namespaceTools()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("nsenter")).isEmpty() || !fs::is_directory("/media"))
        return std::nullopt;
    if (::geteuid() == 0 && unshareWorks({"--mount", "--propagation", "private"}))
        return NamespaceTools{{"--mount", "--propagation", "private"}, false};
    if (unshareWorks({"--user", "--map-current-user", "--keep-caps", "--mount"}))
        return NamespaceTools{{"--user", "--map-current-user", "--keep-caps", "--mount"}, true};
    return std::nullopt;
}

void put(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    writeFile(path, content);
}

std::string randomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = char(generator() & 0xFF);
    return bytes;
}

// Every regular file below `folder` by its path inside it, with its bytes.
std::map<std::string, std::string> filesBelow(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file())
            files[it->path().lexically_relative(folder).string()] = readFile(it->path());
    return files;
}

// Names below `folder` that only a copy or a restore under way would leave.
std::vector<std::string> temporaryNames(const fs::path& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(".larktmp-") || name.starts_with(".larkresume-") || name.find(".restore-") != std::string::npos)
            found.push_back(it->path().string());
    }
    return found;
}

// Whether the window shows something else than `before`: the next step, after a key or a click.
bool shotChanged(const QString& window, const QImage& before)
{
    const QImage now = windowImage(window);
    return !now.isNull() && now != before;
}

// Whether anything is drawn in `area` of the window: pixels unlike the window's own background.
bool hasInk(const QString& window, const QRect& area)
{
    const QImage image = windowImage(window);
    if (image.isNull())
        return false;
    const QColor background = image.pixelColor(1, image.height() / 2);
    const QRect within = area.intersected(image.rect());
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - background.red()) + std::abs(pixel.green() - background.green())
                    + std::abs(pixel.blue() - background.blue())
                > 90)
                return true;
        }
    return false;
}

class WholeApplicationTest : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        LARKFOLD_REQUIRE_X_SERVER();
        if (!haveXdotool())
            GTEST_SKIP() << "xdotool is not installed";
        m_tools = namespaceTools();
        if (!m_tools)
            GTEST_SKIP() << "no private mount namespace here: unshare --mount needs root, and a user namespace "
                            "(unshare --user --map-root-user --mount) is refused too";
        fs::create_directories(m_store);
    }

    // The program in its namespace with the drive mounted, and a process that keeps the namespace
    // (and the drive's tmpfs) after the program has quit.
    QProcess& launch()
    {
        QProcess& app = start(QStringLiteral("unshare"),
                              m_tools->unshare
                                  + QStringList{"sh", "-c", kDriveScript, "sh",
                                                QString::fromStdString(m_store.string()), kMountPoint, m_program});
        m_pid = pid_t(app.processId());
        // The program is in the namespace once its mount point is there.
        EXPECT_TRUE(spinUntil([&] { return fs::is_directory(driveIn(m_pid)); }, 10000));
        QProcess& keeper = start(QStringLiteral("nsenter"), nsenter(QStringList{"cat"}));
        m_keeper = pid_t(keeper.processId());
        EXPECT_TRUE(spinUntil([&] { return fs::is_directory(drive()); }, 10000));
        return app;
    }

    QStringList nsenter(const QStringList& command) const
    {
        QStringList arguments{"-t", QString::number(m_pid)};
        if (m_tools->userNamespace)
            arguments << "-U" << "--preserve-credentials";
        return arguments + QStringList{"-m", "--"} + command;
    }

    // Runs `change` (a mount or an unmount, 0 or -1 with errno) in a child that has joined the
    // program's namespaces, as a forked child keeps the capabilities there that a command
    // started by nsenter would lose; none when it succeeded, else the error.
    std::optional<std::string> inNamespace(const std::function<int()>& change) const
    {
        const fs::path namespaces = fs::path("/proc") / std::to_string(m_pid) / "ns";
        const int user = m_tools->userNamespace ? ::open((namespaces / "user").c_str(), O_RDONLY | O_CLOEXEC) : -1;
        const int mounts = ::open((namespaces / "mnt").c_str(), O_RDONLY | O_CLOEXEC);
        const pid_t child = ::fork();
        if (child == 0) {
            if ((m_tools->userNamespace && ::setns(user, CLONE_NEWUSER) != 0) || ::setns(mounts, CLONE_NEWNS) != 0
                || change() != 0)
                ::_exit(errno ? errno : EINVAL);
            ::_exit(0);
        }
        int status = 0;
        const bool waited = child > 0 && ::waitpid(child, &status, 0) == child;
        if (user >= 0)
            ::close(user);
        ::close(mounts);
        if (!waited || !WIFEXITED(status))
            return "the child did not finish";
        if (WEXITSTATUS(status) != 0)
            return std::strerror(WEXITSTATUS(status));
        return std::nullopt;
    }

    // Ejected as a user does: refused while the program still has the drive in use (a run, or
    // the fingerprints after it), so tried again until it is not.
    void unplugDrive() const
    {
        const std::string point = kMountPoint.toStdString();
        std::optional<std::string> failure;
        spinUntil([&] { return !(failure = inNamespace([&] { return ::umount2(point.c_str(), 0); })); }, 30000);
        ASSERT_FALSE(failure) << *failure << "; open below the mount point:" << openBelowDrive();
    }

    void plugDriveIn() const
    {
        const std::string point = kMountPoint.toStdString();
        const auto failure =
            inNamespace([&] { return ::mount(m_store.c_str(), point.c_str(), nullptr, MS_BIND, nullptr); });
        ASSERT_FALSE(failure) << *failure;
    }

    // The program's open files on the drive, for a drive that cannot be ejected.
    std::string openBelowDrive() const
    {
        std::string open;
        std::error_code error;
        for (const auto& fd : fs::directory_iterator(fs::path("/proc") / std::to_string(m_pid) / "fd", error)) {
            const std::string target = fs::read_symlink(fd.path(), error).string();
            if (target.starts_with(kMountPoint.toStdString()))
                open += "\n  " + target;
        }
        return open;
    }

    static fs::path driveIn(pid_t pid) { return fs::path("/proc") / std::to_string(pid) / "root" / kMountPoint.mid(1).toStdString(); }
    // The drive's mount point as the program sees it, also after it has quit.
    fs::path drive() const { return driveIn(m_keeper); }
    fs::path backupFolder() const { return drive() / "Larkfold" / kPairName.toStdString(); }

    bool backupMatches(const std::string& relative, const std::string& bytes) const
    {
        std::error_code error;
        return fs::is_regular_file(backupFolder() / relative, error) && readFile(backupFolder() / relative) == bytes;
    }

    std::vector<BackupEvent::EventType> loggedEvents() const
    {
        const std::string text = readFile(dataDir() / "backup-log.json");
        std::vector<BackupEvent::EventType> types;
        if (text.empty())
            return types;
        const platform::Json log = platform::parseJson(text);
        for (const auto& entry : log)
            types.push_back(BackupEvent::fromJson(entry).type);
        return types;
    }

    bool logged(BackupEvent::EventType type) const
    {
        const auto types = loggedEvents();
        return std::find(types.begin(), types.end(), type) != types.end();
    }

    // The notifications received, as "<summary>: <body>".
    QStringList notifications() const
    {
        QStringList summaries;
        for (const auto& call : m_notifications->calls())
            summaries << call.summary + QStringLiteral(": ") + call.body;
        return summaries;
    }

    // The popover, opened with a left click on the item; its window, or empty.
    QString openPopover(StatusNotifierItemClient& client) const
    {
        focusFollowsPointer();
        std::fprintf(stderr, "F0 %s\n", qUtf8Printable(xdotool({"getwindowfocus", "-f"}).join(' ')));
        if (!client.activate())
            return {};
        if (qEnvironmentVariableIsSet("WAIT")) spinFor(1500);
        return waitForProgramWindow(QStringLiteral("Larkfold"));
    }

    // The next left click closes it.
    void closePopover(StatusNotifierItemClient& client) const
    {
        ASSERT_TRUE(client.activate());
        ASSERT_TRUE(waitForWindows(QStringLiteral("Larkfold"), 0));
    }

    // The popover opened, shot as `name`, and closed again.
    void shootPopover(StatusNotifierItemClient& client, const QString& name) const
    {
        const QString popover = openPopover(client);
        ASSERT_FALSE(popover.isEmpty());
        saveWindowShot(popover, name);
        ASSERT_NO_FATAL_FAILURE(closePopover(client));
    }

    // The visible window of the program that none of `known` is: a menu that just opened.
    QString newProgramWindow(const QStringList& known) const
    {
        QString found;
        spinUntil(
            [&] {
                for (const QString& id : xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                  QStringLiteral("--class"), QStringLiteral("larkfold")}))
                    if (!known.contains(id) && windowGeometry(id).width() > 0)
                        found = id;
                return !found.isEmpty();
            },
            10000);
        return found;
    }

    std::optional<NamespaceTools> m_tools;
    fs::path m_store = m_home / "drive-store";
    pid_t m_pid = 0;
    pid_t m_keeper = 0;
};

} // namespace

TEST_F(WholeApplicationTest, OneUsersStoryFromFirstLaunchToQuit)
{
    const fs::path source = m_home / "Papers";
    std::map<std::string, std::string> sourceFiles{
        {"thesis.txt", "Chapter one.\nIt was a bright cold day in April.\n"},
        {"notes/ideas.md", "# Ideas\n- a second chapter\n"},
        {"figures/plot.bin", randomBytes(300 * 1024, 7)},
    };
    for (const auto& [relative, bytes] : sourceFiles)
        put(source / relative, bytes);

    QProcess& app = launch();
    const QString item = m_watcher->waitForItem(15000);
    ASSERT_FALSE(item.isEmpty());
    StatusNotifierItemClient client(testSessionBus().connection(QStringLiteral("panel")), item);
    const auto toolTip = [&] { return client.toolTipTitle().value_or(QString()); };

    // First launch: onboarding, with the drive picked as "any folder" (a tmpfs is no drive row).
    {
        const QString welcome = waitForProgramWindow(kWelcomeTitle);
        ASSERT_FALSE(welcome.isEmpty());
        saveWindowShot(welcome, QStringLiteral("e2e-welcome-source"));
        clickAt(welcome, {240, 185}); // the drop zone
        ASSERT_NO_FATAL_FAILURE(answerFolderPanel(kSourcePanelTitle, source, QStringLiteral("e2e-panel-source")));
        saveWindowShot(welcome, QStringLiteral("e2e-welcome-source-chosen"));
        pressReturnIn(welcome); // Next
        std::optional<QPoint> link;
        ASSERT_TRUE(spinUntil([&] { return (link = greenLink(welcome)).has_value(); }));
        saveWindowShot(welcome, QStringLiteral("e2e-welcome-destination"));
        const QImage destinationStep = windowImage(welcome);
        clickAt(welcome, *link); // "Choose any folder…"
        ASSERT_NO_FATAL_FAILURE(answerFolderPanel(kDestinationPanelTitle, kMountPoint.toStdString(),
                                                  QStringLiteral("e2e-panel-destination")));
        ASSERT_TRUE(spinUntil([&] { return shotChanged(welcome, destinationStep); }));
        saveWindowShot(welcome, QStringLiteral("e2e-welcome-offsite"));
        const QImage offsiteStep = windowImage(welcome);
        pressReturnIn(welcome); // no offsite copy: Next
        ASSERT_TRUE(spinUntil([&] { return shotChanged(welcome, offsiteStep); }));
        saveWindowShot(welcome, QStringLiteral("e2e-welcome-review"));
        pressReturnIn(welcome); // Start Backing Up
        ASSERT_TRUE(waitForWindows(kWelcomeTitle, 0));
    }
    ASSERT_TRUE(spinUntil(
        [&] {
            for (const auto& [relative, bytes] : sourceFiles)
                if (!backupMatches(relative, bytes))
                    return false;
            return true;
        },
        30000))
        << "the first backup lands in <drive>/Larkfold/" << kPairName.toStdString();
    {
        const platform::Json saved = platform::parseJson(readFile(dataDir() / "config.json"));
        ASSERT_EQ(saved["pairs"].size(), 1u);
        const BackupPair pair = BackupPair::fromJson(saved["pairs"][0]);
        EXPECT_EQ(pair.name, kPairName);
        EXPECT_EQ(pair.sourceURL, source);
        EXPECT_EQ(pair.destinationURL, fs::path(kMountPoint.toStdString()));
    }

    // A change in the source reaches the backup: the watcher's wait, then the run.
    {
        const QString popover = openPopover(client);
        ASSERT_FALSE(popover.isEmpty());
        for (int i = 0; i < 120; ++i)
            sourceFiles["drafts/draft-" + std::to_string(i) + ".txt"] = "draft " + std::to_string(i) + "\n";
        sourceFiles["chapter-two.txt"] = "Chapter two.\n";
        for (const auto& [relative, bytes] : sourceFiles)
            if (relative.starts_with("drafts/") || relative == "chapter-two.txt")
                put(source / relative, bytes);
        // Each file waits a little while the user is active, so the run is seen under way.
        EXPECT_TRUE(spinUntil([&] { return toolTip() == QStringLiteral("Backup in progress…"); }, 15000));
        saveWindowShot(popover, QStringLiteral("e2e-popover-backing-up"));
        ASSERT_TRUE(spinUntil([&] { return backupMatches("chapter-two.txt", sourceFiles["chapter-two.txt"]); }, 15000));
        // Settled: the last run's outcome has been on show and no other run follows.
        ASSERT_TRUE(spinUntil([&] { return toolTip() == QStringLiteral("Up to date"); }, 30000)) << toolTip().toStdString();
        saveWindowShot(popover, QStringLiteral("e2e-popover-up-to-date"));
        ASSERT_NO_FATAL_FAILURE(closePopover(client));
    }

    // The drive unplugged: the pair waits for it, says so, and nothing is written to the bare mount point.
    ASSERT_NO_FATAL_FAILURE(unplugDrive());
    EXPECT_TRUE(spinUntil([&] { return toolTip() == QStringLiteral("1 of 1 pair(s) need attention"); }, 15000))
        << toolTip().toStdString();
    EXPECT_TRUE(spinUntil([&] { return logged(BackupEvent::EventType::volumeLost); }, 10000));
    const QStringList driveDisconnected{QStringLiteral("Backup Drive Disconnected: ") + kPairName
                                        + QStringLiteral(" can't back up until the drive is reconnected.")};
    EXPECT_TRUE(spinUntil([&] { return notifications() == driveDisconnected; }, 10000)) << notifications().join(u'|').toStdString();
    ASSERT_NO_FATAL_FAILURE(shootPopover(client, QStringLiteral("e2e-popover-drive-missing")));
    sourceFiles["written-while-away.txt"] = "Written while the drive was away.\n";
    put(source / "written-while-away.txt", sourceFiles["written-while-away.txt"]);
    {
        const auto menu = client.menu();
        ASSERT_TRUE(menu);
        EXPECT_TRUE(menu->child(QStringLiteral("⚠  ") + kPairName)) << menu->childLabels().join(u'|').toStdString();
    }
    EXPECT_TRUE(fs::is_empty(drive())) << "nothing lands on the empty mount point";

    // Plugged in again: the pair comes back by itself and backs up what changed meanwhile.
    ASSERT_NO_FATAL_FAILURE(plugDriveIn());
    EXPECT_TRUE(spinUntil([&] { return logged(BackupEvent::EventType::volumeRestored); }, 15000));
    ASSERT_TRUE(spinUntil([&] { return backupMatches("written-while-away.txt", sourceFiles["written-while-away.txt"]); },
                          15000));
    EXPECT_TRUE(spinUntil([&] { return toolTip().startsWith(QStringLiteral("Backed up ")); }, 15000)) << toolTip().toStdString();
    {
        const auto menu = client.menu();
        ASSERT_TRUE(menu);
        const DBusMenuEntry* activity = menu->child(QStringLiteral("Recent Activity"));
        ASSERT_TRUE(activity);
        const QStringList entries = activity->childLabels();
        const auto has = [&](const QString& prefix) {
            return std::any_of(entries.begin(), entries.end(), [&](const QString& e) { return e.startsWith(prefix); });
        };
        EXPECT_TRUE(has(QStringLiteral("↩ ") + kPairName + QStringLiteral(" — Drive Reconnected"))) << entries.join(u'|').toStdString();
        EXPECT_TRUE(has(QStringLiteral("⏏ ") + kPairName + QStringLiteral(" — Drive Disconnected"))) << entries.join(u'|').toStdString();
    }
    EXPECT_EQ(notifications(), driveDisconnected) << "at the default level a reconnection and good backups tell nothing more";

    // A restore: with the pair paused (so the next run does not set the file aside), a deleted
    // file comes back from the backup through the popover's row menu and the restore window.
    ASSERT_TRUE(client.clickMenuPath({QStringLiteral("*  ") + kPairName, QStringLiteral("Pause")}));
    ASSERT_TRUE(spinUntil([&] { return toolTip() == QStringLiteral("Paused"); }, 10000)) << toolTip().toStdString();
    fs::remove(source / "thesis.txt");
    {
        const QString popover = openPopover(client);
        ASSERT_FALSE(popover.isEmpty());
        saveWindowShot(popover, QStringLiteral("e2e-popover-paused"));
        clickAt(popover, {150, 70}, 3); // the pair's row
        const QString menu = newProgramWindow({popover});
        ASSERT_FALSE(menu.isEmpty());
        saveWindowShot(menu, QStringLiteral("e2e-popover-row-menu"));
        // From the bottom: Remove This Backup…, Redo Smart Setup…, Restore Files…
        xdotool({QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Up"),
                 QStringLiteral("Return")});
    }
    const QString restore = waitForProgramWindow(QStringLiteral("Restore — ") + kPairName);
    ASSERT_FALSE(restore.isEmpty());
    ASSERT_TRUE(spinUntil([&] { return hasInk(restore, {16, 112, 24, 24}); }, 15000)) << "the list with its Select All box";
    saveWindowShot(restore, QStringLiteral("e2e-restore-list"));
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), restore});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("thesis")});
    // Past Select All to the one file left, ticked with Space.
    xdotool({QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space")});
    std::optional<QPoint> restoreButton;
    const QRect restoreGeometry = windowGeometry(restore);
    const QRect footer(0, restoreGeometry.height() - 70, restoreGeometry.width(), 70);
    const QColor buttonGreen = Theme::greenButtonFill();
    ASSERT_TRUE(spinUntil([&] { return (restoreButton = greenArea(restore, footer, kSolid, {20, 10}, buttonGreen)).has_value(); }, 10000))
        << "Restore to Original is enabled once the file is ticked";
    saveWindowShot(restore, QStringLiteral("e2e-restore-ticked"));
    clickAt(restore, *restoreButton);
    ASSERT_TRUE(spinUntil([&] { return readFile(source / "thesis.txt") == sourceFiles["thesis.txt"]; }, 15000));
    EXPECT_TRUE(spinUntil([&] { return greenArea(restore, footer, kSolid, {20, 10}, buttonGreen).has_value(); }, 10000)) << "the restore has ended";
    EXPECT_TRUE(temporaryNames(source).empty());
    saveWindowShot(restore, QStringLiteral("e2e-restore-done"));
    ASSERT_TRUE(client.clickMenuPath({QStringLiteral("*  ") + kPairName, QStringLiteral("Resume")}));
    EXPECT_TRUE(spinUntil([&] { return toolTip().startsWith(QStringLiteral("Backed up ")); }, 15000)) << toolTip().toStdString();

    // A finished project filed to an archive on the drive, its rebuildable cache to the Trash.
    const fs::path project = m_home / "Projects" / kProjectName;
    const std::map<std::string, std::string> projectFiles{
        {"1 Documents/brief.txt", "Ceremony at four.\n"},
        {"2 Project Files/wedding.prproj", randomBytes(20 * 1024, 11)},
        {"3 Media/clip-001.mov", randomBytes(200 * 1024, 13)},
        {"4 Renders/rough-cut.mp4", randomBytes(50 * 1024, 17)},
        {"5 Drafts/titles.txt", "Anna & Ben\n"},
        {"6 Finals/wedding-final.mp4", randomBytes(80 * 1024, 19)},
    };
    for (const auto& [relative, bytes] : projectFiles)
        put(project / relative, bytes);
    put(project / "3 Media/Thumbs.db", "clutter");
    put(project / "2 Project Files/Render Files/preview-0001.bin", randomBytes(64 * 1024, 23));
    fs::create_directories(drive() / "Archive");
    {
        ASSERT_TRUE(client.clickMenuItem(QStringLiteral("File a Finished Project…")));
        const QString filing = waitForProgramWindow(kFilingTitle);
        ASSERT_FALSE(filing.isEmpty());
        saveWindowShot(filing, QStringLiteral("e2e-filing-choose"));
        pressReturnIn(filing); // Choose Project Folder…
        ASSERT_NO_FATAL_FAILURE(answerFolderPanel(kProjectPanelTitle, project, QStringLiteral("e2e-panel-project")));
        // The review of a project without warnings: its tidy-up box below the archive row.
        ASSERT_TRUE(spinUntil([&] { return hasInk(filing, {16, 170, 16, 16}); })) << "the review with its tidy-up box";
        saveWindowShot(filing, QStringLiteral("e2e-filing-review"));
        clickAt(filing, {23, 177}); // remove the rebuildable cache
        clickAt(filing, {windowGeometry(filing).width() - 57, 142}); // Archive folder: Choose…
        ASSERT_NO_FATAL_FAILURE(
            answerFolderPanel(kArchivePanelTitle, kMountPoint.toStdString() + "/Archive", QStringLiteral("e2e-panel-archive")));
        saveWindowShot(filing, QStringLiteral("e2e-filing-ready"));
        pressReturnIn(filing); // File It
        ASSERT_TRUE(spinUntil([&] { return greenArea(filing, {0, 0, 60, 60}, kSolid, {12, 12}).has_value(); }, 20000))
            << "the finished step's check mark";
        saveWindowShot(filing, QStringLiteral("e2e-filing-finished"));
    }
    const fs::path filed = drive() / "Archive/2024" / kProjectName;
    for (const auto& [relative, bytes] : projectFiles) {
        EXPECT_EQ(readFile(filed / relative), bytes) << relative;
        EXPECT_EQ(readFile(project / relative), bytes) << "the original stays: " << relative;
    }
    EXPECT_FALSE(fs::exists(filed / "3 Media/Thumbs.db")) << "clutter is not filed";
    EXPECT_FALSE(fs::exists(filed / "2 Project Files/Render Files"));
    {
        const platform::Json manifest = platform::parseJson(readFile(filed / ".larkfold-manifest.json"));
        std::map<std::string, std::int64_t> listed;
        for (const auto& entry : manifest["files"])
            listed[entry["path"].get<std::string>()] = entry["bytes"].get<std::int64_t>();
        std::map<std::string, std::int64_t> expected;
        for (const auto& [relative, bytes] : projectFiles)
            expected[relative] = std::int64_t(bytes.size());
        EXPECT_EQ(listed, expected);
    }
    // Only the cache went, as asked, and to the desktop's Trash, where it can be taken back from.
    EXPECT_FALSE(fs::exists(project / "2 Project Files/Render Files"));
    EXPECT_EQ(readFile(project / "3 Media/Thumbs.db"), "clutter");
    const fs::path trash = m_home / ".local/share/Trash";
    EXPECT_EQ(filesBelow(trash / "files"),
              (std::map<std::string, std::string>{{"Render Files/preview-0001.bin", randomBytes(64 * 1024, 23)}}));
    {
        const QString info = QString::fromStdString(readFile(trash / "info/Render Files.trashinfo"));
        const QString path = info.section(QStringLiteral("Path="), 1).section(u'\n', 0, 0);
        EXPECT_EQ(QUrl::fromPercentEncoding(path.toUtf8()).toStdString(), (project / "2 Project Files/Render Files").string())
            << info.toStdString();
    }

    // Quit on SIGTERM: everything saved, nothing lost, no half copies left behind.
    ::kill(m_pid, SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    const platform::Json saved = platform::parseJson(readFile(dataDir() / "config.json"));
    EXPECT_TRUE(AppConfig::fromJson(saved["appConfig"]).hasCompletedOnboarding);
    ASSERT_EQ(saved["pairs"].size(), 1u);
    EXPECT_TRUE(BackupPair::fromJson(saved["pairs"][0]).isEnabled);
    EXPECT_EQ(filesBelow(source), sourceFiles);
    for (const auto& [relative, bytes] : sourceFiles)
        EXPECT_TRUE(backupMatches(relative, bytes)) << relative;
    EXPECT_EQ(temporaryNames(drive()), std::vector<std::string>{});
}
