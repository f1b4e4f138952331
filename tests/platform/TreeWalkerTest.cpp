#include "platform/TreeWalker.h"

#include "support/TempTree.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sys/stat.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;

namespace {

std::map<std::string, EntryType> walkAll(const std::filesystem::path& root, WalkOutcome* outcome = nullptr)
{
    std::map<std::string, EntryType> seen;
    const WalkOutcome result = TreeWalker::walk(root, [&](const TreeEntry& entry) {
        seen.emplace(entry.relativePath(), entry.type());
        return true;
    });
    if (outcome)
        *outcome = result;
    return seen;
}

} // namespace

TEST(TreeWalkerTest, ReportsLinksAndSpecialFilesWithoutEnteringThem)
{
    TempTree tree{{"a.txt", "a"}, {"sub/b.txt", "b"}, {"sub/deep/c.txt", "c"}, {"empty/", ""}};
    tree.symlink("to-sub", "sub");
    tree.symlink("to-a", "a.txt");
    tree.symlink("dangling", "nowhere");
    ASSERT_EQ(::mkfifo(tree.path("pipe").c_str(), 0644), 0);

    WalkOutcome outcome;
    const auto seen = walkAll(tree.root(), &outcome);

    const std::map<std::string, EntryType> expected{
        {"a.txt", EntryType::regularFile},    {"sub", EntryType::directory},
        {"sub/b.txt", EntryType::regularFile}, {"sub/deep", EntryType::directory},
        {"sub/deep/c.txt", EntryType::regularFile}, {"empty", EntryType::directory},
        {"to-sub", EntryType::symlink},       {"to-a", EntryType::symlink},
        {"dangling", EntryType::symlink},     {"pipe", EntryType::other},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(outcome.rootOpened);
    EXPECT_TRUE(outcome.unreadableFolders.empty());
}

TEST(TreeWalkerTest, VisitsAFolderBeforeItsContentsAndSkipsWhatTheVisitorDeclines)
{
    TempTree tree{{"keep/x", ""}, {"keep/inner/y", ""}, {"skip/z", ""}};
    std::vector<std::string> order;
    TreeWalker::walk(tree.root(), [&](const TreeEntry& entry) {
        order.emplace_back(entry.relativePath());
        return entry.name() != "skip";
    });
    const auto position = [&](const std::string& path) { return std::find(order.begin(), order.end(), path) - order.begin(); };
    EXPECT_EQ(std::count(order.begin(), order.end(), "skip/z"), 0);
    EXPECT_LT(position("keep"), position("keep/x"));
    EXPECT_LT(position("keep/inner"), position("keep/inner/y"));
    EXPECT_EQ(order.size(), 5u);
}

TEST(TreeWalkerTest, KeepsOddNamesAsBytes)
{
    const std::vector<std::string> names{"with space.txt", "new\nline", std::string(255, 'n'), "bad-\xff\xfe-utf8",
                                         "caf\xc3\xa9"};
    TempTree tree;
    for (const auto& name : names)
        tree.write(std::filesystem::path("dir") / name, name);

    const auto seen = walkAll(tree.root());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(seen.count("dir/" + name), 1u);
    }
    EXPECT_EQ(seen.size(), names.size() + 1);
}

TEST(TreeWalkerTest, StatusReadsSizeAndTimeOfTheEntryItself)
{
    TempTree tree{{"five.txt", "12345"}};
    tree.setMtime("five.txt", 1'700'000'000, 250);
    tree.symlink("link", "five.txt");

    std::map<std::string, EntryStatus> statuses;
    TreeWalker::walk(tree.root(), [&](const TreeEntry& entry) {
        if (entry.status())
            statuses[std::string(entry.name())] = *entry.status();
        return true;
    });
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses["five.txt"].size, 5);
    EXPECT_EQ(statuses["five.txt"].modifiedSeconds, 1'700'000'000);
    EXPECT_EQ(statuses["five.txt"].modifiedNanoseconds, 250);
    EXPECT_EQ(statuses["link"].type, EntryType::symlink);
}

TEST(TreeWalkerTest, RootMayBeReachedThroughALink)
{
    TempTree tree{{"real/sub/a.txt", ""}};
    tree.symlink("alias", "real");
    const auto seen = walkAll(tree.path("alias"));
    EXPECT_EQ(seen.count("sub/a.txt"), 1u);
}

TEST(TreeWalkerTest, ReportsARootThatCannotBeOpened)
{
    TempTree tree{{"file", ""}};
    for (const auto& [root, error] : {std::pair{tree.path("missing"), ENOENT}, std::pair{tree.path("file"), ENOTDIR}}) {
        WalkOutcome outcome;
        EXPECT_TRUE(walkAll(root, &outcome).empty());
        EXPECT_FALSE(outcome.rootOpened);
        ASSERT_EQ(outcome.unreadableFolders.size(), 1u);
        EXPECT_EQ(outcome.unreadableFolders[0].relativePath, "");
        EXPECT_EQ(outcome.unreadableFolders[0].errorNumber, error);
    }
}

TEST(TreeWalkerTest, ReportsFoldersItCannotReadAndWalksTheRest)
{
    TempTree tree{{"open/a.txt", ""}, {"locked/secret.txt", ""}, {"open/locked-too/b.txt", ""}};
    ::chmod(tree.root().c_str(), 0755);
    ::chmod(tree.path("locked").c_str(), 0);
    ::chmod(tree.path("open/locked-too").c_str(), 0);

    const auto report = larkfold::test::runUnprivileged([&] {
        WalkOutcome outcome;
        std::string text;
        for (const auto& [path, type] : walkAll(tree.root(), &outcome))
            text += path + "\n";
        std::vector<std::string> lines;
        for (const auto& folder : outcome.unreadableFolders)
            lines.push_back("unreadable " + folder.relativePath + " " + std::to_string(folder.errorNumber) + "\n");
        std::sort(lines.begin(), lines.end());
        for (const auto& line : lines)
            text += line;
        return text;
    });
    if (!report)
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(*report, "locked\nopen\nopen/a.txt\nopen/locked-too\n"
                       "unreadable locked " + std::to_string(EACCES) + "\n"
                       "unreadable open/locked-too " + std::to_string(EACCES) + "\n")
        << *report;
}

TEST(TreeWalkerTest, ACancelEndsTheWalkBeforeTheNextEntry)
{
    TempTree tree{{"a/1", ""}, {"a/2", ""}, {"b/3", ""}, {"b/c/4", ""}, {"5", ""}};
    CancelSource stop;
    WalkOptions options;
    options.cancel = stop.token();
    int visited = 0;
    const WalkOutcome outcome = TreeWalker::walk(
        tree.root(),
        [&](const TreeEntry&) {
            if (++visited == 3)
                stop.cancel();
            return true;
        },
        options);
    EXPECT_EQ(visited, 3);
    EXPECT_TRUE(outcome.cancelled);
}
