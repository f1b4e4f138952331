#include "copy/FileCopier.h"

#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> sorted(std::vector<std::string> paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::string> sourcePaths(const SourceScan& scan)
{
    std::vector<std::string> paths;
    for (const auto& entry : scan.entries)
        paths.push_back(entry.relativePath);
    return sorted(paths);
}

std::vector<std::string> scanSourcePaths(const fs::path& root, BackupProfile profile = BackupProfile::standard)
{
    return sourcePaths(FileCopier().scanSource(root, ExclusionFilter::forProfile(profile)));
}

std::vector<std::string> scanDestinationPaths(const fs::path& root, BackupProfile profile = BackupProfile::standard)
{
    return sorted(FileCopier().scanDestination(root, ExclusionFilter::forProfile(profile)).relativePaths);
}

const std::string kLongName(255, 'L');

// A tree with everything the scans must tell apart.
void buildMixedTree(TempTree& tree)
{
    tree.write("a.txt", "a");
    tree.write("sub/b.txt", "bb");
    tree.mkdir("empty");
    tree.write("node_modules/lib/index.js", "");
    tree.write("deep/.git/config", "");
    tree.write(".DS_Store", "");
    tree.write(".larkfold-hashes.json", "{}");
    tree.write("sub/.larkfold-checkpoint.json", "{}");
    tree.write("sub/.larkfold-lastcheck", "");
    tree.write(".larktmp-1A2B3C4D-report.pdf", "t");
    tree.write("sub/.larkresume-67108864-film.mov", "r");
    tree.write(".larktmp-9F8E7D6C-App.app/Contents/Info.plist", "");
    tree.write("Photos Library.PhotosLibrary/database/x.db", "");
    tree.write("Edit.fcpbundle/project.xml", "");
    tree.write("odd/with space.txt", "");
    tree.write("odd/new\nline.txt", "");
    tree.write("odd/" + kLongName, "");
    tree.write("odd/bad-\xff-utf8", "");
    tree.symlink("link-to-file", "a.txt");
    tree.symlink("link-to-dir", "sub");
    ::mkfifo(tree.path("pipe").c_str(), 0644);
}

} // namespace

TEST(ScanTest, ListsFilesAndPackagesOnlyAndTheDestinationLeavesOutUnfinishedCopies)
{
    TempTree tree;
    buildMixedTree(tree);
    const std::vector<std::string> common{
        "Photos Library.PhotosLibrary",
        "a.txt",
        "Edit.fcpbundle/project.xml",
        "odd/" + kLongName,
        "odd/bad-\xff-utf8",
        "odd/new\nline.txt",
        "odd/with space.txt",
        "sub/b.txt",
    };
    EXPECT_EQ(scanSourcePaths(tree.root()), sorted(common));
    EXPECT_EQ(scanDestinationPaths(tree.root()), sorted(common));
}

// In a source such names are the user's files: left out, since their copies would be taken for
// the engine's own, and listed so the run can say they are not backed up.
TEST(ScanTest, TheSourceScanListsEntriesWithTheEnginesOwnNamesApart)
{
    TempTree tree;
    buildMixedTree(tree);
    tree.write("node_modules/.larktmp-excluded", "");
    const SourceScan scan = FileCopier().scanSource(tree.root(), ExclusionFilter::forProfile(BackupProfile::standard));
    EXPECT_EQ(sorted(scan.reservedNames),
              sorted({".larkfold-hashes.json", "sub/.larkfold-checkpoint.json", "sub/.larkfold-lastcheck",
                      ".larktmp-1A2B3C4D-report.pdf", "sub/.larkresume-67108864-film.mov", ".larktmp-9F8E7D6C-App.app"}));
}

TEST(ScanTest, ProfilePackagesAreTakenWholeOnlyUnderTheirProfile)
{
    TempTree tree{{"Edit.fcpbundle/project.xml", ""}, {"Edit.fcpbundle/Render Files/r.mov", ""}, {"Tools.app/bin", ""}};
    EXPECT_EQ(scanSourcePaths(tree.root(), BackupProfile::film), (std::vector<std::string>{"Edit.fcpbundle", "Tools.app"}));
    EXPECT_EQ(scanDestinationPaths(tree.root(), BackupProfile::film),
              (std::vector<std::string>{"Edit.fcpbundle", "Tools.app"}));
    EXPECT_EQ(scanSourcePaths(tree.root(), BackupProfile::music),
              (std::vector<std::string>{"Edit.fcpbundle/Render Files/r.mov", "Edit.fcpbundle/project.xml", "Tools.app"}));
}

TEST(ScanTest, SourceEntriesCarrySizeAndTimeAndThePathAsGiven)
{
    TempTree tree{{"real/sub/five.txt", "12345"}, {"real/Pkg.app/x", "xx"}};
    tree.setMtime("real/sub/five.txt", 1'700'000'000, 123);
    tree.symlink("alias", "real");

    const SourceScan scan = FileCopier().scanSource(tree.path("alias"), ExclusionFilter::forProfile(BackupProfile::standard));
    ASSERT_EQ(sourcePaths(scan), (std::vector<std::string>{"Pkg.app", "sub/five.txt"}));
    for (const auto& entry : scan.entries) {
        SCOPED_TRACE(entry.relativePath);
        EXPECT_EQ(scan.url(entry), tree.path("alias") / entry.relativePath);
        if (entry.isPackage) {
            EXPECT_EQ(entry.size, 0);
        } else {
            EXPECT_EQ(entry.size, 5);
            EXPECT_EQ(entry.modifiedSeconds, 1'700'000'000);
            EXPECT_EQ(entry.modifiedNanoseconds, 123);
        }
    }
    EXPECT_TRUE(scan.unscannedFolders.empty());
}

TEST(ScanTest, FoldersThatCannotBeReadAreReportedBesideTheLists)
{
    TempTree tree{{"open/a.txt", ""}, {"locked/secret.txt", ""}, {"open/inner/b.txt", ""}};
    ::chmod(tree.root().c_str(), 0755);
    ::chmod(tree.path("locked").c_str(), 0);
    ::chmod(tree.path("open/inner").c_str(), 0);

    const auto report = larkfold::test::runUnprivileged([&] {
        const FileCopier copier;
        const auto filter = ExclusionFilter::forProfile(BackupProfile::standard);
        const SourceScan source = copier.scanSource(tree.root(), filter);
        const DestinationScan destination = copier.scanDestination(tree.root(), filter);
        std::string text;
        for (const auto& path : sourcePaths(source))
            text += "listed " + path + "\n";
        for (const auto* folders : {&source.unscannedFolders, &destination.unscannedFolders}) {
            std::vector<std::string> lines;
            for (const auto& folder : *folders) {
                lines.push_back("unscanned " + folder.relativePath + " " + folder.error.url().native() + " "
                                + folder.error.operation().toStdString() + " " + std::to_string(folder.error.code()) + "\n");
            }
            for (const auto& line : sorted(lines))
                text += line;
        }
        return text;
    });
    if (!report)
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    const std::string locked = "unscanned locked " + tree.path("locked").native() + " scan " + std::to_string(EACCES) + "\n";
    const std::string inner =
        "unscanned open/inner " + tree.path("open/inner").native() + " scan " + std::to_string(EACCES) + "\n";
    EXPECT_EQ(*report, "listed open/a.txt\n" + locked + inner + locked + inner);
}

TEST(ScanTest, UnscannedFoldersCoverWhatLiesBelowThem)
{
    const auto error = FileOperationError::posix(EACCES, "/x", "scan");
    const std::vector<UnscannedFolder> folders{{"a/locked", error}};
    EXPECT_TRUE(liesInUnscannedFolder(folders, "a/locked"));
    EXPECT_TRUE(liesInUnscannedFolder(folders, "a/locked/deep/file.txt"));
    EXPECT_FALSE(liesInUnscannedFolder(folders, "a/locked-not"));
    EXPECT_FALSE(liesInUnscannedFolder(folders, "a/file.txt"));
    EXPECT_TRUE(liesInUnscannedFolder({{"", error}}, "anything/at/all"));
}

TEST(ScanTest, AMissingFolderGivesEmptyListsAndSaysSo)
{
    TempTree tree;
    const SourceScan scan = FileCopier().scanSource(tree.path("gone"), ExclusionFilter::forProfile(BackupProfile::standard));
    EXPECT_TRUE(scan.entries.empty());
    ASSERT_EQ(scan.unscannedFolders.size(), 1u);
    EXPECT_EQ(scan.unscannedFolders[0].relativePath, "");
    EXPECT_TRUE(scan.unscannedFolders[0].error.isPosix(ENOENT));
}

TEST(ScanTest, DateFolderNameIsTheLocalDay)
{
    const QDateTime noon(QDate(2026, 1, 5), QTime(12, 0), Qt::LocalTime);
    EXPECT_EQ(FileCopier::dateFolderName(noon), "2026-01-05");
    const QDateTime lateEvening(QDate(2026, 3, 9), QTime(23, 59, 30), Qt::LocalTime);
    EXPECT_EQ(FileCopier::dateFolderName(lateEvening.toUTC()), "2026-03-09");
}
