#include "status/Restorer.h"

#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/MountSource.h"
#include "platform/Trash.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>

using namespace larkfold;
using namespace larkfold::platform;
using larkfold::test::readFile;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

std::string mountLine(int id, const fs::path& mountPoint)
{
    return std::to_string(id) + " 1 8:1 / " + mountPoint.string() + " rw - ext4 /dev/sdz1 rw\n";
}

fs::path homeTrashFiles()
{
    return fs::path(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString()) / "Trash/files";
}

// Every restore temporary below `folder`.
std::vector<fs::path> restoreTemporaries(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().native().find(".restore-") != std::string::npos)
            found.push_back(it->path());
    }
    return found;
}

// The counts, then a line per failed file with its reason and per file kept beside its restored copy.
std::string summary(const RestoreOutcome& outcome)
{
    std::string text = std::to_string(outcome.restored) + " restored, " + std::to_string(outcome.failed) + " failed";
    for (const auto& failure : outcome.failures)
        text += "\n" + failure.path + ": " + failure.reason.toStdString();
    for (const auto& kept : outcome.keptAside)
        text += "\nkept " + kept.path + " as " + kept.keptAs;
    return text;
}

FolderIdentity identityOf(const fs::path& folder)
{
    struct stat st{};
    EXPECT_EQ(::stat(folder.c_str(), &st), 0) << folder;
    return {st.st_dev, st.st_ino};
}

class RestorerTest : public ::testing::Test {
protected:
    // Restores from "backup" as it is now, as a listing made just before would.
    RestoreRequest request(std::vector<std::string> paths, const fs::path& target) const
    {
        RestoreRequest request;
        request.relativePaths = std::move(paths);
        request.backupFolder = tree.path("backup");
        request.backupIdentity = identityOf(request.backupFolder);
        request.targetFolder = target;
        return request;
    }

    RestoreOutcome restore(std::vector<std::string> paths, const fs::path& target, FileSystem& fileSystem = systemFileSystem())
    {
        return Restorer(fileSystem, systemTrash(), mounts).run(request(std::move(paths), target));
    }

    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(homeTrashFiles().parent_path(), error);
    }

    TempTree tree{{"backup/notes.txt", "new notes"},
                  {"backup/Photos/2024/a.jpg", "jpeg data"},
                  {"backup/empty.txt", ""},
                  {"target/", ""},
                  {"outside/", ""}};
    TextMountSource mounts{mountLine(1, "/")};
};

TEST_F(RestorerTest, CopiesEachFileToItsPathBelowTheTarget)
{
    const std::string undecodable = "caf\xe9.txt";
    const std::string longName = std::string(250, 'n') + ".txt"; // too long to prefix and suffix whole
    tree.write(fs::path("backup") / undecodable, "latin-1 name");
    tree.write(fs::path("backup") / longName, "long name");
    ::chmod(tree.path("backup/notes.txt").c_str(), 0640);
    tree.setMtime("backup/notes.txt", 1'600'000'000, 123);

    const auto outcome = restore({"notes.txt", "Photos/2024/a.jpg", "empty.txt", undecodable, longName}, tree.path("target"));

    EXPECT_EQ(outcome, (RestoreOutcome{5, 0, false}));
    EXPECT_EQ(tree.read("target/notes.txt"), "new notes");
    EXPECT_EQ(tree.read("target/Photos/2024/a.jpg"), "jpeg data");
    EXPECT_TRUE(tree.exists("target/empty.txt"));
    EXPECT_EQ(tree.read(fs::path("target") / undecodable), "latin-1 name");
    EXPECT_EQ(tree.read(fs::path("target") / longName), "long name");
    struct stat restored{};
    ASSERT_EQ(::stat(tree.path("target/notes.txt").c_str(), &restored), 0);
    EXPECT_EQ(restored.st_mode & 07777, 0640u);
    EXPECT_EQ(restored.st_mtim.tv_sec, 1'600'000'000);
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

// As an ordinary user with `umask` runs `request`: the count restored, then a "path mode" line for
// each of `reported` below the target ("." for the target itself).
std::optional<std::string> restoredModesAs(const RestoreRequest& request, mode_t umask,
                                           const std::vector<std::string>& reported)
{
    return larkfold::test::runUnprivileged([&]() -> std::string {
        ::umask(umask);
        const TextMountSource mounts{mountLine(1, "/")};
        const RestoreOutcome outcome = Restorer(systemFileSystem(), systemTrash(), mounts).run(request);
        std::string modes = "restored " + std::to_string(outcome.restored) + "\n";
        for (const std::string& path : reported) {
            struct stat st{};
            char mode[8] = "missing";
            if (::lstat((request.targetFolder / path).c_str(), &st) == 0)
                std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
            modes += path + " " + mode + "\n";
        }
        return modes;
    });
}

constexpr uid_t kNobody = 65534;
constexpr uid_t kOtherUser = 1234;

TEST_F(RestorerTest, AnOrdinaryUserGetsNoSetIdProgramOfAnotherAndNothingOthersMayWrite)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to own files as another user and to become one";
    const struct {
        const char* name;
        uid_t owner;
        gid_t group;
        mode_t mode;
    } files[] = {
        {"idcopy", kOtherUser, kOtherUser, 04755},   {"groupcopy", kOtherUser, kOtherUser, 02755},
        {"shared.txt", kOtherUser, kOtherUser, 0666}, {"mine.txt", kNobody, kNobody, 0666},
        {"mine-setgid", kNobody, kNobody, 02750},     {"mine-other-group", kNobody, kOtherUser, 02755},
    };
    std::vector<std::string> paths;
    for (const auto& file : files) {
        const fs::path path = tree.write(fs::path("backup") / file.name, "x");
        ASSERT_EQ(::chown(path.c_str(), file.owner, file.group), 0);
        ASSERT_EQ(::chmod(path.c_str(), file.mode), 0);
        paths.push_back(file.name);
    }
    ::chmod(tree.root().c_str(), 0755);
    for (const auto& [umask, expected] : {
             std::pair{mode_t(022), "restored 6\nidcopy 0755\ngroupcopy 0755\nshared.txt 0644\nmine.txt 0644\n"
                                    "mine-setgid 2750\nmine-other-group 0755\n"},
             std::pair{mode_t(002), "restored 6\nidcopy 0755\ngroupcopy 0755\nshared.txt 0664\nmine.txt 0664\n"
                                    "mine-setgid 2750\nmine-other-group 0755\n"},
         }) {
        SCOPED_TRACE(umask);
        const fs::path target = tree.mkdir("restored-" + std::to_string(umask));
        ASSERT_EQ(::chown(target.c_str(), kNobody, kNobody), 0);
        const auto modes = restoredModesAs(request(paths, target), umask, paths);
        ASSERT_TRUE(modes) << "could not become an ordinary user";
        EXPECT_EQ(*modes, expected);
    }
}

TEST_F(RestorerTest, FoldersMadeForTheFilesMirrorTheBackupsAndTheUsersOwnKeepTheirModes)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to own folders as another user and to become one";
    const struct {
        const char* folder;
        gid_t group;
        mode_t mode;
    } folders[] = {{".", kNobody, 0750}, {"private", kNobody, 0700}, {"private/deeper", kNobody, 0750},
                   {"shared", kNobody, 0777}, {"team", kOtherUser, 02775}, {"existing", kNobody, 0777}};
    std::vector<std::string> paths;
    for (const auto& folder : folders) {
        const fs::path path = tree.write(fs::path("backup") / folder.folder / "file.txt", "x");
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown(path.parent_path().c_str(), kNobody, folder.group), 0);
        ASSERT_EQ(::chmod(path.parent_path().c_str(), folder.mode), 0);
        paths.push_back((fs::path(folder.folder) / "file.txt").lexically_normal());
    }
    ::chmod(tree.root().c_str(), 0755);
    const fs::path home = tree.mkdir("home");
    const fs::path here = tree.mkdir("home/here");
    fs::create_directory(here / "existing");
    for (const auto& [mine, mode] : {std::pair{home, 0755}, std::pair{here, 0755}, std::pair{here / "existing", 0750}}) {
        ASSERT_EQ(::chown(mine.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chmod(mine.c_str(), mode), 0);
    }

    EXPECT_EQ(restoredModesAs(request(paths, here), 022, {".", "private", "private/deeper", "shared", "team", "existing"})
                  .value_or("no ordinary user"),
              "restored 6\n. 0755\nprivate 0700\nprivate/deeper 0750\nshared 0755\nteam 0755\nexisting 0750\n");
    // A source folder deleted since is made again like the backup's folder.
    EXPECT_EQ(restoredModesAs(request({"file.txt"}, home / "gone"), 022, {"."}).value_or("no ordinary user"),
              "restored 1\n. 0750\n");
}

TEST_F(RestorerTest, FilesComeOnlyFromTheFolderThatWasListed)
{
    const RestoreRequest listed = request({"notes.txt"}, tree.path("target"));
    tree.write("home/.ssh/notes.txt", "the user's key");
    fs::rename(tree.path("backup"), tree.path("listed"));

    // A link put in the backup folder's place since the listing, then another folder.
    tree.symlink("backup", tree.path("home/.ssh"));
    const RestoreOutcome throughLink = Restorer(systemFileSystem(), systemTrash(), mounts).run(listed);
    EXPECT_EQ(throughLink, (RestoreOutcome{0, 1, false, true}));
    EXPECT_EQ(restoreMessage(throughLink),
              QStringLiteral("Error: Destination path is a symbolic link — refusing to write to prevent data redirection."));
    fs::remove(tree.path("backup"));
    fs::rename(tree.path("home/.ssh"), tree.path("backup"));
    EXPECT_EQ(summary(Restorer(systemFileSystem(), systemTrash(), mounts).run(listed)),
              "0 restored, 1 failed\nnotes.txt: The backup folder is no longer the one listed: open the window again.");
    EXPECT_TRUE(fs::is_empty(tree.path("target")));
}

TEST_F(RestorerTest, WhatStoodAtTheNameGoesToTheTrashFirstUnlessItIsTheBackupsVersion)
{
    tree.write("target/notes.txt", "old notes"); // as long as "new notes"
    tree.write("outside/linked.txt", "not ours");
    tree.symlink("target/empty.txt", tree.path("outside/linked.txt"));
    tree.write("target/Photos/2024/a.jpg", "jpeg data");
    struct stat before{};
    ASSERT_EQ(::stat(tree.path("target/Photos/2024/a.jpg").c_str(), &before), 0);

    EXPECT_EQ(summary(restore({"notes.txt", "empty.txt", "Photos/2024/a.jpg"}, tree.path("target"))),
              "3 restored, 0 failed");

    EXPECT_EQ(tree.read("target/notes.txt"), "new notes");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(tree.path("target/empty.txt"))));
    EXPECT_EQ(tree.read("outside/linked.txt"), "not ours");
    EXPECT_EQ(readFile(homeTrashFiles() / "notes.txt"), "old notes");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(homeTrashFiles() / "empty.txt")));
    // Already the backup's content: left as it was, neither trashed nor written again.
    struct stat after{};
    ASSERT_EQ(::stat(tree.path("target/Photos/2024/a.jpg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(fs::exists(homeTrashFiles() / "a.jpg"));
}

TEST_F(RestorerTest, AFileTheTrashCannotTakeIsKeptBesideTheRestoredOne)
{
    const std::string undecodable = "caf\xe9.txt"; // the Trash refuses names Qt cannot spell
    tree.write(fs::path("backup") / undecodable, "from the backup");
    tree.write(fs::path("target") / undecodable, "the user's");
    tree.write("target/notes.txt", "old notes");
    tree.write("target/notes (before restore).txt", "kept by an earlier restore");
    // No Trash can be made while its folder is a file.
    fs::create_directories(homeTrashFiles().parent_path().parent_path());
    larkfold::test::writeFile(homeTrashFiles().parent_path(), "not a folder");

    const auto outcome = restore({"notes.txt", undecodable, "Photos/2024/a.jpg"}, tree.path("target"));

    EXPECT_EQ(summary(outcome), "3 restored, 0 failed\nkept notes.txt as notes (before restore 2).txt\nkept " + undecodable
                                    + " as caf\xe9 (before restore).txt");
    EXPECT_EQ(restoreMessage(outcome).toStdString(),
              "3 files restored successfully. The Trash could not take the 2 files that were at their places, so each "
              "is kept beside its restored copy with “(before restore)” in its name.");
    EXPECT_EQ(tree.read("target/notes.txt"), "new notes");
    EXPECT_EQ(tree.read("target/notes (before restore 2).txt"), "old notes");
    EXPECT_EQ(tree.read("target/notes (before restore).txt"), "kept by an earlier restore");
    EXPECT_EQ(tree.read(fs::path("target") / undecodable), "from the backup");
    EXPECT_EQ(tree.read("target/caf\xe9 (before restore).txt"), "the user's");
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());

    // Neither the Trash nor a name beside: then, and only then, the file fails and stays.
    tree.write("target/notes.txt", "changed again");
    FaultInjectingFileSystem faults;
    faults.failNth(FileOperation::renameNoReplace, 1, EACCES);
    EXPECT_EQ(summary(restore({"notes.txt"}, tree.path("target"), faults)),
              "0 restored, 1 failed\nnotes.txt: The file at its place could neither go to the Trash nor be kept "
              "beside it: Permission denied.");
    EXPECT_EQ(tree.read("target/notes.txt"), "changed again");
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

TEST_F(RestorerTest, OnADriveWhoseTopTheUserCannotWriteTheOldFileIsKeptBeside)
{
    // A drive of its own, its top folder root's, a folder on it the user's; the user's home
    // Trash is on another file system, so no Trash can take a file of the drive.
    const fs::path drive = tree.mkdir("drive");
    const fs::path home = tree.mkdir("home-data");
    tree.write("backup/report.pdf", "the backup's report");
    ::chmod(tree.root().c_str(), 0755);
    ::chown(home.c_str(), kNobody, kNobody);
    const auto result = larkfold::test::runInPrivateMountNamespace([&]() -> std::string {
        if (::mount("tmpfs", drive.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
            return "no mount";
        const fs::path share = drive / "share";
        fs::create_directory(share);
        larkfold::test::writeFile(share / "report.pdf", "the user's report");
        if (::chown(share.c_str(), kNobody, kNobody) != 0 || ::chown((share / "report.pdf").c_str(), kNobody, kNobody) != 0)
            return "no chown";
        ::setenv("XDG_DATA_HOME", home.c_str(), 1);
        const RestoreRequest asked = request({"report.pdf"}, share);
        const auto restored = larkfold::test::runUnprivileged([&] {
            const TextMountSource here{mountLine(1, "/")};
            const auto outcome = Restorer(systemFileSystem(), systemTrash(), here).run(asked);
            return summary(outcome) + "\n" + restoreMessage(outcome).toStdString();
        });
        return restored.value_or("could not become an ordinary user") + "\n" + readFile(share / "report.pdf") + "\n"
            + readFile(share / "report (before restore).pdf");
    });
    if (!result)
        GTEST_SKIP() << "needs a private mount namespace (root)";
    EXPECT_EQ(*result, "1 restored, 0 failed\nkept report.pdf as report (before restore).pdf\n"
                       "1 file restored successfully. The Trash could not take the file that was at report.pdf, so it "
                       "is kept beside it as “report (before restore).pdf”.\n"
                       "the backup's report\nthe user's report");
}

TEST_F(RestorerTest, APathTooLongForTheTrashKeepsTheOldFileBeside)
{
    // Deeper than PATH_MAX: the Trash, which takes paths, cannot name it.
    std::string deep;
    for (int level = 0; level < 24; ++level)
        deep += std::string(200, char('a' + level % 26)) + "/";
    const std::string relative = deep + "report.pdf";
    const auto writeBelow = [](const fs::path& root, const std::string& path, const std::string& content) {
        const int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
        int at = folder;
        std::size_t start = 0;
        for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1) {
            const std::string name = path.substr(start, slash - start);
            ::mkdirat(at, name.c_str(), 0755);
            const int next = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(at);
            at = next;
        }
        const int file = ::openat(at, path.substr(start).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(::write(file, content.data(), content.size()), ssize_t(content.size()));
        ::close(file);
        ::close(at);
    };
    writeBelow(tree.path("backup"), relative, "the backup's report");
    writeBelow(tree.path("target"), relative, "the user's report");

    const auto outcome = restore({relative}, tree.path("target"));

    ASSERT_EQ(summary(outcome), "1 restored, 0 failed\nkept " + relative + " as report (before restore).pdf");
    EXPECT_TRUE(restoreMessage(outcome).endsWith(QStringLiteral("/report.pdf, so it is kept beside it as “report (before restore).pdf”.")));
    EXPECT_FALSE(fs::exists(homeTrashFiles() / "report.pdf"));
}

TEST_F(RestorerTest, AFileLeavesTheBackupTrashOnlyOnceItsCopyIsVerified)
{
    tree.write("trash/2026-03-09/Letters/letters-3", "dear landlord");
    tree.write("trash/2026-03-09/Letters/letters-4", "dear tenant");
    tree.write("trash/2026-03-10/notes.txt", "older notes");
    RestoreRequest fromTrash = request({"2026-03-09/Letters/letters-3", "2026-03-09/Letters/letters-4", "2026-03-10/notes.txt"},
                                       tree.path("target"));
    fromTrash.backupFolder = tree.path("trash");
    fromTrash.backupIdentity = identityOf(fromTrash.backupFolder);
    fromTrash.targetPaths = {"Letters/letters-3", "Letters/letters-4", "notes.txt"};
    fromTrash.removeRestoredOriginals = true;
    FaultInjectingFileSystem faults;
    // The second file's trash copy changes under the restore once copied, its size kept: the copy
    // read back no longer agrees, so it stays in the trash. The third cannot be put in place.
    faults.beforeNth(FileOperation::setTimes, 2, [&] { larkfold::test::writeFile(tree.path("trash/2026-03-09/Letters/letters-4"), "dear TENANT"); });
    faults.failNth(FileOperation::renameNoReplace, 2, EIO);

    const auto outcome = Restorer(faults, systemTrash(), mounts).run(fromTrash);

    EXPECT_EQ(summary(outcome), "1 restored, 2 failed\n"
                                "Letters/letters-4: Its copy did not come out the same as the backup's.\n"
                                "notes.txt: Its copy could not be put in place: Input/output error.");
    EXPECT_EQ(tree.read("target/Letters/letters-3"), "dear landlord");
    EXPECT_FALSE(tree.exists("trash/2026-03-09/Letters/letters-3"));
    EXPECT_FALSE(tree.exists("target/Letters/letters-4"));
    EXPECT_EQ(tree.read("trash/2026-03-09/Letters/letters-4"), "dear TENANT");
    EXPECT_EQ(tree.read("trash/2026-03-10/notes.txt"), "older notes");
    EXPECT_EQ(restoreMessage(outcome).section(u'\n', 1, 1), QStringLiteral("Letters/letters-4: Its copy did not come out the same as the backup's."));
}

TEST(BeforeRestoreName, KeepsTheExtensionAndStaysAValidName)
{
    const std::string longStem(250, 'x');
    const std::string cutInCharacter = std::string(233, 'x') + "\xc3\xa9\xc3\xa9.txt"; // the limit inside "é"
    struct Case {
        std::string name;
        int attempt;
        std::string kept;
    } const cases[] = {
        {"report.pdf", 1, "report (before restore).pdf"},
        {"report.pdf", 2, "report (before restore 2).pdf"},
        {"archive.tar.gz", 1, "archive.tar (before restore).gz"},
        {"Makefile", 1, "Makefile (before restore)"},
        {".bashrc", 1, ".bashrc (before restore)"},
        {"caf\xe9.txt", 1, "caf\xe9 (before restore).txt"},
        {longStem + ".txt", 1, std::string(234, 'x') + " (before restore).txt"},
        {cutInCharacter, 1, std::string(233, 'x') + " (before restore).txt"},
        {"a." + std::string(250, 'e'), 1, ("a." + std::string(250, 'e')).substr(0, 238) + " (before restore)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        const std::string kept = beforeRestoreName(c.name, c.attempt);
        EXPECT_EQ(kept, c.kept);
        EXPECT_LE(kept.size(), 255u);
    }
}

TEST_F(RestorerTest, AFolderWhereTheBackupHoldsAFileIsNotReplaced)
{
    tree.write("target/notes.txt/inside.txt", "kept");

    EXPECT_EQ(summary(restore({"notes.txt", "empty.txt"}, tree.path("target"))),
              "1 restored, 1 failed\nnotes.txt: A folder of the same name stands at its place.");

    EXPECT_EQ(tree.read("target/notes.txt/inside.txt"), "kept");
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

TEST_F(RestorerTest, LinksOnTheWayAreNeverFollowed)
{
    tree.write("backup/docs/b.txt", "b");
    tree.symlink("target/Photos", tree.path("outside"));
    tree.mkdir("target/real");
    tree.symlink("target/docs", "real"); // even one that leads to a folder inside

    EXPECT_EQ(summary(restore({"Photos/2024/a.jpg", "docs/b.txt", "empty.txt"}, tree.path("target"))),
              "1 restored, 2 failed\nPhotos/2024/a.jpg: A link or file stands where its folder belongs.\n"
              "docs/b.txt: A link or file stands where its folder belongs.");
    EXPECT_TRUE(fs::is_empty(tree.path("outside")));
    EXPECT_TRUE(fs::is_empty(tree.path("target/real")));

    // A target chosen through a link is the folder it leads to.
    tree.symlink("chosen", tree.path("target/real"));
    EXPECT_EQ(restore({"Photos/2024/a.jpg"}, tree.path("chosen")), (RestoreOutcome{1, 0, false}));
    EXPECT_EQ(tree.read("target/real/Photos/2024/a.jpg"), "jpeg data");
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

TEST_F(RestorerTest, FailuresCountPerFileAndLeaveNoTemporary)
{
    tree.write("target/notes.txt", "old notes");
    FaultInjectingFileSystem faults;
    // The backup file grows once its copy is written: the sizes no longer agree.
    faults.beforeNth(FileOperation::setTimes, 1, [&] {
        std::ofstream(tree.path("backup/notes.txt"), std::ios::app) << " and more";
    });

    const auto outcome = restore({"notes.txt", "gone-since-the-scan.txt", "../outside/x", "empty.txt"},
                                 tree.path("target"), faults);

    EXPECT_EQ(summary(outcome), "1 restored, 3 failed\n"
                                "notes.txt: Its copy did not come out the same as the backup's.\n"
                                "gone-since-the-scan.txt: It is no longer in the backup.\n"
                                "../outside/x: Its path is not one Larkfold restores.");
    EXPECT_EQ(tree.read("target/notes.txt"), "old notes");
    EXPECT_FALSE(fs::exists(homeTrashFiles() / "notes.txt"));
    EXPECT_TRUE(tree.exists("target/empty.txt"));
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

TEST_F(RestorerTest, ACopyThatCannotBeMovedIntoPlaceStaysBesideIt)
{
    FaultInjectingFileSystem faults;
    faults.failAlways(FileOperation::renameNoReplace, EACCES);

    EXPECT_EQ(summary(restore({"notes.txt"}, tree.path("target"), faults)),
              "0 restored, 1 failed\nnotes.txt: Its copy could not be put in place: Permission denied.");

    const auto left = restoreTemporaries(tree.path("target"));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(std::regex_match(left[0].filename().string(), std::regex(R"(\.notes\.txt\.restore-[0-9A-F]{8})")));
    EXPECT_EQ(readFile(left[0]), "new notes");
}

TEST_F(RestorerTest, TheSourceFolderIsMadeAgainOnlyOnItsOwnDrive)
{
    // The source was the folder "src" on a drive mounted at "drive"; the user deleted it since.
    const fs::path drive = tree.mkdir("drive");
    struct stat st{};
    ASSERT_EQ(::stat(drive.c_str(), &st), 0);
    BookmarkRecord record;
    record.path = fs::canonical(drive) / "src";
    record.device = st.st_dev;
    record.pathInFileSystem = "src";
    RestoreRequest request = this->request({"Photos/2024/a.jpg"}, drive / "src");
    request.targetMustBeReachable = true;
    request.targetBookmark = record.encode();

    // The drive is not there: its mount point is an empty folder of the system disk.
    const TextMountSource unplugged(mountLine(1, "/"));
    EXPECT_EQ(Restorer(systemFileSystem(), systemTrash(), unplugged).run(request), (RestoreOutcome{0, 1, true}));
    EXPECT_TRUE(fs::is_empty(drive));

    const TextMountSource plugged(mountLine(1, "/") + mountLine(2, fs::canonical(drive)));
    EXPECT_EQ(Restorer(systemFileSystem(), systemTrash(), plugged).run(request), (RestoreOutcome{1, 0, false}));
    EXPECT_EQ(tree.read("drive/src/Photos/2024/a.jpg"), "jpeg data");
}

TEST_F(RestorerTest, AnUnpluggedDriveOnARealMountIsRefused)
{
    const fs::path drive = tree.mkdir("drive");
    RestoreRequest request = this->request({"notes.txt"}, drive / "src");
    request.targetMustBeReachable = true;
    const auto result = larkfold::test::runInPrivateMountNamespace([&]() -> std::string {
        if (::mount("tmpfs", drive.c_str(), "tmpfs", 0, "size=1m") != 0)
            return "no mount";
        fs::create_directory(drive / "src");
        ProcMountSource mounts;
        const auto bookmark = Bookmarks(mounts).create(drive / "src");
        ::umount(drive.c_str());
        request.targetBookmark = bookmark;
        const Restorer restorer(systemFileSystem(), systemTrash(), mounts);
        std::string outcome = restorer.run(request).targetUnreachable ? "refused" : "restored";
        outcome += fs::is_empty(drive) ? " empty" : " written";
        // Another drive at the same mount point takes the place of the first.
        ::mount("tmpfs", drive.c_str(), "tmpfs", 0, "size=1m");
        outcome += restorer.run(request).restored == 1 ? " then restored " + readFile(drive / "src/notes.txt") : " then not";
        ::umount(drive.c_str());
        return outcome;
    });
    if (!result)
        GTEST_SKIP() << "needs a private mount namespace (root)";
    EXPECT_EQ(*result, "refused empty then restored new notes");
}

TEST(RestoreMessage, CountsRestoredAndFailedFiles)
{
    struct Case {
        RestoreOutcome outcome;
        const char* text;
    } const cases[] = {
        {{1, 0}, "1 file restored successfully."},
        {{3, 0}, "3 files restored successfully."},
        {{2, 1}, "Error: Restored 2 files. 1 file failed."},
        {{1, 2}, "Error: Restored 1 files. 2 files failed."},
        {{0, 2}, "Error: Restored 0 files. 2 files failed."},
        {{0, 4, true}, "Error: The drive that holds the original folder is not connected. Nothing was restored."},
        {{1, 1, false, false, {{"Letters/letters-3", "It is no longer in the backup."}}},
         "Error: Restored 1 files. 1 file failed.\nLetters/letters-3: It is no longer in the backup."},
        {{0, 5, false, false, {{"a", "A."}, {"b", "B."}, {"c\xe9", "C."}, {"d", "D."}, {"e", "E."}}},
         "Error: Restored 0 files. 5 files failed.\na: A.\nb: B.\nc\\xE9: C.\n…and 2 more."},
        {{2, 0, false, false, {}, {{"Docs/report.pdf", "report (before restore).pdf"}}},
         "2 files restored successfully. The Trash could not take the file that was at Docs/report.pdf, so it is kept "
         "beside it as “report (before restore).pdf”."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(restoreMessage(c.outcome), QString::fromUtf8(c.text));
    }
}

} // namespace
