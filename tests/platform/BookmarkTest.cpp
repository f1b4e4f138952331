#include "platform/Bookmark.h"
#include "platform/MountSource.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

std::string mountLine(int id, const fs::path& mountPoint, const std::string& type = "ext4")
{
    return std::to_string(id) + " 1 8:1 / " + mountPoint.string() + " rw - " + type + " /dev/sdz1 rw\n";
}

} // namespace

TEST(Bookmark, CreatingNeedsAnAccessibleFolder)
{
    TempTree tree{{"file.txt", "x"}, {"folder/", ""}};
    const TextMountSource mounts(mountLine(1, "/"));
    const Bookmarks bookmarks(mounts);

    QString error;
    EXPECT_FALSE(bookmarks.create(tree.path("missing"), &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(bookmarks.create(tree.path("file.txt")).has_value());
    EXPECT_TRUE(bookmarks.create(tree.path("folder")).has_value());

    // Root reads anything; a folder nobody may open is refused to an ordinary user.
    fs::permissions(tree.root(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(tree.path("folder"), fs::perms::none);
    const auto outcome = larkfold::test::runUnprivileged([&] {
        return std::string(bookmarks.create(tree.path("folder")) ? "made" : "refused");
    });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(*outcome, "refused");
}

TEST(Bookmark, ResolvesTheSameFolderAndNoticesAnotherOneAtItsPath)
{
    TempTree tree{{"Photos/a.jpg", "x"}};
    const TextMountSource mounts(mountLine(1, "/"));
    const Bookmarks bookmarks(mounts);
    fs::create_directory_symlink(tree.path("Photos"), tree.path("link"));

    // Made through a link, the bookmark remembers the real folder.
    const auto data = bookmarks.create(tree.path("link"));
    ASSERT_TRUE(data.has_value());
    const auto record = BookmarkRecord::decode(*data);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->path, fs::canonical(tree.path("Photos")));
    EXPECT_EQ(record->pathInFileSystem, record->path.relative_path());

    auto fresh = bookmarks.resolve(*data);
    ASSERT_TRUE(fresh.has_value());
    EXPECT_EQ(fresh->folder, record->path);
    EXPECT_FALSE(fresh->isStale);

    fs::rename(tree.path("Photos"), tree.path("Old Photos"));
    EXPECT_FALSE(bookmarks.resolve(*data).has_value());

    tree.mkdir("Photos");
    auto replaced = bookmarks.resolve(*data);
    ASSERT_TRUE(replaced.has_value());
    EXPECT_EQ(replaced->folder, record->path);
    EXPECT_TRUE(replaced->isStale);

    EXPECT_FALSE(bookmarks.resolve("not a bookmark").has_value());
    EXPECT_FALSE(bookmarks.resolve({}).has_value());
}

TEST(Bookmark, FindsTheFolderWhereItsFileSystemIsMountedNow)
{
    // A device node for the temporary folder's own file system stands in for /dev/disk/by-uuid.
    TempTree tree{{"drive/Backups/a.txt", "x"}, {"by-uuid/", ""}};
    struct stat st{};
    ASSERT_EQ(::stat(tree.root().c_str(), &st), 0);
    if (::mknod(tree.path("by-uuid/1234-ABCD").c_str(), S_IFBLK | 0600, st.st_dev) != 0)
        GTEST_SKIP() << "cannot make a device node here";

    const TextMountSource before(mountLine(1, "/") + mountLine(2, tree.path("drive")));
    const auto data = Bookmarks(before, tree.path("by-uuid")).create(tree.path("drive/Backups"));
    ASSERT_TRUE(data.has_value());
    const auto record = BookmarkRecord::decode(*data);
    EXPECT_EQ(record->fileSystemUuid, "1234-ABCD");
    EXPECT_EQ(record->pathInFileSystem, "Backups");

    // The drive comes back under another name; an empty folder is left at the old mount point.
    fs::rename(tree.path("drive"), tree.path("drive1"));
    tree.mkdir("drive/Backups");
    const TextMountSource after(mountLine(1, "/") + mountLine(2, tree.path("drive1")));
    const auto moved = Bookmarks(after, tree.path("by-uuid")).resolve(*data);
    ASSERT_TRUE(moved.has_value());
    EXPECT_EQ(moved->folder, tree.path("drive1/Backups"));
    EXPECT_TRUE(moved->isStale);
}

TEST(Bookmark, AccessChecksReadingForSourcesAndWritingForDestinations)
{
    TempTree tree{{"shared/", ""}};
    const TextMountSource mounts(mountLine(1, "/"));
    const Bookmarks bookmarks(mounts);
    EXPECT_TRUE(bookmarks.startAccessing(tree.path("shared"), Bookmarks::Access::write));
    EXPECT_FALSE(bookmarks.startAccessing(tree.path("missing"), Bookmarks::Access::read));

    fs::permissions(tree.root(), fs::perms::owner_all | fs::perms::others_exec);
    // Readable and not writable by everyone, its owner included.
    fs::permissions(tree.path("shared"), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read
                                             | fs::perms::others_exec);
    const auto outcome = larkfold::test::runUnprivileged([&] {
        return std::string(bookmarks.startAccessing(tree.path("shared"), Bookmarks::Access::read) ? "r" : "-")
             + (bookmarks.startAccessing(tree.path("shared"), Bookmarks::Access::write) ? "w" : "-");
    });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(*outcome, "r-");
}
