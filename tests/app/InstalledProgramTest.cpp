// The program as `cmake --install` lays it out in a prefix of its own (the installed tree of the
// install tests), run from there: what the desktop learns of it by name.

#include "ProgramFixture.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"
#include "support/StatusNotifierItemClient.h"
#include "support/TempTree.h"
#include "support/TestDisplay.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kId = "io.larkfold.Larkfold";

// The entry's lines but those of the given keys.
std::vector<std::string> linesWithout(const std::string& entry, std::initializer_list<std::string> keys)
{
    std::vector<std::string> lines;
    std::istringstream in(entry);
    for (std::string line; std::getline(in, line);) {
        bool dropped = false;
        for (const std::string& key : keys)
            dropped = dropped || line.starts_with(key + "=");
        if (!dropped)
            lines.push_back(line);
    }
    return lines;
}

class InstalledProgramTest : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        m_prefix = fs::path(std::getenv("LARKFOLD_BINARY_DIR")) / "test-prefix";
        m_installed = QString::fromStdString((m_prefix / "bin/larkfold").string());
        ASSERT_TRUE(fs::exists(m_installed.toStdString())) << "the install tests' tree is not there";
    }

    // Runs the installed program with one stored pair that reports every backup, until the
    // backup's notification came; the item's icon name then.
    QString runUntilNotified(const QProcessEnvironment& environment)
    {
        m_tree.write("source/a.txt", "hello");
        m_tree.mkdir("dest");
        AppConfig config;
        config.hasCompletedOnboarding = true;
        config.notificationLevel = AppConfig::NotificationLevel::everyBackup;
        writeConfig({pairRecord(QStringLiteral("Photos"), m_tree.path("source"), m_tree.path("dest"))}, config);
        QProcess& app = start(m_installed, {}, environment);
        const QString item = m_watcher->waitForItem(15000);
        EXPECT_FALSE(item.isEmpty());
        if (item.isEmpty())
            return {};
        EXPECT_TRUE(spinUntil([&] { return !m_notifications->calls().empty(); }, 30000));
        StatusNotifierItemClient client(testSessionBus().connection(QStringLiteral("panel")), item);
        const QString iconName = client.property(QStringLiteral("IconName")).toString();
        ::kill(pid_t(app.processId()), SIGTERM);
        EXPECT_TRUE(app.waitForFinished(30000));
        return iconName;
    }

    fs::path m_prefix;
    QString m_installed;
    TempTree m_tree;
};

} // namespace

// Installed where the desktop looks (its data folders): the tray item and the notifications name
// the installed icons, the login item starts the installed program and repeats the desktop entry.
TEST_F(InstalledProgramTest, NamesItsInstalledIconsToTheDesktop)
{
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_DATA_DIRS"), QString::fromStdString((m_prefix / "share").string()) + ":/usr/share");
    const QString iconName = runUntilNotified(env);

    ASSERT_TRUE(iconName.startsWith(QLatin1String(kId) + QLatin1Char('-'))) << iconName.toStdString();
    EXPECT_TRUE(fs::exists(m_prefix / "share/icons/hicolor/scalable/status" / (iconName.toStdString() + ".svg")));
    ASSERT_FALSE(m_notifications->calls().empty());
    const auto& notification = m_notifications->calls().front();
    EXPECT_EQ(notification.summary, QStringLiteral("Backup Complete"));
    EXPECT_EQ(notification.appIcon, QLatin1String(kId));
    EXPECT_EQ(notification.hints.value(QStringLiteral("desktop-entry")).toString(), QLatin1String(kId));

    const fs::path autostart = m_home / ".config/autostart/larkfold.desktop";
    const std::string entry = readFile(autostart);
    EXPECT_NE(entry.find("\nExec=" + fs::canonical(m_prefix / "bin/larkfold").string() + "\n"), std::string::npos)
        << entry;
    EXPECT_EQ(linesWithout(entry, {"Exec", "X-GNOME-Autostart-enabled"}),
              linesWithout(readFile(m_prefix / "share/applications" / (std::string(kId) + ".desktop")), {"Exec"}));
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral("desktop-file-validate"), {QString::fromStdString(autostart.string())});
    ASSERT_TRUE(validate.waitForFinished(30000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
}

// Installed in a prefix the desktop does not search, the notifications carry the icon's file and
// the tray item only its pictures, so no host shows a missing image.
TEST_F(InstalledProgramTest, PointsAtItsIconFileWhereTheDesktopDoesNotLook)
{
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/share"));
    EXPECT_EQ(runUntilNotified(env), QString());
    ASSERT_FALSE(m_notifications->calls().empty());
    EXPECT_EQ(m_notifications->calls().front().appIcon.toStdString(),
              fs::canonical(m_prefix / "share/icons/hicolor/256x256/apps" / (std::string(kId) + ".png")).string());
}
