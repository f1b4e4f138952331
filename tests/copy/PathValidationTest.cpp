#include "copy/FileCopier.h"

#include "platform/MountSource.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <QDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

// The code validatePaths gives, 0 when the pair is accepted.
int validationCode(const fs::path& source, const fs::path& destination)
{
    const auto error = FileCopier().validatePaths(source, destination);
    return error ? error->code() : 0;
}

fs::path home()
{
    return fs::path(QDir::homePath().toStdString());
}

} // namespace

TEST(PathValidationTest, ComparesStandardPathsWithASlashAfterTheShorter)
{
    const struct Case {
        const char* source;
        const char* destination;
        int code;
    } cases[] = {
        {"/Users/me/Photos", "/Users/me/Photos/Backup", 1101},
        {"/Users/me/Photos", "/Users/me/Photos-Backup", 0},
        {"/Volumes/Disk/Work", "/Volumes/Disk", 1102},
        {"/Volumes/Disk/./Work", "/Volumes/Disk/Work", 1100},
        {"/Volumes/Disk/Work/", "/Volumes/Disk/Other/../Work", 1100},
        {"/Volumes/Disk/Work", "/usr/local/backups", 1103},
        {"/Volumes/Disk/Work", "/Library/Application Support/com.apple.Foo", 0},
        {"/Volumes/Disk/Work", "/Library/Application Support/com.apple/x", 1103},
        {"/Volumes/Disk/Work", "/System", 1103},
        {"/Volumes/Disk/Work", "/boot/backup", 1103},
        {"/Volumes/Disk/Work", "/proc/self", 1103},
        {"/Volumes/Disk/Work", "/var/lib/backup", 1103},
        {"/Volumes/Disk/Work", "/var/library", 0},
        {"/Volumes/Disk/Work", "/run/media/me/Drive/Larkfold", 0},
        {"/Volumes/Disk/Work", "/", 1105},
        {"/", "/Volumes/Disk", 1101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.destination);
        EXPECT_EQ(validationCode(c.source, c.destination), c.code);
    }
}

TEST(PathValidationTest, ErrorsCarryTheirMessageAndTheFolderConcerned)
{
    const struct Case {
        fs::path source;
        fs::path destination;
        int code;
        const char* message;
        bool urlIsSource;
    } cases[] = {
        {"/data/a", "/data/a", 1100, "Source and destination are the same folder. Choose a different destination.", false},
        {"/data/a", "/data/a/b", 1101, "Destination is inside the source folder. Choose a different destination.", false},
        {"/data/a/b", "/data/a", 1102, "Source folder is inside the destination. Choose a different destination.", true},
        {"/data/a", "/etc/b", 1103, "Destination is a protected system folder. Choose a different destination.", false},
        {"/data/a", home(), 1104, "Destination cannot be your home folder. Choose a subfolder or external drive.", false},
        {"/data/a", "/", 1105, "Destination cannot be the root of the filesystem.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const auto error = FileCopier().validatePaths(c.source, c.destination);
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->isLarkfold(c.code));
        EXPECT_EQ(error->description(), QString::fromUtf8(c.message));
        EXPECT_EQ(error->operation(), "validatePath");
        EXPECT_EQ(error->url(), c.urlIsSource ? c.source : c.destination);
    }
}

TEST(PathValidationTest, HomeAsDestinationIsInsideCheckFirstForSourcesBelowIt)
{
    EXPECT_EQ(validationCode(home() / "Documents", home()), 1102);
    EXPECT_EQ(validationCode("/media/me/Disk/Work", home()), 1104);
    EXPECT_EQ(validationCode("/media/me/Disk/Work", home() / "Backups"), 0);
}

TEST(PathValidationTest, SeesThroughSymbolicLinks)
{
    TempTree tree{{"source/photos/a.jpg", ""}, {"dest/", ""}, {"elsewhere/", ""}};
    tree.symlink("source-alias", "source");
    tree.symlink("dest-alias", "dest");
    tree.symlink("home-alias", home());

    EXPECT_EQ(validationCode(tree.path("source"), tree.path("source-alias")), 1100);
    EXPECT_EQ(validationCode(tree.path("source"), tree.path("source-alias/backup")), 1101);
    EXPECT_EQ(validationCode(tree.path("source"), tree.path("source-alias/not/yet/made")), 1101);
    EXPECT_EQ(validationCode(tree.path("dest-alias/photos"), tree.path("dest")), 1102);
    EXPECT_EQ(validationCode(tree.path("source"), tree.path("home-alias")), 1104);
    EXPECT_EQ(validationCode(tree.path("source"), tree.path("dest-alias")), 0);
}

TEST(PathValidationTest, SeesThroughBindMounts)
{
    TempTree tree{{"source/photos/a.jpg", ""}, {"dest/", ""}, {"mnt-source/", ""}, {"mnt-dest/", ""}};
    const auto result = larkfold::test::runInPrivateMountNamespace([&] {
        if (::mount(tree.path("source").c_str(), tree.path("mnt-source").c_str(), nullptr, MS_BIND, nullptr) != 0
            || ::mount(tree.path("dest").c_str(), tree.path("mnt-dest").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::string("no bind mount");
        return std::to_string(validationCode(tree.path("source"), tree.path("mnt-source"))) + " "
            + std::to_string(validationCode(tree.path("source"), tree.path("mnt-source/backup"))) + " "
            + std::to_string(validationCode(tree.path("mnt-dest/photos"), tree.path("dest"))) + " "
            + std::to_string(validationCode(tree.path("source"), tree.path("mnt-dest")));
    });
    if (!result || *result == "no bind mount")
        GTEST_SKIP() << "no private mount namespace with bind mounts here";
    EXPECT_EQ(*result, "1100 1101 1102 0");
}

// The kernel's views of itself hold no files to keep, and some of them read without end.
TEST(PathValidationTest, ASourceOnAPseudoFileSystemIsRefusedByName)
{
    TempTree tree{{"dest/", ""}};
    const std::set<std::string> pseudo{"proc", "sysfs", "devtmpfs", "cgroup", "cgroup2", "debugfs", "tracefs", "devpts"};
    int checked = 0;
    for (const auto& mount : platform::ProcMountSource().mounts()) {
        if (!pseudo.contains(mount.fileSystemType) && mount.fileSystemType != "tmpfs")
            continue;
        SCOPED_TRACE(mount.mountPoint + " " + mount.fileSystemType);
        const auto error = FileCopier().validatePaths(mount.mountPoint, tree.path("dest"));
        if (mount.fileSystemType == "tmpfs") {
            EXPECT_FALSE(error) << "a tmpfs holds files";
            continue;
        }
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->isLarkfold(1106));
        EXPECT_EQ(error->description(), QStringLiteral("Source folder is on the system's %1 file system, which holds no "
                                                       "files to back up.")
                                            .arg(QString::fromStdString(mount.fileSystemType)));
        EXPECT_EQ(error->operation(), "validatePath");
        EXPECT_EQ(error->url(), fs::path(mount.mountPoint));
        ++checked;
    }
    EXPECT_GE(checked, 1) << "no /proc here";
    EXPECT_EQ(validationCode("/proc/self/fdinfo", tree.path("dest")), 1106);
}

TEST(PathValidationTest, EnsureDirectoryCreatesMissingParentsAndLeavesWhatExists)
{
    TempTree tree{{"file", "x"}, {"folder/", ""}};
    const FileCopier copier;
    EXPECT_FALSE(copier.ensureDirectory(tree.path("folder")));
    EXPECT_FALSE(copier.ensureDirectory(tree.path("file")));
    EXPECT_EQ(tree.read("file"), "x");
    EXPECT_FALSE(copier.ensureDirectory(tree.path("new/deeper/still")));
    EXPECT_TRUE(fs::is_directory(tree.path("new/deeper/still")));

    const auto error = copier.ensureDirectory(tree.path("file/below"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->operation(), "createDirectory");
    EXPECT_EQ(error->url(), tree.path("file/below"));
    EXPECT_TRUE(error->isPosix(ENOTDIR));
}

TEST(PathValidationTest, CheckpointHoldsStartTimeAndPhaseAndGoesAway)
{
    TempTree tree{{"backup/", ""}};
    const fs::path file = tree.path("backup/.larkfold-checkpoint.json");
    const QDateTime start(QDate(2026, 12, 9), QTime(9, 13, 22, 480), QTimeZone::utc());
    const FileCopier copier;
    const auto backup = larkfold::platform::systemFileSystem().openDirectory(tree.path("backup"));
    ASSERT_TRUE(backup);

    EXPECT_TRUE(copier.writeCheckpoint(*backup, start));
    EXPECT_EQ(larkfold::test::readFile(file), R"({"phase":"copying","startTime":"2026-12-09T09:13:22Z"})");
    EXPECT_EQ(std::distance(fs::directory_iterator(tree.path("backup")), fs::directory_iterator()), 1);

    copier.removeCheckpoint(*backup);
    EXPECT_FALSE(fs::exists(file));
    copier.removeCheckpoint(*backup); // nothing there: no complaint
}

// Whatever else stands at the name stays as it is: never written through, replaced or removed.
TEST(PathValidationTest, CheckpointLeavesAnItemItDidNotMakeAlone)
{
    const FileCopier copier;
    struct Case {
        const char* name;
        std::function<void(const fs::path&, TempTree&)> plant;
    } cases[] = {
        {"a link", [](const fs::path& file, TempTree& tree) { fs::create_symlink(tree.path("outside.txt"), file); }},
        {"a folder", [](const fs::path&, TempTree& tree) { tree.write("backup/.larkfold-checkpoint.json/keep.txt", "mine"); }},
        {"a FIFO", [](const fs::path& file, TempTree&) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree{{"backup/", ""}, {"outside.txt", "keep"}};
        const fs::path file = tree.path("backup/.larkfold-checkpoint.json");
        c.plant(file, tree);
        const auto before = fs::symlink_status(file).type();
        const auto backup = larkfold::platform::systemFileSystem().openDirectory(tree.path("backup"));
        ASSERT_TRUE(backup);
        EXPECT_FALSE(copier.writeCheckpoint(*backup, QDateTime::currentDateTimeUtc()));
        copier.removeCheckpoint(*backup);
        EXPECT_EQ(fs::symlink_status(file).type(), before);
        EXPECT_EQ(tree.read("outside.txt"), "keep");
        if (before == fs::file_type::directory) {
            EXPECT_EQ(larkfold::test::readFile(file / "keep.txt"), "mine");
        }
    }
}
