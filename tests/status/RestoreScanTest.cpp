#include "status/RestoreScan.h"

#include "support/TempTree.h"
#include "widgets/Theme.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

std::vector<RestoreFileItem> scanned(const fs::path& folder, const platform::CancelToken& cancel = {})
{
    const auto opened = platform::systemFileSystem().openDirectory(folder);
    EXPECT_TRUE(opened) << folder;
    return opened ? scanBackup(*opened, cancel) : std::vector<RestoreFileItem>{};
}

std::vector<std::string> pathsOf(const std::vector<RestoreFileItem>& items)
{
    std::vector<std::string> paths;
    for (const auto& item : items)
        paths.push_back(item.relativePath);
    return paths;
}

TEST(RestoreScan, ListsTheBackedUpFilesOnly)
{
    TempTree tree{{"Photos/a.jpg", "12345"},
                  {"Photos/Trip.app/Contents/info", "package contents are files too"},
                  {"empty.txt", ""},
                  {".hidden.txt", "x"},
                  {".hidden folder/inside.txt", "x"},
                  {".larkfold-hashes.json", "{}"},
                  {".larkfold-checkpoint.json", "{}"},
                  {".larktmp-1A2B3C4D-a.jpg", "unfinished"},
                  {".larkresume-5-b.mov", "unfinished"},
                  {".Larkfold-Trash/2024-01-01/old.txt", "x"},
                  {"Photos/.a.jpg.restore-1A2B3C4D", "left by a failed restore"},
                  {"..notes/a.txt", "two dots begin a hidden name too"}};
    const TempTree elsewhere{{"reached-only-through-the-link.txt", "x"}};
    tree.symlink("file-link.txt", tree.path("empty.txt"));
    tree.symlink("folder-link", elsewhere.root());
    ASSERT_EQ(::mkfifo(tree.path("pipe").c_str(), 0600), 0);

    const auto items = scanned(tree.root());

    EXPECT_EQ(pathsOf(items), (std::vector<std::string>{"empty.txt", "Photos/a.jpg", "Photos/Trip.app/Contents/info"}));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].name, "a.jpg");
    EXPECT_EQ(items[1].fileSize, 5);
    EXPECT_EQ(items[0].fileSize, 0);
    EXPECT_FALSE(items[0].isSelected);
    EXPECT_NE(items[0].id, items[1].id);
}

TEST(RestoreScan, SortsAsAFileManagerDoes)
{
    TempTree tree{{"File10.txt", ""}, {"File2.txt", ""}, {"A/c.txt", ""}, {"a/b.txt", ""},
                  {"Zeta.txt", ""},   {"report.txt", ""}, {"Report.txt", ""}};

    EXPECT_EQ(pathsOf(scanned(tree.root())),
              (std::vector<std::string>{"a/b.txt", "A/c.txt", "File2.txt", "File10.txt", "Report.txt", "report.txt",
                                        "Zeta.txt"}));
}

TEST(RestoreScan, AnUndecodableNameIsShownReadablyAndKeptAsBytes)
{
    const std::string name = "caf\xe9.txt";
    TempTree tree;
    tree.write(fs::path("Old") / name, "latin-1");

    const auto items = scanned(tree.root());

    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].relativePath, "Old/" + name);
    EXPECT_EQ(items[0].name, name);
    EXPECT_EQ(items[0].displayName, QStringLiteral("caf\\xE9.txt"));
    EXPECT_EQ(items[0].displayPath, QStringLiteral("Old/caf\\xE9.txt"));
}

TEST(RestoreScan, AStoppedScanGivesNothing)
{
    TempTree tree{{"a.txt", "x"}};
    platform::CancelSource cancel;
    cancel.cancel();
    EXPECT_TRUE(scanned(tree.root(), cancel.token()).empty());
}

TEST(RestoreScan, IconsFollowTheExtension)
{
    struct Case {
        const char* name;
        const char* icon;
    } const cases[] = {
        {"IMG_0001.JPG", "photo"},      {"drawing.svg", "photo"},          {"clip.mov", "film"},
        {"song.flac", "music.note"},    {"paper.pdf", "doc.richtext"},     {"backup.tar.gz", "doc.zipper"},
        {"main.swift", "chevron.left.forwardslash.chevron.right"},         {"data.JSON", "chevron.left.forwardslash.chevron.right"},
        {"Makefile", "doc"},            {"notes.txt", "doc"},              {"trailing.", "doc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(restoreIconName(c.name), QString::fromLatin1(c.icon));
        // The list draws each kind with its own drawing among the symbols.
        EXPECT_FALSE(Theme::symbol(QStringLiteral("file.") + c.icon, 16, Qt::black).isNull());
    }
}

} // namespace
