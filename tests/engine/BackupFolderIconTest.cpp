#include "engine/BackupFolderIcon.h"
#include "platform/FakeVolumeInfo.h"
#include "platform/FolderIcon.h"
#include "support/PrivateSessionBus.h"
#include "support/TempTree.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace larkfold;
using larkfold::platform::FakeVolumeInfo;
using larkfold::test::PrivateSessionBus;
using larkfold::test::TempTree;
using larkfold::test::writeFile;

namespace {

// The custom icon GIO reports for a path, "" when it has none.
std::string customIcon(const std::filesystem::path& path)
{
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("info"), QStringLiteral("-a"),
                                      QStringLiteral("metadata::custom-icon"), QString::fromStdString(path.string())});
    gio.waitForFinished(5000);
    const QString out = QString::fromUtf8(gio.readAllStandardOutput());
    const QString key = QStringLiteral("metadata::custom-icon: ");
    const qsizetype at = out.indexOf(key);
    return at < 0 ? "" : out.mid(at + key.size()).section(u'\n', 0, 0).toStdString();
}

class BackupFolderIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty())
            GTEST_SKIP() << "gio is not installed";
        ASSERT_TRUE(m_bus.isRunning());
        m_bus.exportAsSessionBus();
        m_tree.mkdir("probe");
        if (!platform::setFolderCustomIcon(m_tree.path("probe"), m_tree.write("probe.png", "png")))
            GTEST_SKIP() << "GIO metadata is not supported here (no gvfs metadata daemon)";
    }

    void TearDown() override { std::filesystem::remove(m_logo); }

    void installLogo()
    {
        std::filesystem::create_directories(m_logo.parent_path());
        writeFile(m_logo, "png");
    }

    PrivateSessionBus m_bus;
    TempTree m_tree{{"Larkfold/Photos/a.txt", "a"}, {"Larkfold/file", "x"}};
    const std::filesystem::path m_logo =
        std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "larkfold" / "LarkLogo.png";
    const std::string m_logoUri = "file://" + m_logo.string();
};

TEST_F(BackupFolderIconTest, LocalBackupFolderGetsTheLogoAndNoFileOfOurs)
{
    installLogo();
    const auto folder = m_tree.path("Larkfold/Photos");
    setBackupFolderIcon(folder);
    EXPECT_EQ(customIcon(folder), m_logoUri);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

    // A volume whose kind is unknown counts as local.
    const auto other = m_tree.mkdir("Larkfold/Music");
    setBackupFolderIcon(other, FakeVolumeInfo());
    EXPECT_EQ(customIcon(other), m_logoUri);
}

TEST_F(BackupFolderIconTest, LeftAloneWithoutLogoOnNetworkVolumesAndForWhatIsNoFolder)
{
    const auto folder = m_tree.path("Larkfold/Photos");
    setBackupFolderIcon(folder);
    EXPECT_EQ(customIcon(folder), "");

    installLogo();
    FakeVolumeInfo network;
    network.setVolume({.mountPoint = m_tree.root(), .space = std::nullopt, .id = 1, .isNetwork = true});
    setBackupFolderIcon(folder, network);
    EXPECT_EQ(customIcon(folder), "");

    setBackupFolderIcon(m_tree.path("Larkfold/file"));
    EXPECT_EQ(customIcon(m_tree.path("Larkfold/file")), "");
    setBackupFolderIcon(m_tree.path("Larkfold/vanished"));
    EXPECT_FALSE(m_tree.exists("Larkfold/vanished"));
}

} // namespace
