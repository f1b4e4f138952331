#include "engine/NestingMigration.h"

#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/Log.h"
#include "platform/MountSource.h"
#include "store/ConfigStore.h"
#include "support/LogCapture.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

const QString kCategory = QStringLiteral("NestingMigration");

BackupPair pairAt(const fs::path& destination, const QString& name)
{
    BackupPair pair;
    pair.id = QUuid::createUuid();
    pair.name = name;
    pair.sourceURL = "/home/ada/Source";
    pair.destinationURL = destination;
    pair.createdAt = QDateTime::currentDateTimeUtc();
    return pair;
}

// Every item below `root`, folders as "/", links as "-> target", files by their content.
std::map<std::string, std::string> snapshot(const fs::path& root)
{
    std::map<std::string, std::string> items;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_symlink())
            items[relative] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_directory())
            items[relative] = "/";
        else
            items[relative] = readFile(entry.path());
    }
    return items;
}

class NestingMigrationTest : public ::testing::Test {
protected:
    // The destination the user chose, itself named "Larkfold", on a drive folder.
    fs::path destination() const { return m_tree.path("Drive/Larkfold"); }

    void setPairs(std::vector<BackupPair> pairs) { m_store.setPairs(std::move(pairs)); }
    void run(platform::FileSystem& fileSystem = platform::systemFileSystem())
    {
        runNestingMigration(m_store, fileSystem, m_bookmarks);
    }

    platform::TextMountSource m_mounts{"1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"};
    platform::Bookmarks m_bookmarks{m_mounts};
    TempTree m_tree;
    TempDir m_data;
    ConfigStore m_store{m_data / "Larkfold"};
    LogCapture m_log;
};

TEST_F(NestingMigrationTest, MovesNestedContentsUpAndRemovesTheEmptyFolders)
{
    m_tree.write("Drive/Larkfold/Larkfold/Photos/a.jpg", "A");
    m_tree.write("Drive/Larkfold/Larkfold/Photos/.hidden", "H");
    m_tree.write("Drive/Larkfold/Larkfold/Photos/Trip/b.jpg", "B");
    m_tree.write("Drive/Larkfold/Larkfold/Music/song.flac", "S");
    m_tree.write("Drive/Larkfold/Photos/older.jpg", "O"); // a target folder that already exists
    const std::vector<BackupPair> pairs{pairAt(destination(), QStringLiteral("Photos")),
                                        pairAt(destination(), QStringLiteral("Music"))};
    setPairs(pairs);

    run();

    const std::map<std::string, std::string> expected{
        {"Music", "/"},  {"Music/song.flac", "S"}, {"Photos", "/"},          {"Photos/.hidden", "H"},
        {"Photos/a.jpg", "A"}, {"Photos/older.jpg", "O"}, {"Photos/Trip", "/"}, {"Photos/Trip/b.jpg", "B"},
    };
    EXPECT_EQ(snapshot(destination()), expected);
    EXPECT_EQ(m_store.pairs(), pairs);
    EXPECT_FALSE(fs::exists(m_store.configFileURL()));

    EXPECT_EQ(m_log.count(QStringLiteral("Detected double-nested path for"), kCategory), 2);
    EXPECT_EQ(m_log.count(QStringLiteral("Moved: <private>"), kCategory), 4);
    EXPECT_EQ(m_log.count(QStringLiteral("Removed empty directory: <private>"), kCategory), 2);
    // The first pair's run leaves the inner folder to the second pair's nested folder.
    EXPECT_EQ(m_log.count(QStringLiteral("Cleaned up empty inner Larkfold directory"), kCategory), 1);
    EXPECT_EQ(m_log.count(QStringLiteral("Migration complete for"), kCategory), 2);
    const QString root = QString::fromStdString(m_tree.root().string());
    for (const auto& message : m_log.messages()) {
        EXPECT_FALSE(message.text.contains(root)) << message.text.toStdString();
        EXPECT_FALSE(message.text.contains(QStringLiteral("Photos"))) << message.text.toStdString();
    }
    EXPECT_TRUE(m_log.contains(QStringLiteral("\"%1\"").arg(platform::hashedName(QStringLiteral("Photos")))));

    m_log.clear();
    run();
    EXPECT_EQ(snapshot(destination()), expected);
    EXPECT_TRUE(m_log.messages().empty());
}

TEST_F(NestingMigrationTest, ItemsWhoseNameIsTakenStayAndAreSkippedAgainAtEveryLaunch)
{
    m_tree.write("Drive/Larkfold/Larkfold/Photos/a.jpg", "nested");
    m_tree.write("Drive/Larkfold/Larkfold/Photos/Trip/b.jpg", "nested");
    m_tree.write("Drive/Larkfold/Larkfold/Photos/c.jpg", "C");
    m_tree.write("Drive/Larkfold/Photos/a.jpg", "current");
    m_tree.write("Drive/Larkfold/Photos/Trip/other.jpg", "current");
    setPairs({pairAt(destination(), QStringLiteral("Photos"))});

    run();

    const std::map<std::string, std::string> expected{
        {"Larkfold", "/"},
        {"Larkfold/Photos", "/"},
        {"Larkfold/Photos/a.jpg", "nested"},
        {"Larkfold/Photos/Trip", "/"},
        {"Larkfold/Photos/Trip/b.jpg", "nested"},
        {"Photos", "/"},
        {"Photos/a.jpg", "current"},
        {"Photos/c.jpg", "C"},
        {"Photos/Trip", "/"},
        {"Photos/Trip/other.jpg", "current"},
    };
    EXPECT_EQ(snapshot(destination()), expected);

    for (int launch = 1; launch <= 2; ++launch) {
        SCOPED_TRACE(launch);
        EXPECT_EQ(m_log.count(QStringLiteral("Detected double-nested path for"), kCategory), 1);
        EXPECT_EQ(m_log.count(QStringLiteral("Skipping <private> — already exists at correct location"), kCategory),
                  2);
        EXPECT_EQ(m_log.count(QStringLiteral("Moved:"), kCategory), launch == 1 ? 1 : 0);
        EXPECT_EQ(m_log.count(QStringLiteral("Removed empty directory"), kCategory), 0);
        EXPECT_EQ(m_log.count(QStringLiteral("Cleaned up"), kCategory), 0);
        EXPECT_EQ(m_log.count(QStringLiteral("Migration complete for"), kCategory), 1);
        m_log.clear();
        run();
        EXPECT_EQ(snapshot(destination()), expected);
    }
}

// A name that is not one folder name would have the repair move a whole destination, or the
// other pairs' folders, up or sideways.
TEST_F(NestingMigrationTest, NamesThatAreNotOneFolderNameMoveNothing)
{
    for (const char* name : {"..", "../x", "a/b", ".", ""}) {
        SCOPED_TRACE(std::string("name \"") + name + "\"");
        TempTree tree{
            {"Drive/Larkfold/Larkfold/Photos/p.jpg", "P"}, {"Drive/Larkfold/Larkfold/a/b/x.jpg", "X"},
            {"Drive/Larkfold/Larkfold/x/y.jpg", "Y"},      {"Drive/Larkfold/a/", ""},
            {"Drive/Larkfold/keep.txt", "K"},              {"Drive/x/", ""},
        };
        const auto before = snapshot(tree.root());
        m_log.clear();
        setPairs({pairAt(tree.path("Drive/Larkfold"), QString::fromUtf8(name))});

        run();

        EXPECT_EQ(snapshot(tree.root()), before);
        EXPECT_EQ(m_log.count(QStringLiteral("is not a single folder name"), kCategory), 1);
        EXPECT_EQ(m_log.count(QStringLiteral("Detected"), kCategory), 0);
    }
}

TEST_F(NestingMigrationTest, AFolderThatIsAnotherPairsBackupFolderStays)
{
    // The second pair backs up into Drive/Larkfold/Larkfold/Photos, which looks nested for the first.
    m_tree.write("Drive/Larkfold/Larkfold/Photos/b.jpg", "B");
    m_tree.write("Drive/Larkfold/Photos/a.jpg", "A");
    setPairs({pairAt(destination(), QStringLiteral("Photos")),
              pairAt(m_tree.path("Drive/Larkfold/Larkfold"), QStringLiteral("Photos"))});
    const auto before = snapshot(m_tree.root());

    run();

    EXPECT_EQ(snapshot(m_tree.root()), before);
    EXPECT_EQ(m_log.count(QStringLiteral("Moved:"), kCategory), 0);
}

TEST_F(NestingMigrationTest, OnlyADestinationNamedExactlyLarkfoldIsRepaired)
{
    for (const char* folder : {"larkfold", "Larkfold ", "Drive"}) {
        SCOPED_TRACE(folder);
        TempTree tree{{std::string(folder) + "/Larkfold/Larkfold/Photos/a.jpg", "A"},
                      {std::string(folder) + "/Larkfold/Photos/", ""}};
        const auto before = snapshot(tree.root());
        setPairs({pairAt(tree.path(folder), QStringLiteral("Photos"))});

        run();

        EXPECT_EQ(snapshot(tree.root()), before);
    }
    EXPECT_TRUE(m_log.messages().empty());
}

// A link on the backup drive must not carry the repair's moves out of the destination.
TEST_F(NestingMigrationTest, LinksAreNotFollowed)
{
    struct Case {
        const char* link;
        const char* linkTarget;
        bool nestedFolder;
    };
    for (const Case& c : {Case{"Drive/Larkfold/Larkfold/Photos", "../../../Outside", false},
                          Case{"Drive/Larkfold/Larkfold", "../../Outside/Larkfold", false},
                          Case{"Drive/Larkfold/Photos", "../../Outside", true}}) {
        SCOPED_TRACE(c.link);
        TempTree tree{{"Outside/o.jpg", "O"}, {"Outside/Larkfold/Photos/n.jpg", "N"}};
        if (c.nestedFolder)
            tree.write("Drive/Larkfold/Larkfold/Photos/a.jpg", "A");
        tree.symlink(c.link, c.linkTarget);
        const auto before = snapshot(tree.root());
        setPairs({pairAt(tree.path("Drive/Larkfold"), QStringLiteral("Photos"))});

        run();

        EXPECT_EQ(snapshot(tree.root()), before);
    }
}

TEST_F(NestingMigrationTest, AFailedMoveEndsThatPairOnlyAndKeepsWhatMoved)
{
    m_tree.write("Drive/Larkfold/Larkfold/Photos/a.jpg", "A");
    m_tree.write("Drive/Larkfold/Larkfold/Photos/b.jpg", "B");
    m_tree.write("Other/Larkfold/Larkfold/Music/song.flac", "S");
    setPairs({pairAt(destination(), QStringLiteral("Photos")),
              pairAt(m_tree.path("Other/Larkfold"), QStringLiteral("Music"))});
    platform::FaultInjectingFileSystem faults;
    faults.failNth(platform::FileOperation::renameNoReplace, 2, EIO);

    run(faults);

    // One of the two photos moved before the failure; the other and its folders stay.
    const auto photos = snapshot(destination());
    EXPECT_EQ(photos.size(), 5u);
    EXPECT_EQ(photos.count("Photos"), 1u);
    EXPECT_EQ(photos.count("Larkfold/Photos"), 1u);
    EXPECT_TRUE((photos.count("Photos/a.jpg") && photos.count("Larkfold/Photos/b.jpg"))
                || (photos.count("Photos/b.jpg") && photos.count("Larkfold/Photos/a.jpg")));
    EXPECT_EQ(m_tree.read("Other/Larkfold/Music/song.flac"), "S");

    const QString failure = QStringLiteral("Migration failed for \"%1\": %2")
                                .arg(platform::hashedName(QStringLiteral("Photos")),
                                     QString::fromStdString(std::error_code(EIO, std::system_category()).message()));
    EXPECT_EQ(m_log.count(failure, kCategory), 1);
    for (const auto& message : m_log.messages()) {
        if (message.text.startsWith(QStringLiteral("Migration failed"))) {
            EXPECT_EQ(message.type, QtCriticalMsg);
        }
    }
    EXPECT_EQ(m_log.count(QStringLiteral("Migration complete for"), kCategory), 1);
}

TEST_F(NestingMigrationTest, TheBookmarkedFolderIsRepairedWhenTheBookmarkResolves)
{
    m_tree.write("Stored/Larkfold/Larkfold/Photos/a.jpg", "A");
    m_tree.write("Moved/Larkfold/Larkfold/Photos/a.jpg", "A");
    const auto bookmark = m_bookmarks.create(m_tree.path("Moved/Larkfold"));
    ASSERT_TRUE(bookmark.has_value());
    for (const QByteArray& data : {*bookmark, QByteArray("not a bookmark")}) {
        const bool resolves = data == *bookmark;
        SCOPED_TRACE(resolves ? "resolves" : "does not resolve");
        BackupPair pair = pairAt(m_tree.path("Stored/Larkfold"), QStringLiteral("Photos"));
        pair.destinationBookmark = data;
        setPairs({pair});

        run();

        // The bookmarked folder first; an unresolvable bookmark falls back to the stored path.
        EXPECT_TRUE(fs::exists(m_tree.path("Moved/Larkfold/Photos/a.jpg")));
        EXPECT_EQ(fs::exists(m_tree.path("Stored/Larkfold/Photos/a.jpg")), !resolves);
        EXPECT_EQ(m_log.count(QStringLiteral("Could not resolve destination bookmark for \"%1\"")
                                  .arg(platform::hashedName(QStringLiteral("Photos"))),
                              kCategory),
                  resolves ? 0 : 1);
    }
}

} // namespace
