#include "platform/FileManager.h"
#include "support/EventLoop.h"
#include "support/FakeDesktopServices.h"
#include "support/PrivateSessionBus.h"

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::FakeFileManager;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinUntil;

// A name that is not UTF-8 still reaches the file manager byte for byte.
TEST(FileManager, AsksTheFileManagerForFoldersAndItems)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeFileManager fileManager(bus.connection(QStringLiteral("files")));
    ASSERT_TRUE(fileManager.isRegistered());
    int fallbacks = 0;
    platform::FileManager reveal([&](const QUrl&) { ++fallbacks; }, bus.connection(QStringLiteral("app")));

    reveal.showFolder("/srv/My Photos");
    reveal.showItem("/srv/caf\xe9.txt");
    ASSERT_TRUE(spinUntil([&] { return fileManager.calls().size() == 2; }));
    EXPECT_EQ(fileManager.calls().at(0), QStringLiteral("ShowFolders file:///srv/My%20Photos"));
    EXPECT_EQ(fileManager.calls().at(1), QStringLiteral("ShowItems file:///srv/caf%E9.txt"));
    EXPECT_EQ(fallbacks, 0);
}

TEST(FileManager, OpensTheFolderItselfWithoutAFileManager)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    std::vector<QUrl> opened;
    platform::FileManager reveal([&](const QUrl& url) { opened.push_back(url); }, bus.connection(QStringLiteral("app")));

    reveal.showFolder("/srv/backup");
    reveal.showItem("/srv/backup/notes.txt");
    ASSERT_TRUE(spinUntil([&] { return opened.size() == 2; }));
    EXPECT_EQ(opened.at(0), QUrl::fromLocalFile(QStringLiteral("/srv/backup")));
    EXPECT_EQ(opened.at(1), QUrl::fromLocalFile(QStringLiteral("/srv/backup")));
}
