#include "filing/FilingFixture.h"
#include "filing/ProjectSlimmer.h"
#include "platform/MountSource.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> foundPaths(const ProjectSlimmer::Report& report)
{
    std::vector<std::string> paths;
    for (const auto& item : report.items)
        paths.push_back(item.relativePath);
    return paths;
}

} // namespace

TEST(ProjectSlimmer, FindsOnlyTheCachesEditingAppsRebuild)
{
    TempTree tree;
    const fs::path project = test::makeProject(tree, "P");
    const std::string files = "P/2 Project Files/";
    for (const char* folder : {"Render Files", "Edit/Render Files", "Edit/Library.fcpbundle/Proxy Media",
                               "Media Cache/Render Files", "Audio/Audio Render Files", "CacheClip"})
        tree.write(files + folder + "/cache.bin", "1234");
    // What the user made, or may need, stays off the list.
    for (const char* folder : {"render files", ".git", "build", "Build", "node_modules", "Pods", "DerivedData",
                               "Adobe Premiere Pro Auto-Save", "Adobe After Effects Auto-Save", ".Trashes",
                               ".Larkfold-Trash/2024-05-01/Render Files"})
        tree.write(files + folder + "/keep.txt", "keep");
    tree.write(files + "Loose/Media Cache Files", "a file, not a folder");
    tree.write("P/4 Renders/Render Files/r.bin", "outside");
    tree.write("P/Render Files/r.bin", "at the top");
    tree.write("Elsewhere/Render Files/r.bin", "reached through a link");
    tree.symlink(files + "Linked/Render Files", tree.path("Elsewhere/Render Files"));
    tree.symlink(files + "Through a link", tree.path("Elsewhere"));

    const ProjectSlimmer::Report report = ProjectSlimmer(BackupProfile::film).scan(project);
    EXPECT_EQ(foundPaths(report),
              (std::vector<std::string>{"2 Project Files/Audio/Audio Render Files", "2 Project Files/CacheClip",
                                        "2 Project Files/Edit/Library.fcpbundle/Proxy Media",
                                        "2 Project Files/Edit/Render Files", "2 Project Files/Media Cache",
                                        "2 Project Files/Render Files"}));
    ASSERT_FALSE(report.items.empty());
    EXPECT_EQ(report.items.back().name, "Render Files");
    EXPECT_EQ(report.items.back().url, project / "2 Project Files/Render Files");
    EXPECT_EQ(report.items.back().bytes, 4);
}

TEST(ProjectSlimmer, LooksNoFurtherThanARealProjectFilesFolder)
{
    TempTree tree{{"Elsewhere/Render Files/r.bin", "x"}, {"P/6 Finals/f.mp4", "f"}};
    tree.symlink("P/2 Project Files", tree.path("Elsewhere"));
    const ProjectSlimmer slimmer(BackupProfile::film);
    EXPECT_TRUE(slimmer.scan(tree.path("P")).items.empty());
    EXPECT_EQ(slimmer.scan(tree.path("P/6 Finals")).summary(),
              "Nothing to tidy up — this project has no rebuildable files.");
    EXPECT_TRUE(slimmer.scan(tree.path("missing")).items.empty());
}

TEST(ProjectSlimmer, CountsRegularFilesOnly)
{
    TempTree tree;
    test::writeFile(tree.mkdir("Render Files") / "big.bin", std::string(1'000'000, 'r'));
    tree.write("elsewhere.bin", std::string(5'000, 'e'));
    tree.symlink("Render Files/link.bin", tree.path("elsewhere.bin"));
    tree.mkdir("Render Files/empty");
    EXPECT_EQ(ProjectSlimmer::size(tree.path("Render Files")), 1'000'000);
    EXPECT_EQ(ProjectSlimmer::size(tree.path("missing")), 0);
}

TEST(ProjectSlimmer, SummarisesTheFindings)
{
    const auto finding = [](std::int64_t bytes) { return ProjectSlimmer::Finding{"/p", "2 Project Files/x", "x", bytes}; };
    EXPECT_EQ(ProjectSlimmer::Report{}.summary(), "Nothing to tidy up — this project has no rebuildable files.");
    EXPECT_EQ(ProjectSlimmer::Report{{finding(1'200'000'000)}}.summary(),
              "1.2 GB in 1 folder your editing apps rebuild on their own. Removing it won't affect your footage or "
              "finished videos.");
    EXPECT_EQ((ProjectSlimmer::Report{{finding(3'000'000'000), finding(400'000'000)}}.summary()),
              "3.4 GB in 2 folders your editing apps rebuild on their own. Removing it won't affect your footage or "
              "finished videos.");
}

TEST(ProjectSlimmer, MovesWhatItFoundToTheTrash)
{
    TempTree tree;
    const fs::path project = test::makeProject(tree, "P");
    tree.write("P/2 Project Files/Render Files/a.bin", std::string(300, 'a'));
    tree.write("P/2 Project Files/Edit/Media Cache/b.bin", std::string(200, 'b'));
    tree.write("P/2 Project Files/Gone/Proxy Media/c.bin", "c");
    tree.write("P/2 Project Files/Swapped/Optimized Media/d.bin", "d");
    tree.write("Elsewhere/Optimized Media/e.bin", "e");
    const ProjectSlimmer slimmer(BackupProfile::film);
    const ProjectSlimmer::Report report = slimmer.scan(project);
    ASSERT_EQ(report.items.size(), 4u);

    // Since the scan, one folder went away and a link took the place of another one's parent.
    fs::remove_all(tree.path("P/2 Project Files/Gone"));
    fs::remove_all(tree.path("P/2 Project Files/Swapped"));
    tree.symlink("P/2 Project Files/Swapped", tree.path("Elsewhere"));

    test::LogCapture log;
    const ProjectSlimmer::TrashResult result = slimmer.trash(report.items);
    EXPECT_EQ(result.trashed, 2);
    EXPECT_EQ(result.freedBytes, 500);
    EXPECT_EQ(result.failures, QStringList{"2 Project Files/Swapped/Optimized Media: It is no longer a folder inside "
                                           "the project, so it was left where it is."});
    EXPECT_EQ(log.count("Could not trash rebuildable folder <private>: ", "IntegrityVerifier"), 1);
    EXPECT_FALSE(tree.exists("P/2 Project Files/Render Files"));
    EXPECT_FALSE(tree.exists("P/2 Project Files/Edit/Media Cache"));
    EXPECT_TRUE(tree.exists("P/2 Project Files/Edit"));
    EXPECT_TRUE(tree.exists("Elsewhere/Optimized Media/e.bin"));
    EXPECT_TRUE(tree.exists("P/6 Finals/final.mp4"));
}

// Folders where something is mounted, as the mount table tells (a bind mount keeps the device).
TEST(ProjectSlimmer, NeverOffersOrMovesWhatAMountReaches)
{
    TempTree tree;
    const fs::path project = test::makeProject(tree, "P");
    const fs::path files = project / "2 Project Files";
    tree.write("P/2 Project Files/Render Files/r.bin", "rr");
    tree.write("P/2 Project Files/Edit/Media Cache/m.bin", "m");         // below a mount point
    tree.write("P/2 Project Files/Proxy Media/Shared/s.bin", "s");       // holds a mount point
    tree.write("P/2 Project Files/Optimized Media/o.bin", "o");          // gets one after the scan
    const std::string root = "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n";
    const auto mountAt = [](const fs::path& point) { // mountinfo writes a space as \040
        return "40 22 8:2 /other " + QString::fromStdString(point.string()).replace(" ", "\\040").toStdString()
            + " rw - ext4 /dev/sda2 rw\n";
    };
    platform::TextMountSource mounts(root + mountAt(files / "Edit") + mountAt(files / "Proxy Media/Shared"));
    const ProjectSlimmer slimmer(BackupProfile::film, platform::systemTrash(), platform::systemFileSystem(), mounts);
    const ProjectSlimmer::Report report = slimmer.scan(project);
    EXPECT_EQ(foundPaths(report), (std::vector<std::string>{"2 Project Files/Optimized Media",
                                                            "2 Project Files/Render Files"}));

    mounts.setText(root + mountAt(files / "Optimized Media/Card"));
    const ProjectSlimmer::TrashResult result = slimmer.trash(report.items);
    EXPECT_EQ(result.trashed, 1);
    EXPECT_EQ(result.failures, QStringList{"2 Project Files/Optimized Media: It holds another file system, or is "
                                           "one, so it was left where it is."});
    EXPECT_TRUE(tree.exists("P/2 Project Files/Optimized Media/o.bin"));
    EXPECT_FALSE(tree.exists("P/2 Project Files/Render Files"));
}

// Real file systems of their own inside the project, in a private mount namespace.
TEST(ProjectSlimmer, StaysOnTheProjectsFileSystem)
{
    TempTree tree;
    const fs::path project = test::makeProject(tree, "P");
    tree.write("P/2 Project Files/Render Files/r.bin", "rr");
    tree.mkdir("P/2 Project Files/Drive");
    tree.mkdir("P/2 Project Files/Media Cache/Card");
    const auto outcome = larkfold::test::runInPrivateMountNamespace([&] {
        const fs::path files = project / "2 Project Files";
        for (const fs::path& point : {files / "Drive", files / "Media Cache/Card"}) {
            if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0)
                return std::string("skip");
        }
        test::writeFile(files / "Drive/Render Files/on the drive.bin", std::string(1000, 'd'));
        test::writeFile(files / "Media Cache/Card/clip.bin", std::string(1000, 'c'));
        const platform::ProcMountSource mounts;
        const ProjectSlimmer slimmer(BackupProfile::film, platform::systemTrash(), platform::systemFileSystem(),
                                     mounts);
        std::string found;
        for (const auto& item : slimmer.scan(project).items)
            found += item.relativePath + ' ' + std::to_string(item.bytes) + '\n';
        // Nothing mounted in the table is seen: the device alone tells.
        const platform::TextMountSource none("22 1 8:2 / / rw - ext4 /dev/sda2 rw\n");
        const ProjectSlimmer blind(BackupProfile::film, platform::systemTrash(), platform::systemFileSystem(), none);
        for (const auto& item : blind.scan(project).items)
            found += "blind: " + item.relativePath + '\n';
        found += "size " + std::to_string(ProjectSlimmer::size(files / "Media Cache"));
        return found;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "2 Project Files/Render Files 2\nblind: 2 Project Files/Render Files\nsize 0");
}
