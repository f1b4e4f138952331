#include "platform/FaultInjectingFileSystem.h"
#include "platform/FileSystem.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

struct stat lstatOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().native());
    std::sort(names.begin(), names.end());
    return names;
}

bool holdsTemporary(const fs::path& folder)
{
    for (const auto& name : namesIn(folder))
        if (name.starts_with(kTemporaryPrefix))
            return true;
    return false;
}

std::string xattrOf(const fs::path& path, const char* name)
{
    char value[256];
    const ssize_t n = ::lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, std::size_t(n));
}

std::string patternedBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 4096) & 0xFF);
    return bytes;
}

class FileSystemTest : public ::testing::Test {
protected:
    Directory open(const fs::path& relative)
    {
        auto dir = systemFileSystem().openDirectory(tree.path(relative));
        EXPECT_TRUE(dir) << relative << ": " << dir.error().message();
        return dir ? std::move(*dir) : Directory();
    }

    TempTree tree;
    FaultInjectingFileSystem faults;
};

TEST_F(FileSystemTest, WritesBelowADirectoryNeverFollowALink)
{
    tree.write("source/a.txt", "data");
    tree.write("outside/victim", "keep");
    tree.write("outside/target.txt", "secret");
    tree.mkdir("backup");
    tree.symlink("backup/sub", tree.path("outside"));
    const Directory source = open("source");
    const Directory backup = open("backup");
    FileSystem& files = systemFileSystem();

    struct Case {
        const char* name;
        std::function<std::error_code()> call;
        int expected;
    };
    const Case cases[] = {
        {"createDirectories", [&] { return files.createDirectories(backup, "sub/new"); }, ELOOP},
        {"createDirectory", [&] { return files.createDirectory(backup, "sub/new"); }, ELOOP},
        {"openFile", [&] { return files.openFile(backup, "sub/f", OpenMode::createNew).error(); }, ELOOP},
        {"writeFileAtomically", [&] { return files.writeFileAtomically(backup, "sub/f", "x"); }, ELOOP},
        {"copyItem", [&] { return files.copyItem(source, "a.txt", backup, "sub/a.txt"); }, ELOOP},
        {"moveItem", [&] { return files.moveItem(source, "a.txt", backup, "sub/a.txt"); }, ELOOP},
        {"rename", [&] { return files.rename(source, "a.txt", backup, "sub/a.txt", RenameMode::replace); }, ELOOP},
        {"removeItem", [&] { return files.removeItem(backup, "sub/victim"); }, ELOOP},
        {"openDirectory", [&] { return files.openDirectory(backup, "sub").error(); }, ELOOP},
        {"dot-dot", [&] { return files.openFile(backup, "../outside/f", OpenMode::createNew).error(); }, EINVAL},
        {"absolute", [&] { return files.createDirectory(backup, tree.path("outside/d")); }, EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), posixError(c.expected));
    }
    EXPECT_EQ(namesIn(tree.path("outside")), (std::vector<std::string>{"target.txt", "victim"}));
    EXPECT_EQ(tree.read("source/a.txt"), "data");

    // A link as the last component is replaced or refused, never written through.
    tree.symlink("backup/leaf", tree.path("outside/target.txt"));
    EXPECT_EQ(files.openFile(backup, "leaf", OpenMode::createNew).error(), posixError(EEXIST));
    EXPECT_EQ(files.openFile(backup, "leaf", OpenMode::append).error(), posixError(ELOOP));
    EXPECT_EQ(files.readWholeFile(backup, "leaf", 100).error(), posixError(ELOOP));
    EXPECT_FALSE(files.writeFileAtomically(backup, "leaf", "new"));
    EXPECT_TRUE(S_ISREG(lstatOf(tree.path("backup/leaf")).st_mode));
    EXPECT_EQ(tree.read("backup/leaf"), "new");
    EXPECT_FALSE(files.removeItem(backup, "sub"));
    EXPECT_EQ(tree.read("outside/target.txt"), "secret");
    EXPECT_EQ(tree.read("outside/victim"), "keep");
}

// The program's own files are used only when they are regular files it may have made: a link, a
// folder, a FIFO (which would hold a writer until a reader comes) or a socket is refused at once.
TEST_F(FileSystemTest, OwnFilesOpenOnlyAsRegularFilesAndNeverWaitOnAFifo)
{
    tree.write("backup/own", "mine");
    tree.write("outside", "secret");
    tree.symlink("backup/link", tree.path("outside"));
    tree.mkdir("backup/folder");
    ASSERT_EQ(::mkfifo(tree.path("backup/fifo").c_str(), 0600), 0);
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.path("backup/socket").native();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const Directory backup = open("backup");
    FileSystem& files = systemFileSystem();

    // Without a reader a write-only open of a FIFO fails rather than waiting.
    EXPECT_EQ(files.openFile(backup, "fifo", OpenMode::append).error(), posixError(ENXIO));
    const struct Case {
        const char* name;
        int expected;
    } cases[] = {{"own", 0}, {"link", ELOOP}, {"folder", EISDIR}, {"fifo", ENXIO}, {"socket", ENXIO}};
    for (const Case& c : cases) {
        for (const OpenMode mode : {OpenMode::read, OpenMode::append}) {
            SCOPED_TRACE(std::string(c.name) + (mode == OpenMode::read ? " read" : " append"));
            const auto file = files.openRegularFile(backup, c.name, mode);
            EXPECT_EQ(file.error(), c.expected ? posixError(c.expected) : std::error_code());
            EXPECT_EQ(FileSystem::isNotRegularFile(file.error()), c.expected != 0);
            EXPECT_EQ(files.holdsOtherThanRegularFile(backup, c.name), c.expected != 0);
            // A regular file reads and writes as an ordinary blocking one.
            if (file) {
                EXPECT_EQ(::fcntl(file->fd(), F_GETFL) & O_NONBLOCK, 0);
            }
        }
    }
    EXPECT_FALSE(files.holdsOtherThanRegularFile(backup, "missing"));
    ::close(server);
}

TEST_F(FileSystemTest, AWholeFileIsReadOnlyUpToItsLimit)
{
    tree.write("backup/small", "12345");
    tree.write("backup/large", "");
    fs::resize_file(tree.path("backup/large"), std::uintmax_t(8) << 30); // sparse: no disk, and never read
    const Directory backup = open("backup");
    FileSystem& files = systemFileSystem();
    EXPECT_EQ(*files.readWholeFile(backup, "small", 5), "12345");
    EXPECT_EQ(files.readWholeFile(backup, "small", 4).error(), posixError(EFBIG));
    faults.clearFaults();
    EXPECT_EQ(faults.readWholeFile(backup, "large", std::int64_t(1) << 30).error(), posixError(EFBIG));
    EXPECT_EQ(faults.callCount(FileOperation::read), 0);
}

TEST_F(FileSystemTest, AnExclusiveLockIsHeldUntilItsFileIsClosed)
{
    tree.write("backup/lock", "");
    const Directory backup = open("backup");
    FileSystem& files = systemFileSystem();
    auto first = files.openRegularFile(backup, "lock", OpenMode::read);
    auto second = files.openRegularFile(backup, "lock", OpenMode::read);
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(files.lockExclusively(*first));
    EXPECT_EQ(files.lockExclusively(*second), std::errc::operation_would_block);
    first->close();
    EXPECT_FALSE(files.lockExclusively(*second));
}

TEST_F(FileSystemTest, AnOpenedFolderNoticesWhenItsPathNamesAnotherAndIsNeverRecreated)
{
    tree.mkdir("backup");
    FileSystem& files = systemFileSystem();
    const Directory backup = open("backup");
    EXPECT_TRUE(files.isStillAtPath(backup));
    EXPECT_EQ(backup.device(), lstatOf(tree.path("backup")).st_dev);

    fs::rename(tree.path("backup"), tree.path("moved"));
    EXPECT_FALSE(files.isStillAtPath(backup));
    // Writes keep going to the opened folder, wherever it now is.
    EXPECT_FALSE(files.writeFileAtomically(backup, "x", "1"));
    EXPECT_EQ(tree.read("moved/x"), "1");
    EXPECT_FALSE(tree.exists("backup"));

    tree.mkdir("backup");
    EXPECT_FALSE(files.isStillAtPath(backup));
    fs::remove(tree.path("backup"));
    fs::remove_all(tree.path("moved"));
    EXPECT_EQ(files.createDirectories(backup, "a/b"), posixError(ENOENT));
    EXPECT_FALSE(tree.exists("backup"));
}

TEST_F(FileSystemTest, CreateDirectoriesMakesMissingFoldersAndRefusesAFileOnTheWay)
{
    tree.write("backup/file", "x");
    const Directory backup = open("backup");
    FileSystem& files = systemFileSystem();
    EXPECT_FALSE(files.createDirectories(backup, "a/b/c"));
    EXPECT_FALSE(files.createDirectories(backup, "a/b/c"));
    EXPECT_TRUE(fs::is_directory(tree.path("backup/a/b/c")));
    EXPECT_EQ(files.createDirectories(backup, "file/d"), posixError(ENOTDIR));
}

// Both data paths: copy_file_range, and read/write where the file system cannot do it.
class FileCopyTest : public FileSystemTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FileCopyTest, AFileKeepsItsDataPermissionsTimesAndAttributes)
{
    if (GetParam())
        faults.failAlways(FileOperation::copyRange, ENOSYS);
    const std::string data = patternedBytes(2 * 1024 * 1024 + 12345);
    const auto original = tree.write("source/film.mov", data);
    ::chmod(original.c_str(), 0640);
    const std::string binary("a\0b", 3);
    ASSERT_EQ(::setxattr(original.c_str(), "user.colour", "red", 3, 0), 0);
    ASSERT_EQ(::setxattr(original.c_str(), "user.empty", "", 0, 0), 0);
    ASSERT_EQ(::setxattr(original.c_str(), "user.binary", binary.data(), binary.size(), 0), 0);
    tree.setMtime("source/film.mov", 1700000000, 123456789);
    tree.mkdir("backup");

    EXPECT_FALSE(faults.copyItem(open("source"), "film.mov", open("backup"), "film.mov"));
    const auto copy = tree.path("backup/film.mov");
    EXPECT_TRUE(tree.read("backup/film.mov") == data);
    const struct stat st = lstatOf(copy);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(xattrOf(copy, "user.colour"), "red");
    EXPECT_EQ(xattrOf(copy, "user.empty"), "");
    EXPECT_EQ(xattrOf(copy, "user.binary"), binary);
    if (GetParam()) {
        EXPECT_GE(faults.callCount(FileOperation::write), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(DataPaths, FileCopyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ReadWrite" : "CopyFileRange"; });

TEST_F(FileSystemTest, AFolderCopyRecreatesLinksAndNeverOpensSpecialFiles)
{
    tree.write("source/pkg/a.txt", "a");
    tree.write("source/pkg/sub/b.txt", "bb");
    const std::string oddName = "new\nline \xff\xfe.txt"; // not UTF-8: names are bytes
    tree.write(fs::path("source/pkg") / oddName, "odd");
    tree.symlink("source/pkg/link", "a.txt");
    tree.symlink("source/pkg/dangling", "/nonexistent/target");
    ASSERT_EQ(::mkfifo(tree.path("source/pkg/pipe").c_str(), 0600), 0);
    ::chmod(tree.path("source/pkg/pipe").c_str(), 0620);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.path("source/pkg/sock").native();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    tree.setMtime("source/pkg/sub", 1600000000, 111);
    tree.setMtime("source/pkg", 1600000001, 222);
    ::chmod(tree.path("source/pkg").c_str(), 0555);
    tree.mkdir("backup");

    EXPECT_FALSE(faults.copyItem(open("source"), "pkg", open("backup"), "pkg"));
    ::close(sock);
    const auto copy = tree.path("backup/pkg");
    EXPECT_EQ(namesIn(copy), (std::vector<std::string>{"a.txt", "dangling", "link", oddName, "pipe", "sub"}));
    EXPECT_EQ(larkfold::test::readFile(copy / oddName), "odd");
    EXPECT_EQ(fs::read_symlink(copy / "link"), "a.txt");
    EXPECT_EQ(fs::read_symlink(copy / "dangling"), "/nonexistent/target");
    EXPECT_TRUE(S_ISFIFO(lstatOf(copy / "pipe").st_mode));
    EXPECT_EQ(lstatOf(copy / "pipe").st_mode & 07777, 0620u);
    EXPECT_EQ(tree.read("backup/pkg/sub/b.txt"), "bb");
    for (const auto& opened : faults.openedPaths()) {
        const auto name = opened.filename();
        EXPECT_TRUE(name != "pipe" && name != "sock" && name != "link" && name != "dangling") << opened;
    }
    // Folder times and modes were set after their contents were written.
    const struct stat folder = lstatOf(copy);
    EXPECT_EQ(folder.st_mode & 07777, 0555u);
    EXPECT_EQ(folder.st_mtim.tv_sec, 1600000001);
    EXPECT_EQ(folder.st_mtim.tv_nsec, 222);
    EXPECT_EQ(lstatOf(copy / "sub").st_mtim.tv_nsec, 111);
}

TEST_F(FileSystemTest, SetIdBitsStayOnlyWhereTheOwnerIsKept)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the originals another owner";
    constexpr uid_t kOtherUser = 1234;
    const struct {
        const char* name;
        mode_t mode;
    } items[] = {{"setuid", 04755}, {"setgid", 02755}, {"both", 06750}, {"shared", 0666}, {"package", 02775}};
    for (const auto& item : items) {
        const fs::path path = item.name == std::string_view("package") ? tree.mkdir("source/package")
                                                                         : tree.write(fs::path("source") / item.name, "x");
        // chown clears the bits: the mode comes after.
        ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
        ASSERT_EQ(::chmod(path.c_str(), item.mode), 0);
    }
    const Directory source = open("source");
    for (const bool ownerKept : {true, false}) {
        SCOPED_TRACE(ownerKept ? "owner kept" : "owner refused");
        faults.clearFaults();
        if (!ownerKept)
            faults.failAlways(FileOperation::setOwner, EPERM);
        const fs::path folder = ownerKept ? "kept" : "refused";
        tree.mkdir(folder);
        const Directory target = open(folder);
        for (const auto& item : items) {
            SCOPED_TRACE(item.name);
            ASSERT_FALSE(faults.copyItem(source, item.name, target, item.name));
            EXPECT_EQ(lstatOf(tree.path(folder / item.name)).st_mode & 07777, ownerKept ? item.mode : item.mode & 0777);
        }
        // The streamed copy's attribute step.
        auto original = faults.openFile(source, "setuid", OpenMode::read);
        auto streamed = faults.openFile(target, "streamed", OpenMode::createNew, 0600);
        ASSERT_TRUE(original && streamed);
        EXPECT_FALSE(faults.copyAttributes(*original, *streamed));
        EXPECT_EQ(lstatOf(tree.path(folder / "streamed")).st_mode & 07777, ownerKept ? 04755u : 0755u);
    }
}

TEST_F(FileSystemTest, CopyFailuresComeBackAndRefusedAttributesAreNoFailure)
{
    tree.write("source/a.txt", patternedBytes(3 * 1024 * 1024));
    tree.setMtime("source/a.txt", 1700000000, 5);
    tree.write("backup/taken", "old");
    ASSERT_EQ(::setxattr(tree.path("source/a.txt").c_str(), "user.colour", "red", 3, 0), 0);

    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* target;
        int expected; // 0: success
    };
    const Case cases[] = {
        {"full disk", [&] { faults.failNth(FileOperation::write, 1, ENOSPC); }, "a1", ENOSPC},
        {"failing read", [&] { faults.failAlways(FileOperation::copyRange, ENOSYS);
                               faults.failNth(FileOperation::read, 2, EIO); }, "a2", EIO},
        {"target exists", [] {}, "taken", EEXIST},
        {"times refused", [&] { faults.failAlways(FileOperation::setTimes, EPERM); }, "a3", EPERM},
        {"FAT-like", [&] { faults.failAlways(FileOperation::setPermissions, EPERM);
                           faults.failAlways(FileOperation::setOwner, EPERM);
                           faults.failAlways(FileOperation::writeAttributes, EOPNOTSUPP);
                           faults.failAlways(FileOperation::readAttributes, EOPNOTSUPP); }, "a4", 0},
        // A drive that cannot take the attribute cannot be trusted with the copy either.
        {"attribute on a full disk", [&] { faults.failAlways(FileOperation::writeAttributes, ENOSPC); }, "a5", ENOSPC},
        {"attribute over quota", [&] { faults.failAlways(FileOperation::writeAttributes, EDQUOT); }, "a6", EDQUOT},
        {"attribute write fails", [&] { faults.failAlways(FileOperation::writeAttributes, EIO); }, "a7", EIO},
        {"attribute not allowed", [&] { faults.failAlways(FileOperation::writeAttributes, EPERM); }, "a8", 0},
        {"attribute denied", [&] { faults.failAlways(FileOperation::writeAttributes, EACCES); }, "a9", 0},
        {"attribute too large", [&] { faults.failAlways(FileOperation::writeAttributes, E2BIG); }, "a10", 0},
        {"attribute out of range", [&] { faults.failAlways(FileOperation::writeAttributes, ERANGE); }, "a11", 0},
        {"namespace refused", [&] { faults.failAlways(FileOperation::writeAttributes, EINVAL); }, "a12", 0},
        {"attributes unsupported", [&] { faults.failAlways(FileOperation::writeAttributes, ENOTSUP); }, "a13", 0},
    };
    const Directory source = open("source");
    const Directory backup = open("backup");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        faults.clearFaults();
        c.arrange();
        const auto error = faults.copyItem(source, "a.txt", backup, c.target);
        EXPECT_EQ(error, c.expected ? posixError(c.expected) : std::error_code());
    }
    EXPECT_EQ(tree.read("backup/taken"), "old");
    EXPECT_TRUE(tree.read("backup/a4") == tree.read("source/a.txt"));
    EXPECT_EQ(lstatOf(tree.path("backup/a4")).st_mtim.tv_nsec, 5);
}

// How the file system answers RENAME_NOREPLACE: natively, or refusing the flag as vfat and NFS do.
class MoveTest : public FileSystemTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        if (GetParam() != 0)
            faults.failAlways(FileOperation::renameNoReplace, GetParam());
    }
};

TEST_P(MoveTest, NeverReplacesAnything)
{
    tree.write("d/file", "new");
    tree.write("d/folder/inner", "new");
    tree.write("d/oldfile", "old");
    tree.mkdir("d/emptyfolder");
    tree.write("d/oldfolder/kept", "old");
    const Directory d = open("d");
    const std::pair<const char*, const char*> moves[] = {
        {"file", "oldfile"}, {"file", "emptyfolder"}, {"folder", "emptyfolder"}, {"folder", "oldfile"},
        {"folder", "oldfolder"},
    };
    for (const auto& [from, to] : moves) {
        SCOPED_TRACE(std::string(from) + " onto " + to);
        EXPECT_EQ(faults.moveItem(d, from, d, to), posixError(EEXIST));
    }
    EXPECT_EQ(namesIn(tree.path("d")),
              (std::vector<std::string>{"emptyfolder", "file", "folder", "oldfile", "oldfolder"}));
    EXPECT_EQ(tree.read("d/oldfile"), "old");
    EXPECT_TRUE(fs::is_empty(tree.path("d/emptyfolder")));

    tree.mkdir("d/trash/2026-03-09");
    EXPECT_FALSE(faults.moveItem(d, "folder", d, "trash/2026-03-09/folder"));
    EXPECT_FALSE(faults.moveItem(d, "file", d, "trash/2026-03-09/file"));
    EXPECT_EQ(tree.read("d/trash/2026-03-09/folder/inner"), "new");
    EXPECT_EQ(tree.read("d/trash/2026-03-09/file"), "new");
    EXPECT_FALSE(tree.exists("d/folder"));
    EXPECT_FALSE(tree.exists("d/file"));
}

INSTANTIATE_TEST_SUITE_P(NoReplaceSupport, MoveTest, ::testing::Values(0, EINVAL, ENOSYS), [](const auto& info) {
    return info.param == 0 ? "Native" : info.param == EINVAL ? "RefusedWithEINVAL" : "RefusedWithENOSYS";
});

TEST_F(FileSystemTest, AMoveAcrossFileSystemsCopiesVerifiesFlushesThenRemovesTheOriginal)
{
    tree.write("backup/docs/report.pdf", "pdf");
    tree.setMtime("backup/docs/report.pdf", 1700000000, 42);
    tree.write("backup/App.pkg/Contents/bin", "exe");
    tree.mkdir("trash");
    const Directory backup = open("backup");
    const Directory trash = open("trash");

    for (const char* item : {"docs/report.pdf", "App.pkg"}) {
        SCOPED_TRACE(item);
        faults.clearFaults();
        faults.failNth(FileOperation::renameNoReplace, 1, EXDEV);
        const int syncsBefore = faults.callCount(FileOperation::sync);
        EXPECT_FALSE(faults.moveItem(backup, item, trash, fs::path(item).filename()));
        EXPECT_GT(faults.callCount(FileOperation::sync), syncsBefore);
        EXPECT_FALSE(tree.exists(fs::path("backup") / item));
    }
    EXPECT_EQ(tree.read("trash/report.pdf"), "pdf");
    EXPECT_EQ(lstatOf(tree.path("trash/report.pdf")).st_mtim.tv_nsec, 42);
    EXPECT_EQ(tree.read("trash/App.pkg/Contents/bin"), "exe");
    EXPECT_FALSE(holdsTemporary(tree.path("trash")));

    // A move that fails on the way leaves the original alone and nothing behind: a failed copy,
    // a copy that came out short without an error (the file shrank as it was read), a failed flush.
    tree.write("backup/big", patternedBytes(100000));
    struct Case {
        const char* name;
        std::function<void()> arrange;
        int expected;
    };
    const Case failures[] = {
        {"full disk", [&] { faults.failNth(FileOperation::write, 1, ENOSPC); }, ENOSPC},
        {"short copy", [&] { faults.failAlways(FileOperation::copyRange, ENOSYS);
                             faults.endFileEarly(1); }, EIO},
        {"flush fails", [&] { faults.failNth(FileOperation::sync, 1, EIO); }, EIO},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.name);
        faults.clearFaults();
        faults.failNth(FileOperation::renameNoReplace, 1, EXDEV);
        c.arrange();
        EXPECT_EQ(faults.moveItem(backup, "big", trash, "big"), posixError(c.expected));
        EXPECT_EQ(tree.read("backup/big").size(), 100000u);
        EXPECT_EQ(namesIn(tree.path("trash")), (std::vector<std::string>{"App.pkg", "report.pdf"}));
    }
    faults.clearFaults();

    // Nor does it replace across file systems.
    faults.failNth(FileOperation::renameNoReplace, 1, EXDEV);
    tree.write("backup/report.pdf", "other");
    EXPECT_EQ(faults.moveItem(backup, "report.pdf", trash, "report.pdf"), posixError(EEXIST));
    EXPECT_EQ(tree.read("trash/report.pdf"), "pdf");
}

// How the file system answers RENAME_EXCHANGE: natively, or refusing it (and NOREPLACE) as vfat does.
class ReplaceTest : public FileSystemTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        if (GetParam()) {
            faults.failAlways(FileOperation::renameExchange, EINVAL);
            faults.failAlways(FileOperation::renameNoReplace, EINVAL);
        }
    }
};

TEST_P(ReplaceTest, TheNewItemTakesThePlaceOfWhateverStoodThere)
{
    struct Case {
        const char* name;
        std::vector<TempTree::Entry> old; // below "target"; empty: nothing there
        std::vector<TempTree::Entry> replacement; // below the temporary; "" alone: a file
    };
    const Case cases[] = {
        {"file over file", {{"", "old"}}, {{"", "new"}}},
        {"folder over folder", {{"/a", "old"}, {"/sub/b", "old"}}, {{"/c", "new"}}},
        {"folder over file", {{"", "old"}}, {{"/c", "new"}}},
        {"file over folder", {{"/a", "old"}}, {{"", "new"}}},
        {"folder over nothing", {}, {{"/c", "new"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = tree.mkdir(c.name);
        for (const auto& [suffix, content] : c.old)
            tree.write(std::string(c.name) + "/target" + suffix, content);
        for (const auto& [suffix, content] : c.replacement)
            tree.write(std::string(c.name) + "/.larktmp-1A2B3C4D-target" + suffix, content);
        const Directory dir = open(c.name);

        EXPECT_FALSE(faults.replaceItem(dir, "target", dir, ".larktmp-1A2B3C4D-target"));
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"target"});
        for (const auto& [suffix, content] : c.replacement)
            EXPECT_EQ(larkfold::test::readFile(folder / ("target" + suffix)), content);
        if (c.replacement.front().first != "") {
            EXPECT_EQ(namesIn(folder / "target").size(), c.replacement.size());
        }
    }
}

TEST_P(ReplaceTest, AFailedReplaceKeepsTheOldItem)
{
    tree.write("d/target/a", "old");
    tree.write("d/new/c", "new");
    const Directory d = open("d");
    // The step that puts the new folder in place fails (natively or after the check).
    faults.failNth(GetParam() ? FileOperation::rename : FileOperation::renameExchange, GetParam() ? 2 : 1, EIO);
    EXPECT_EQ(faults.replaceItem(d, "target", d, "new"), posixError(EIO));
    EXPECT_EQ(namesIn(tree.path("d")), (std::vector<std::string>{"new", "target"}));
    EXPECT_EQ(tree.read("d/target/a"), "old");
}

INSTANTIATE_TEST_SUITE_P(ExchangeSupport, ReplaceTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "AsideFallback" : "Exchange"; });

TEST_F(FileSystemTest, AtomicWritesLeaveTheOldContentOrTheNewAndNoTemporary)
{
    tree.write("backup/.larkfold-hashes.json", "old");
    const Directory backup = open("backup");
    const std::pair<FileOperation, int> faultsToTry[] = {
        {FileOperation::write, ENOSPC}, {FileOperation::sync, EIO}, {FileOperation::rename, EXDEV}};
    for (const auto& [operation, error] : faultsToTry) {
        faults.clearFaults();
        faults.failNth(operation, 1, error);
        EXPECT_EQ(faults.writeFileAtomically(backup, ".larkfold-hashes.json", "new"), posixError(error));
        EXPECT_EQ(namesIn(tree.path("backup")), std::vector<std::string>{".larkfold-hashes.json"});
        EXPECT_EQ(tree.read("backup/.larkfold-hashes.json"), "old");
    }
    faults.clearFaults();
    EXPECT_FALSE(faults.writeFileAtomically(backup, ".larkfold-hashes.json", "new"));
    EXPECT_EQ(*faults.readWholeFile(backup, ".larkfold-hashes.json", 100), "new");

    // The temporary name stays within the name limit for the longest name.
    const std::string longName(255, 'n');
    EXPECT_FALSE(faults.writeFileAtomically(backup, longName, "x"));
    EXPECT_EQ(tree.read(fs::path("backup") / longName), "x");
    EXPECT_FALSE(holdsTemporary(tree.path("backup")));
}

TEST_F(FileSystemTest, RemoveItemTakesWholeFoldersAndOnlyTheLinkOfALink)
{
    tree.write("outside/keep", "x");
    tree.write("backup/.larktmp-0A1B2C3D-App.pkg/deep/er/file", "x");
    tree.symlink("backup/.larktmp-0A1B2C3D-App.pkg/deep/out", tree.path("outside"));
    const Directory backup = open("backup");
    EXPECT_FALSE(systemFileSystem().removeItem(backup, ".larktmp-0A1B2C3D-App.pkg"));
    EXPECT_TRUE(fs::is_empty(tree.path("backup")));
    EXPECT_EQ(tree.read("outside/keep"), "x");
    EXPECT_EQ(systemFileSystem().removeItem(backup, "missing"), posixError(ENOENT));
}

TEST(TemporaryName, IsPrefixedRandomAndWithinTheNameLimit)
{
    const std::string name = temporaryNameFor("report.pdf");
    EXPECT_TRUE(name.starts_with(".larktmp-")) << name;
    EXPECT_TRUE(name.ends_with("-report.pdf")) << name;
    EXPECT_EQ(name.size(), std::string(".larktmp-1A2B3C4D-report.pdf").size());
    EXPECT_TRUE(std::all_of(name.begin() + 9, name.begin() + 17,
                            [](char c) { return std::isdigit(c) || (c >= 'A' && c <= 'F'); }))
        << name;
    EXPECT_NE(name, temporaryNameFor("report.pdf"));
    EXPECT_EQ(temporaryNameFor(std::string(255, 'x')).size(), 255u);
}

} // namespace
