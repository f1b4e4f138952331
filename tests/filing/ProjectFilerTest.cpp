#include "filing/FilingFixture.h"
#include "filing/ProjectFiler.h"
#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/Json.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>

#include <sys/mount.h>

using namespace larkfold;
using larkfold::test::TempTree;
using larkfold::test::treeOf;
namespace fs = std::filesystem;

namespace {

ProjectFiler::Plan planFor(const fs::path& project, const fs::path& archive, int year, const QString& name)
{
    return {project, archive / std::to_string(year) / name.toStdString(), year, name, std::nullopt};
}

class ProjectFilerTest : public ::testing::Test {
protected:
    ProjectFilerTest() { tree.mkdir("Archive"); }

    ProjectFiler::Outcome file(const ProjectFiler::Plan& plan, platform::FileSystem& fileSystem = platform::systemFileSystem())
    {
        const ProjectFiler filer(fileSystem, platform::systemMountSource(), &applications);
        return filer.file(plan, [this](double fraction, const QString& label) {
            const std::lock_guard lock(mutex);
            reports.emplace_back(fraction, label);
        });
    }

    fs::path archive() const { return tree.path("Archive"); }

    TempTree tree;
    test::NoApplications applications;
    std::mutex mutex;
    std::vector<std::pair<double, QString>> reports;
};

} // namespace

TEST_F(ProjectFilerTest, FilesIntoTheYearArchiveWithAManifestAndAPassingCheck)
{
    const fs::path project = test::makeProject(tree, "Brand Spot");
    // Nothing of the project is left out but clutter: not its repository, its build folder or its settings.
    tree.write("Brand Spot/2 Project Files/.git/HEAD", "ref: main");
    tree.write("Brand Spot/2 Project Files/build/cut.o", "object");
    tree.write("Brand Spot/2 Project Files/node_modules/x/index.js", "js");
    tree.write("Brand Spot/.env.local", "TOKEN=1");
    tree.write("Brand Spot/.DS_Store", "clutter");
    tree.write("Brand Spot/3 Media/Thumbs.db", "clutter");
    const auto sourceBefore = treeOf(project);

    const auto plan = planFor(project, archive(), 2024, "Brand Spot");
    const ProjectFiler::Outcome outcome = file(plan);

    EXPECT_TRUE(outcome.isFiled()) << outcome.summary().toStdString();
    // The two empty numbered folders are not in the copy: the original is not called safe to clear.
    EXPECT_EQ(outcome.summary(), "Filed \"Brand Spot\" into 2024. All 7 files copied and checked, but 2 things in it "
                                 "weren't filed — keep the original until you've looked at them.");
    EXPECT_EQ(outcome.leftOutLines(),
              (QStringList{"4 Renders — an empty folder", "5 Drafts — an empty folder"}));
    EXPECT_EQ(outcome.filesCopied, 7);
    EXPECT_EQ(outcome.bytesCopied, 9 + 5000 + 3000 + 9 + 6 + 2 + 7);
    ASSERT_TRUE(outcome.check.has_value());
    EXPECT_TRUE(outcome.check->added.empty());
    EXPECT_EQ(treeOf(project), sourceBefore);

    const fs::path copy = archive() / "2024" / "Brand Spot";
    EXPECT_EQ(test::readFile(copy / "2 Project Files/.git/HEAD"), "ref: main");
    EXPECT_EQ(test::readFile(copy / ".env.local"), "TOKEN=1");
    EXPECT_TRUE(fs::exists(copy / "2 Project Files/node_modules/x/index.js"));
    EXPECT_FALSE(fs::exists(copy / ".DS_Store"));
    EXPECT_FALSE(fs::exists(copy / "3 Media/Thumbs.db"));
    EXPECT_FALSE(fs::exists(copy / ".Larkfold-Trash"));

    const auto manifest = platform::parseJson(test::readFile(copy / ".larkfold-manifest.json"));
    EXPECT_EQ(manifest["name"], "Brand Spot");
    ASSERT_EQ(manifest["files"].size(), 7u);
    EXPECT_EQ(manifest["files"][0]["path"], ".env.local");
    EXPECT_EQ(manifest["files"][0]["bytes"], 7);

    ASSERT_FALSE(reports.empty());
    for (const auto& [fraction, label] : reports) {
        EXPECT_GE(fraction, 0.0);
        EXPECT_LE(fraction, 1.0);
        EXPECT_FALSE(label.isEmpty());
    }
}

TEST_F(ProjectFilerTest, OneFileIsOneFile)
{
    tree.write("Solo/only.txt", "1");
    const auto outcome = file(planFor(tree.path("Solo"), archive(), 2021, "Solo"));
    EXPECT_EQ(outcome.summary(),
              "Filed \"Solo\" into 2021. All 1 file copied and checked — the original is safe to clear whenever you like.");
}

TEST_F(ProjectFilerTest, RefusesBeforeAnythingIsCreated)
{
    const fs::path project = test::makeProject(tree, "Spot");
    tree.write("Archive/2024/Taken/cut.mov", "filed before");
    tree.write("Archive/2024/A File", "not a folder");
    tree.mkdir("Spot/Inner Archive");
    tree.symlink("Linked Archive", project / "Inner Archive");

    const QString taken = "There's already something filed as \"%1\" in 2024. Nothing was changed — rename one of them first.";
    const QString badName = "Couldn't file it as \"%1\": a folder's name can't be empty, \".\" or \"..\", or hold \"/\". "
                            "Nothing was changed.";
    const QString nested = "The archive folder and \"Spot\" lie inside one another, so it can't be filed there. Nothing "
                           "was changed — choose an archive folder outside the project.";
    const QString unreachable = "Couldn't reach the archive folder. Nothing was changed — check that its drive is "
                                "connected, or choose the archive folder again.";
    ProjectFiler::Plan wrongYear = planFor(project, archive(), 2024, "Spot");
    wrongYear.year = 2023;
    const std::pair<ProjectFiler::Plan, QString> cases[] = {
        {planFor(tree.path("Moved Away"), archive(), 2024, "Moved Away"),
         "Couldn't find \"Moved Away\" to file. It may have been moved or renamed."},
        {planFor(project, archive(), 2024, "Taken"), taken.arg("Taken")},
        {planFor(project, archive(), 2024, "A File"), taken.arg("A File")},
        {planFor(project, archive(), 2024, ".."), badName.arg("..")},
        {{project, archive() / "2024" / "a/b", 2024, "a/b", std::nullopt}, badName.arg("a/b")},
        {{project, archive() / "2024" / "", 2024, "", std::nullopt}, badName.arg("")},
        {{project, archive() / "2024" / "x", 2024, QString("x") + QChar(0) + "y", std::nullopt},
         badName.arg(QString("x") + QChar(0) + "y")},
        {wrongYear, "Couldn't file \"Spot\": the folder to create isn't in the year folder for 2023. Nothing was changed."},
        {planFor(project, tree.path("No Archive"), 2024, "Spot"), unreachable},
        {planFor(project, project, 2024, "Spot"), nested},
        {planFor(project, project / "Inner Archive", 2024, "Spot"), nested},
        {planFor(project, tree.path("Linked Archive"), 2024, "Spot"), nested},
    };
    const auto before = treeOf(tree.root());
    for (const auto& [plan, problem] : cases) {
        SCOPED_TRACE(problem.toStdString());
        const ProjectFiler::Outcome outcome = file(plan);
        EXPECT_EQ(outcome.problems, QStringList{problem});
        EXPECT_EQ(outcome.summary(), problem);
        EXPECT_FALSE(outcome.isFiled());
        EXPECT_FALSE(outcome.check.has_value());
        EXPECT_EQ(outcome.filesCopied, 0);
        EXPECT_EQ(treeOf(tree.root()), before);
    }
}

TEST_F(ProjectFilerTest, AFolderHoldingOnlyHiddenFilesIsFiledInto)
{
    const fs::path project = test::makeProject(tree, "Spot");
    tree.write("Archive/2024/Spot/.DS_Store", "clutter");
    const auto outcome = file(planFor(project, archive(), 2024, "Spot"));
    EXPECT_TRUE(outcome.isFiled()) << outcome.summary().toStdString();
    EXPECT_TRUE(fs::exists(archive() / "2024/Spot/6 Finals/final.mp4"));
}

TEST_F(ProjectFilerTest, FilesThatCouldNotBeCopiedComeFirst)
{
    tree.write("Spot/a.txt", "a");
    tree.write("Spot/b.txt", "b");
    platform::FaultInjectingFileSystem full;
    full.failAlways(platform::FileOperation::write, ENOSPC);

    const auto outcome = file(planFor(tree.path("Spot"), archive(), 2024, "Spot"), full);
    EXPECT_FALSE(outcome.isFiled());
    ASSERT_EQ(outcome.problems.size(), 2);
    EXPECT_EQ(outcome.summary(), "2 files couldn't be copied. The original has been left alone.");
    EXPECT_TRUE(outcome.problems[1].startsWith("Copied \"Spot\" into 2024, but couldn't write its manifest: "))
        << outcome.problems[1].toStdString();
    ASSERT_TRUE(outcome.check.has_value());
    EXPECT_EQ(outcome.check->missing, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(tree.exists("Spot/a.txt"));
}

TEST_F(ProjectFilerTest, ACopyThatCannotStartLeavesTheOriginalAlone)
{
    const fs::path project = test::makeProject(tree, "Spot");
    platform::FaultInjectingFileSystem fileSystem;
    // Once the year and project folders are being made, every open fails.
    fileSystem.beforeNth(platform::FileOperation::createDirectory, 2,
                         [&] { fileSystem.failAlways(platform::FileOperation::open, EACCES); });
    const auto outcome = file(planFor(project, archive(), 2024, "Spot"), fileSystem);
    EXPECT_FALSE(outcome.isFiled());
    EXPECT_FALSE(outcome.check.has_value());
    EXPECT_EQ(outcome.bytesCopied, 0);
    EXPECT_TRUE(outcome.summary().startsWith("Couldn't copy \"Spot\": ")) << outcome.summary().toStdString();
    EXPECT_TRUE(outcome.summary().endsWith(". The original has been left alone."));
    // The folder made for it stays, empty.
    EXPECT_TRUE(test::namesIn(archive() / "2024/Spot").empty());
    EXPECT_TRUE(fs::exists(archive() / "2024/Spot"));
}

TEST_F(ProjectFilerTest, ACopyThatDoesNotMatchTheManifestIsNotFiled)
{
    tree.write("Spot/gone.txt", "there when the manifest was made");
    tree.write("Spot/grows.txt", "short");
    tree.write("Spot/stays.txt", "same");
    platform::FaultInjectingFileSystem fileSystem;
    // Between the manifest and the copy's first look at its destination.
    fileSystem.beforeNth(platform::FileOperation::status, 1, [&] {
        fs::remove(tree.path("Spot/gone.txt"));
        test::writeFile(tree.path("Spot/grows.txt"), "much longer now");
    });

    const auto outcome = file(planFor(tree.path("Spot"), archive(), 2024, "Spot"), fileSystem);
    EXPECT_TRUE(outcome.problems.isEmpty());
    EXPECT_FALSE(outcome.isFiled());
    EXPECT_EQ(outcome.summary(), "Copied \"Spot\" into 2024, but the copy doesn't match: 1 file is missing, 1 file is a "
                                 "different size than when this was archived. The original has been left alone.");
}

TEST_F(ProjectFilerTest, AManifestThatCannotBeWrittenIsReported)
{
    const fs::path project = test::makeProject(tree, "Spot");
    tree.mkdir("Archive/2024/Spot/.larkfold-manifest.json");
    const auto outcome = file(planFor(project, archive(), 2024, "Spot"));
    ASSERT_TRUE(outcome.check.has_value());
    EXPECT_TRUE(outcome.check->matches());
    EXPECT_FALSE(outcome.isFiled());
    ASSERT_EQ(outcome.problems.size(), 1);
    EXPECT_TRUE(outcome.summary().startsWith("Copied \"Spot\" into 2024, but couldn't write its manifest: "));
    EXPECT_TRUE(outcome.summary().endsWith(". The original has been left alone.")) << outcome.summary().toStdString();
}

TEST(ProjectFilerOutcome, SummarisesInTheFirstRuleThatApplies)
{
    const ProjectFiler::Plan plan{"/p", "/a/2024/Spot", 2024, "Spot", std::nullopt};
    const ProjectCheckResult passing{{}, {}, {"extra.txt"}, 3, {}};
    const ProjectCheckResult failing{{"a.txt"}, {}, {}, 3, {}};
    const ProjectCheckResult edited{{}, {}, {}, 3, {"b.txt"}};
    using Kind = LeftOutItem::Kind;
    const std::vector<LeftOutItem> oneLink{{"3 Media/Footage", Kind::link, 0}};
    const std::pair<ProjectFiler::Outcome, const char*> cases[] = {
        {{plan, 3, 10, passing, {"First problem.", "Second problem."}, {}}, "First problem."},
        {{plan, 3, 10, std::nullopt, {}, {}}, "Couldn't file \"Spot\"."},
        {{plan, 3, 10, failing, {}, {}},
         "Copied \"Spot\" into 2024, but the copy doesn't match: 1 file is missing. The original has been left alone."},
        {{plan, 3, 10, edited, {}, {}},
         "Copied \"Spot\" into 2024, but the copy doesn't match: 1 file is not the same as the original. The original "
         "has been left alone."},
        {{plan, 3, 10, passing, {}, {}},
         "Filed \"Spot\" into 2024. All 3 files copied and checked — the original is safe to clear whenever you like."},
        {{plan, 3, 10, passing, {}, oneLink},
         "Filed \"Spot\" into 2024. All 3 files copied and checked, but 1 thing in it wasn't filed — keep the original "
         "until you've looked at it."},
    };
    for (const auto& [outcome, summary] : cases) {
        EXPECT_EQ(outcome.summary(), summary);
        EXPECT_EQ(outcome.isFiled(), &outcome == &cases[4].first || &outcome == &cases[5].first);
    }
    const ProjectFiler::Outcome everyKind{plan, 3, 10, passing, {},
                                          {{"", Kind::unreadableFolder, 0}, {".Larkfold-Trash", Kind::trashFolder, 1},
                                           {"3 Media/Footage", Kind::link, 0}, {"fifo", Kind::specialFile, 0},
                                           {std::string("caf\xe9"), Kind::emptyFolder, 0}}};
    EXPECT_EQ(everyKind.leftOutLines(),
              (QStringList{"The project folder — a folder that couldn't be read",
                           ".Larkfold-Trash — a Larkfold trash folder, with 1 item",
                           "3 Media/Footage — a link; neither it nor what it points to was filed",
                           "fifo — a special file (a pipe, socket or device)", "caf\\xE9 — an empty folder"}));
}

// Real tmpfs mounts stand for the archive drive. Unplugged, its mount point is an empty folder
// on the system disk, where nothing may be filed.
TEST_F(ProjectFilerTest, AnArchiveWhoseDriveIsGoneIsRefused)
{
    const fs::path project = test::makeProject(tree, "Spot");
    const fs::path mountPoint = tree.mkdir("mnt/drive");
    const auto answers = test::runInPrivateMountNamespace([&] {
        const platform::ProcMountSource mounts;
        const ProjectFiler filer(platform::systemFileSystem(), mounts, &applications);
        const auto attempt = [&](const fs::path& archive, const std::optional<QByteArray>& bookmark, int year) {
            ProjectFiler::Plan plan = planFor(project, archive, year, "Spot");
            plan.archiveBookmark = bookmark;
            const auto outcome = filer.file(plan, {});
            return outcome.isFiled() ? std::string("filed;")
                : outcome.summary().startsWith("Couldn't reach the archive folder.") ? std::string("unreachable;")
                                                                                    : outcome.summary().toStdString() + ";";
        };
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=4m") != 0)
            return std::string("skip");
        fs::create_directories(mountPoint / "Archive");
        const auto bookmark = platform::Bookmarks(mounts).create(mountPoint / "Archive");
        std::string result = attempt(mountPoint / "Archive", bookmark, 2023);
        ::umount(mountPoint.c_str());
        result += attempt(mountPoint / "Archive", bookmark, 2024); // gone with the drive
        fs::create_directories(mountPoint / "Archive");
        result += attempt(mountPoint / "Archive", bookmark, 2024); // a folder of that name on the disk below
        result += fs::exists(mountPoint / "Archive/2024") ? "created below;" : "nothing below;";

        // Without a bookmark the media folders' rule decides.
        if (::mount("tmpfs", "/mnt", "tmpfs", 0, "size=4m") != 0)
            return std::string("skip");
        fs::create_directories("/mnt/usb/Archive");
        result += attempt("/mnt/usb/Archive", std::nullopt, 2024);
        if (::mount("tmpfs", "/mnt/usb", "tmpfs", 0, "size=4m") != 0)
            return std::string("skip");
        fs::create_directories("/mnt/usb/Archive");
        result += attempt("/mnt/usb/Archive", std::nullopt, 2024);
        return result;
    });
    if (!answers || *answers == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*answers, "filed;unreachable;unreachable;nothing below;unreachable;filed;");
}
