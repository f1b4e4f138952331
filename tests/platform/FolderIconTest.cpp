#include "platform/FolderIcon.h"
#include "support/PrivateSessionBus.h"
#include "support/TempTree.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace larkfold::platform;
using larkfold::test::PrivateSessionBus;
using larkfold::test::TempTree;

namespace {

QString gioInfoIcon(const QString& uri)
{
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("info"), QStringLiteral("-a"),
                                      QStringLiteral("metadata::custom-icon"), uri});
    gio.waitForFinished(5000);
    return QString::fromUtf8(gio.readAllStandardOutput());
}

} // namespace

TEST(FolderIcon, ArgumentsCarryPathsAsByteExactFileUris)
{
    EXPECT_EQ(folderIconArguments("/media/d/Larkfold/caf\xe9 50%", "/usr/share/larkfold/LarkLogo.png"),
              (QStringList{QStringLiteral("set"), QStringLiteral("-t"), QStringLiteral("string"),
                           QStringLiteral("file:///media/d/Larkfold/caf%E9%2050%25"),
                           QStringLiteral("metadata::custom-icon"),
                           QStringLiteral("file:///usr/share/larkfold/LarkLogo.png")}));
}

// GIO keeps the icon in the desktop's metadata store, reached over the session bus.
TEST(FolderIcon, GioShowsTheIconAndNothingIsWrittenIntoTheFolder)
{
    if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty())
        GTEST_SKIP() << "gio is not installed";
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    bus.exportAsSessionBus();

    TempTree tree{{"caf\xe9/", ""}, {"logo.png", "png"}};
    const auto folder = tree.path("caf\xe9");
    if (!setFolderCustomIcon(folder, tree.path("logo.png")))
        GTEST_SKIP() << "GIO metadata is not supported here (no gvfs metadata daemon)";

    const QString folderUri = QString::fromLatin1(QByteArray::fromStdString("file://" + tree.root().string() + "/caf%E9"));
    const QString logoUri = QString::fromStdString("file://" + tree.path("logo.png").string());
    EXPECT_TRUE(gioInfoIcon(folderUri).contains(QStringLiteral("metadata::custom-icon: ") + logoUri));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(FolderIcon, WithoutGioNothingIsSetAndNothingFails)
{
    TempTree tree{{"backup/", ""}, {"logo.png", "png"}, {"bin/", ""}};
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", tree.path("bin").c_str(), 1);
    const bool set = setFolderCustomIcon(tree.path("backup"), tree.path("logo.png"));
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_FALSE(set);
    EXPECT_TRUE(std::filesystem::is_empty(tree.path("backup")));
}
