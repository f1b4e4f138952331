#include "copy/FileCopier.h"

#include "CopyRunFixture.h"
#include "copy/BandwidthThrottle.h"
#include "platform/StorageKind.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

class ParallelCopyTest : public ::testing::Test {
protected:
    void SetUp() override { currentBandwidthMode.store(2); }

    BackupResult run(std::size_t workers, const fs::path& source, const fs::path& backup,
                     const FileCopier::ProgressCallback& progress = {}, const platform::CancelToken& cancel = {})
    {
        FileCopier copier(platform::systemFileSystem(), m_applications);
        copier.setCopyWorkers(workers);
        const fs::path trash = backup.parent_path() / (backup.filename().native() + "-trash");
        BackupOutcome outcome = copier.backup(source, backup, trash, ExclusionFilter::forProfile(BackupProfile::standard),
                                              progress, cancel);
        if (const auto* failure = std::get_if<FileOperationError>(&outcome)) {
            ADD_FAILURE() << "run did not start: " << failure->description().toStdString();
            return {};
        }
        return std::get<BackupResult>(std::move(outcome));
    }

    StaticApplications m_applications;
};

// Everything of a result that does not depend on time, one fact a line, lists in their order.
std::string summary(const BackupResult& result)
{
    std::string text = "copied " + std::to_string(result.copiedFiles) + ", " + std::to_string(result.bytesTransferred)
                     + " bytes, archived " + std::to_string(result.archivedFiles) + "\n";
    for (const fs::path& relative : result.copiedRelativePaths)
        text += "  " + relative.native() + "\n";
    for (const FileOperationError& error : result.errors)
        text += "error " + error.operation().toStdString() + " " + std::to_string(error.code()) + " "
              + error.url().native() + "\n";
    for (const auto& item : result.foreignItems)
        text += "foreign " + item.relativePath + "\n";
    return text;
}

std::vector<std::string> filesBelow(const fs::path& folder)
{
    std::vector<std::string> files;
    for (const std::string& relative : treeOf(folder)) {
        if (!relative.ends_with("/") && fs::path(relative).filename() != ".larkfold-lock")
            files.push_back(relative);
    }
    return files;
}

} // namespace

// Copies overlap and end in any order, but what a run reports is what copying one file at a time
// reports: the same files in scan order, the same failures in the same order.
TEST_F(ParallelCopyTest, SeveralFilesAtOnceGiveTheResultOfOneAtATime)
{
    TempTree tree;
    TempDir work;
    const fs::path& source = tree.root();
    for (int folder = 0; folder < 12; ++folder) {
        for (int file = 0; file < 20; ++file) {
            const fs::path relative = "d" + std::to_string(folder) + (file % 4 == 0 ? "/sub/" : "/")
                                    + "f" + std::to_string(file) + ".txt";
            tree.write(relative, std::string(std::size_t(folder * 509 + file * 97) % 9000, char('a' + file)));
        }
    }
    tree.write("Tool.app/Contents/one", "package");
    tree.write("Tool.app/two", "package too");
    makeLargeFile(source / "media/film.mov", 64 * kMebibyte + 1, 'm');
    // Unreadable for the run's user: 1008 each.
    const std::vector<fs::path> locked{"d3/locked.txt", "d7/sub/locked.txt", "d9/z-locked.txt"};
    for (const fs::path& relative : locked)
        tree.write(relative, "secret");
    for (const char* name : {"ro/a.txt", "ro/b.txt"})
        tree.write(name, "cannot be written");

    const bool root = ::geteuid() == 0;
    for (const char* backup : {"one", "four"}) {
        // The run may not write into this folder of the backup: a failed copy each.
        fs::create_directories(work / backup / "ro");
        if (root) {
            ASSERT_EQ(::chown((work / backup).c_str(), kNobody, kNobody), 0);
        }
        ::chmod((work / backup / "ro").c_str(), 0555);
    }
    if (root) {
        ::chmod(work.path().c_str(), 0777);
        for (const auto& entry : fs::recursive_directory_iterator(source))
            ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown(source.c_str(), kNobody, kNobody), 0);
    }
    for (const fs::path& relative : locked)
        ::chmod((source / relative).c_str(), 0);

    const auto report = runUnprivileged([&] {
        std::string text;
        for (const auto& [workers, backup] : {std::pair{std::size_t(1), "one"}, std::pair{std::size_t(4), "four"}}) {
            const std::thread::id caller = std::this_thread::get_id();
            bool elsewhere = false;
            const BackupResult result = run(workers, source, work / backup, [&](double, const QString&) {
                elsewhere = elsewhere || std::this_thread::get_id() != caller;
            });
            text += summary(result) + (elsewhere ? "progress reported on another thread\n" : "") + "----\n";
        }
        return text;
    });
    if (!report)
        GTEST_SKIP() << "cannot run as an unprivileged user here";

    const std::size_t split = report->find("----\n");
    const std::string one = report->substr(0, split);
    const std::string four = report->substr(split + 5, report->size() - split - 10);
    EXPECT_EQ(four, one);
    // The failures the tree was made with, in scan order, and nothing else.
    std::size_t errors = 0;
    for (std::size_t at = one.find("error "); at != std::string::npos; at = one.find("error ", at + 1))
        ++errors;
    EXPECT_EQ(errors, locked.size() + 2) << one;
    for (const fs::path& relative : locked)
        EXPECT_NE(one.find("error copy 1008 " + (source / relative).native() + "\n"), std::string::npos) << relative;
    EXPECT_NE(one.find("error copy 13 " + (source / "ro/a.txt").native() + "\n"), std::string::npos);
    EXPECT_TRUE(one.starts_with("copied 242, ")) << one;

    ASSERT_EQ(filesBelow(work / "four"), filesBelow(work / "one"));
    for (const std::string& relative : filesBelow(work / "four"))
        EXPECT_TRUE(sameContents(work / "four" / relative, source / relative)) << relative;
}

// A stop lets the copies under way end and starts no more: nothing half-written stays behind,
// the run claims exactly the files it put in place, and the next run copies the rest.
TEST_F(ParallelCopyTest, AStoppedRunLeavesNoTemporaryFilesAndTheNextRunCompletesIt)
{
    TempTree source;
    TempDir destination;
    const fs::path backup = destination / "backup";
    constexpr int kFiles = 600;
    for (int i = 0; i < kFiles; ++i)
        source.write("d" + std::to_string(i % 30) + "/f" + std::to_string(i) + ".txt", std::string(2000 + i, 'x'));

    platform::CancelSource cancel;
    int visited = 0;
    const BackupResult stopped = run(4, source.root(), backup, [&](double, const QString&) {
        if (++visited == 100)
            cancel.cancel();
    }, cancel.token());

    EXPECT_TRUE(stopped.errors.empty());
    EXPECT_LT(stopped.copiedFiles, 100);
    std::set<std::string> claimed;
    for (const fs::path& relative : stopped.copiedRelativePaths)
        claimed.insert(relative.native());
    const std::vector<std::string> present = filesBelow(backup);
    // No temporary, resume or checkpoint file either: only what the run says it copied.
    EXPECT_EQ(std::set<std::string>(present.begin(), present.end()), claimed);
    for (const std::string& relative : present)
        EXPECT_TRUE(sameContents(backup / relative, source.path(relative))) << relative;

    const BackupResult rest = run(4, source.root(), backup);
    EXPECT_TRUE(rest.errors.empty());
    EXPECT_EQ(rest.copiedFiles, kFiles - stopped.copiedFiles);
    const std::vector<std::string> all = filesBelow(backup);
    ASSERT_EQ(all.size(), std::size_t(kFiles));
    for (const std::string& relative : all)
        EXPECT_TRUE(sameContents(backup / relative, source.path(relative))) << relative;
}

// How many files a run copies at once, from what holds the backup folder.
TEST(CopyWorkers, FollowTheBackupFoldersStorage)
{
    struct Case {
        const char* fileSystemType;
        std::optional<bool> rotational;
        unsigned cores;
        std::size_t workers;
    } cases[] = {
        {"ext4", true, 8, 1},         // a spinning disk (or a virtual one that says it spins)
        {"ext4", false, 8, 4},        // SSD or NVMe
        {"btrfs", false, 2, 2},       // never more than the cores
        {"xfs", false, 0, 1},         // cores unknown
        {"tmpfs", std::nullopt, 8, 4}, // memory
        {"nfs4", std::nullopt, 8, 1},
        {"cifs", std::nullopt, 8, 1},
        {"fuse.sshfs", std::nullopt, 8, 1},
        {"fuse", false, 8, 1},        // any FUSE server, even on an SSD
        {"overlay", std::nullopt, 8, 1}, // unknown
        {"ext4", std::nullopt, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fileSystemType) + " rotational "
                     + (c.rotational ? std::to_string(*c.rotational) : "unknown") + ", " + std::to_string(c.cores)
                     + " cores");
        EXPECT_EQ(FileCopier::copyWorkersFor(platform::storageKindFor(c.fileSystemType, c.rotational), c.cores),
                  c.workers);
    }
}
