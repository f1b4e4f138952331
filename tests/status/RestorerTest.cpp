#include "status/Restorer.h"

#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/MountSource.h"
#include "platform/Trash.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

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
    EXPECT_EQ(Restorer(systemFileSystem(), systemTrash(), mounts).run(listed), (RestoreOutcome{0, 1, false, false}));
    EXPECT_TRUE(fs::is_empty(tree.path("target")));
}

TEST_F(RestorerTest, WhatStoodAtTheNameGoesToTheTrashFirst)
{
    tree.write("target/notes.txt", "old notes");
    tree.write("outside/linked.txt", "not ours");
    tree.symlink("target/empty.txt", tree.path("outside/linked.txt"));

    EXPECT_EQ(restore({"notes.txt", "empty.txt"}, tree.path("target")), (RestoreOutcome{2, 0, false}));

    EXPECT_EQ(tree.read("target/notes.txt"), "new notes");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(tree.path("target/empty.txt"))));
    EXPECT_EQ(tree.read("outside/linked.txt"), "not ours");
    EXPECT_EQ(readFile(homeTrashFiles() / "notes.txt"), "old notes");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(homeTrashFiles() / "empty.txt")));
}

TEST_F(RestorerTest, AFileTheTrashCannotTakeStaysAndFails)
{
    tree.write("target/notes.txt", "old notes");
    const std::string undecodable = "caf\xe9.txt"; // the Trash refuses names Qt cannot spell
    tree.write(fs::path("backup") / undecodable, "from the backup");
    tree.write(fs::path("target") / undecodable, "the user's");
    // No Trash can be made while its folder is a file.
    fs::create_directories(homeTrashFiles().parent_path().parent_path());
    larkfold::test::writeFile(homeTrashFiles().parent_path(), "not a folder");

    EXPECT_EQ(restore({"notes.txt", undecodable, "Photos/2024/a.jpg"}, tree.path("target")), (RestoreOutcome{1, 2, false}));

    EXPECT_EQ(tree.read("target/notes.txt"), "old notes");
    EXPECT_EQ(tree.read(fs::path("target") / undecodable), "the user's");
    EXPECT_EQ(tree.read("target/Photos/2024/a.jpg"), "jpeg data");
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

TEST_F(RestorerTest, AFolderWhereTheBackupHoldsAFileIsNotReplaced)
{
    tree.write("target/notes.txt/inside.txt", "kept");

    EXPECT_EQ(restore({"notes.txt", "empty.txt"}, tree.path("target")), (RestoreOutcome{1, 1, false}));

    EXPECT_EQ(tree.read("target/notes.txt/inside.txt"), "kept");
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

TEST_F(RestorerTest, LinksOnTheWayAreNeverFollowed)
{
    tree.write("backup/docs/b.txt", "b");
    tree.symlink("target/Photos", tree.path("outside"));
    tree.mkdir("target/real");
    tree.symlink("target/docs", "real"); // even one that leads to a folder inside

    EXPECT_EQ(restore({"Photos/2024/a.jpg", "docs/b.txt", "empty.txt"}, tree.path("target")),
              (RestoreOutcome{1, 2, false}));
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

    EXPECT_EQ(outcome, (RestoreOutcome{1, 3, false}));
    EXPECT_EQ(tree.read("target/notes.txt"), "old notes");
    EXPECT_FALSE(fs::exists(homeTrashFiles() / "notes.txt"));
    EXPECT_TRUE(tree.exists("target/empty.txt"));
    EXPECT_TRUE(restoreTemporaries(tree.root()).empty());
}

TEST_F(RestorerTest, ACopyThatCannotBeMovedIntoPlaceStaysBesideIt)
{
    FaultInjectingFileSystem faults;
    faults.failAlways(FileOperation::renameNoReplace, EACCES);

    EXPECT_EQ(restore({"notes.txt"}, tree.path("target"), faults), (RestoreOutcome{0, 1, false}));

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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(restoreMessage(c.outcome), QString::fromUtf8(c.text));
    }
}

} // namespace
