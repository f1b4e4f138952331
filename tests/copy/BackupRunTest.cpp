#include "copy/FileCopier.h"

#include "CopyRunFixture.h"
#include "copy/BandwidthThrottle.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/MountSource.h"
#include "support/ChildProcess.h"
#include "support/TempTree.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>

using namespace larkfold;
using namespace larkfold::test;
using platform::FileOperation;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kTime = 1'700'000'000;

class BackupRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        currentBandwidthMode.store(2);
        fs::create_directories(m_backup);
    }

    BackupResult run(const FileCopier::ProgressCallback& progress = {}, const platform::CancelToken& cancel = {},
                     BackupProfile profile = BackupProfile::standard, const SourceMounts& mounts = {})
    {
        const FileCopier copier(m_fileSystem, m_applications);
        BackupOutcome outcome = copier.backup(m_source.root(), m_backup, m_trash, ExclusionFilter::forProfile(profile),
                                              progress, cancel, {}, mounts);
        if (const auto* failure = std::get_if<FileOperationError>(&outcome)) {
            ADD_FAILURE() << "run did not start: " << failure->description().toStdString();
            return {};
        }
        return std::get<BackupResult>(std::move(outcome));
    }

    std::vector<std::string> errorCodes(const BackupResult& result)
    {
        std::vector<std::string> codes;
        for (const auto& error : result.errors)
            codes.push_back(error.operation().toStdString() + " " + std::to_string(error.code()));
        return codes;
    }

    fs::path trashDay() const { return m_trash / FileCopier::dateFolderName(QDateTime::currentDateTime()); }

    platform::FaultInjectingFileSystem m_fileSystem;
    StaticApplications m_applications;
    TempTree m_source;
    TempDir m_destination;
    fs::path m_backup = m_destination / "Larkfold" / "Pair";
    fs::path m_trash = m_destination / ".Larkfold-Trash";
};

std::vector<std::string> asStrings(const std::vector<fs::path>& paths)
{
    return {paths.begin(), paths.end()};
}

} // namespace

TEST_F(BackupRunTest, MirrorsTheTreeAndASecondRunFindsNothingToDo)
{
    m_source.write("a.txt", "alpha");
    m_source.write("sub/b.txt", "beta!");
    m_source.mkdir("empty");
    m_source.write("node_modules/x.js", "excluded");
    m_source.symlink("link", "a.txt");
    m_source.setMtime("a.txt", kTime, 250);

    const BackupResult first = run();

    EXPECT_TRUE(first.errors.empty()) << testing::PrintToString(errorCodes(first));
    EXPECT_EQ(first.copiedFiles, 2);
    auto copied = asStrings(first.copiedRelativePaths);
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    EXPECT_EQ(first.bytesTransferred, 10);
    EXPECT_EQ(first.approximateSourceBytes, 10);
    // The lock file stays for the next run.
    EXPECT_EQ(treeOf(m_backup), (std::vector<std::string>{".larkfold-lock", "a.txt", "sub/", "sub/b.txt"}));
    EXPECT_EQ(modifiedTime(m_backup / "a.txt").tv_nsec, 250);
    // One flush of the drive for the whole run, none per file; the checkpoint's own atomic write
    // syncs it and its folder.
    EXPECT_EQ(m_fileSystem.callCount(FileOperation::sync), 1 + 2);

    const BackupResult second = run();
    EXPECT_TRUE(second.errors.empty());
    EXPECT_EQ(second.copiedFiles, 0);
    EXPECT_EQ(second.archivedFiles, 0);
    EXPECT_FALSE(fs::exists(m_backup / ".larkfold-checkpoint.json"));
}

TEST_F(BackupRunTest, EachBackupFolderTakesTheModeOfTheSourceFolderItMirrors)
{
    m_source.write("notes.txt", "n");
    m_source.write("private/secret.txt", "s");
    m_source.write("private/deeper/key.txt", "k");
    m_source.write("shared/readme.txt", "r");
    m_source.write("readonly/old.txt", "o");
    const std::pair<const char*, mode_t> sourceModes[] = {
        {"private/deeper", 0750}, {"private", 0700}, {"shared", 0775}, {"readonly", 0555}, {".", 0700}};
    for (const auto& [folder, mode] : sourceModes)
        ASSERT_EQ(::chmod(m_source.path(folder).c_str(), mode), 0);
    const std::vector<std::string> folders{".", "private", "private/deeper", "shared", "readonly"};

    run();
    // The owner may always write: the next run fills a read-only folder too.
    EXPECT_EQ(modesOf(m_backup, folders), ". 0700\nprivate 0700\nprivate/deeper 0750\nshared 0775\nreadonly 0755\n");

    // A source folder made private since, and a backup folder an older version left open, follow
    // their source on the next run, with nothing to copy.
    ::chmod(m_source.path("shared").c_str(), 0700);
    ::chmod((m_backup / "private/deeper").c_str(), 0777);
    const BackupResult again = run();
    EXPECT_EQ(again.copiedFiles, 0);
    EXPECT_EQ(modesOf(m_backup, folders), ". 0700\nprivate 0700\nprivate/deeper 0750\nshared 0700\nreadonly 0755\n");
}

TEST_F(BackupRunTest, ABackupFolderKeepsSetGroupIdOnlyWithTheSourceFoldersOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a source folder another owner";
    m_source.write("team/plan.txt", "p");
    m_source.write("mine/notes.txt", "n");
    ASSERT_EQ(::chown(m_source.path("team").c_str(), 1234, 1234), 0);
    ASSERT_EQ(::chmod(m_source.path("team").c_str(), 02775), 0);
    ASSERT_EQ(::chmod(m_source.path("mine").c_str(), 02770), 0);

    run();

    // The run's folders are its own: only where the source folder is its own too may it hand down its group.
    EXPECT_EQ(modesOf(m_backup, {"team", "mine"}), "team 0775\nmine 2770\n");
}

// Where the drive keeps nanoseconds, any other time is a change (a same-size edit a moment later
// included); where it keeps coarse times (FAT's 2 s here), times within 2 s are the same.
TEST_F(BackupRunTest, CopiesWhenTheSizeOrTheTimeDiffersByTheDrivesOwnRule)
{
    const struct Case {
        const char* label;
        std::string copy;
        std::int64_t seconds;
        long nanoseconds;
        bool copied;
        bool copiedOnCoarseDrive;
    } cases[] = {
        {"same", "0123456789", kTime, 0, false, false},
        {"1 ns newer", "0123456789", kTime, 1, true, false},
        {"1.5 s older", "0123456789", kTime - 2, 500'000'000, true, false},
        {"exactly 2 s newer", "0123456789", kTime + 2, 0, true, false},
        {"2.001 s newer", "0123456789", kTime + 2, 1'000'000, true, true},
        {"2.5 s older", "0123456789", kTime - 3, 500'000'000, true, true},
        {"one byte longer", "0123456789!", kTime, 0, true, true},
    };
    for (const bool coarse : {false, true}) {
        if (coarse)
            m_fileSystem.keepTimesTo(2);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (coarse ? " on a coarse drive" : ""));
            const bool copied = coarse ? c.copiedOnCoarseDrive : c.copied;
            m_source.write("notes.txt", "0123456789");
            m_source.setMtime("notes.txt", kTime);
            writeFile(m_backup / "notes.txt", c.copy);
            setModifiedTime(m_backup / "notes.txt", c.seconds, c.nanoseconds);

            EXPECT_EQ(run().copiedFiles, copied ? 1 : 0);
            EXPECT_EQ(readFile(m_backup / "notes.txt"), copied ? "0123456789" : c.copy);
        }
    }
}

// v1 backed up, then v2 of the same size written within the same two seconds: v2 is the backup's.
TEST_F(BackupRunTest, ASameSizeEditAMomentLaterIsBackedUp)
{
    m_source.write("notes.txt", "version 1");
    m_source.setMtime("notes.txt", kTime, 100'000'000);
    ASSERT_EQ(run().copiedFiles, 1);
    m_source.write("notes.txt", "version 2");
    m_source.setMtime("notes.txt", kTime + 1, 600'000'000);

    EXPECT_EQ(run().copiedFiles, 1);
    EXPECT_EQ(readFile(m_backup / "notes.txt"), "version 2");
    EXPECT_EQ(run().copiedFiles, 0);
}

TEST_F(BackupRunTest, APackageIsComparedByEverythingInsideIt)
{
    m_source.write("Tool.app/Contents/Resources/deep.txt", "version 1");
    m_source.write("Tool.app/Contents/Info.plist", "info");
    ASSERT_EQ(asStrings(run().copiedRelativePaths), (std::vector<std::string>{"Tool.app"}));
    EXPECT_EQ(run().copiedFiles, 0);

    // Same size, later time, three levels down: the folder's own entry does not change.
    m_source.write("Tool.app/Contents/Resources/deep.txt", "version 2");
    m_source.setMtime("Tool.app/Contents/Resources/deep.txt", kTime + 100000000);
    const BackupResult changed = run();

    EXPECT_EQ(asStrings(changed.copiedRelativePaths), (std::vector<std::string>{"Tool.app"}));
    EXPECT_EQ(readFile(m_backup / "Tool.app/Contents/Resources/deep.txt"), "version 2");
    EXPECT_TRUE(changed.errors.empty());
}

// A socket is never copied, so its time cannot count on the source side alone.
TEST_F(BackupRunTest, APackageHoldingASocketIsCopiedOnceAndThenLeftAlone)
{
    m_source.write("Tool.app/bin", "tool");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = m_source.path("Tool.app/control").native();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(sock);
    m_source.setMtime("Tool.app/bin", kTime);
    m_source.setMtime("Tool.app", kTime);

    ASSERT_EQ(asStrings(run().copiedRelativePaths), (std::vector<std::string>{"Tool.app"}));
    const BackupResult again = run();

    EXPECT_TRUE(again.errors.empty());
    EXPECT_EQ(again.copiedFiles, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_backup / "Tool.app/control")));
}

TEST_F(BackupRunTest, ReportsProgressForEveryVisitedFile)
{
    EXPECT_EQ(run([](double, const QString&) { ADD_FAILURE() << "no file, no progress"; }).copiedFiles, 0);

    for (const char* name : {"a", "b", "c", "d"})
        m_source.write(name, name);
    run();
    std::vector<double> fractions;
    run([&](double fraction, const QString&) { fractions.push_back(fraction); });
    EXPECT_EQ(fractions, (std::vector<double>{0.0, 0.25, 0.5, 0.75}));
}

// The progress moves through a large file as it is streamed, across the share of the run it stands for.
TEST_F(BackupRunTest, ALargeFileMovesTheProgressThroughItsShare)
{
    m_source.write("a.txt", "a");
    // Without holes: a hole is skipped at once, so only data moves the figure.
    makeAllocatedFile(m_source.path("b.mov"), FileCopier::kStreamThresholdBytes, 'b');
    std::vector<double> all;
    std::vector<double> chunks;
    run([&](double fraction, const QString& label) {
        all.push_back(fraction);
        if (label.startsWith(QStringLiteral("b.mov (")))
            chunks.push_back(fraction);
    });
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    ASSERT_EQ(chunks.size(), 64u);
    // Half the run, in 64 even steps: from just past where the file starts to where it ends.
    const double start = chunks.front() - 0.5 / 64.0;
    EXPECT_TRUE(start == 0.0 || start == 0.5) << start;
    for (std::size_t chunk = 0; chunk < chunks.size(); ++chunk)
        EXPECT_DOUBLE_EQ(chunks[chunk], start + 0.5 * double(chunk + 1) / 64.0) << chunk;
}

TEST_F(BackupRunTest, AVolumeThatGoesAwayEndsTheRunAtTheNextTenthFile)
{
    const struct Case {
        bool sourceGoes;
        const char* error;
    } cases[] = {{true, "sourceVolumeCheck 1006"}, {false, "destinationVolumeCheck 1007"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TempTree source;
        for (int i = 0; i < 15; ++i)
            source.write("f" + std::to_string(i), "data");
        TempDir destination;
        const fs::path backup = destination / "backup";
        const fs::path gone = destination / "unplugged";
        const fs::path watched = c.sourceGoes ? source.root() : backup;
        int visited = 0;
        // At the fifth file the folder is swapped for an empty one, as an unplugged drive leaves
        // its mount point behind.
        const auto progress = [&](double, const QString&) {
            if (++visited == 5) {
                fs::rename(watched, gone);
                fs::create_directory(watched);
            }
        };
        const BackupOutcome outcome = FileCopier(m_fileSystem, m_applications)
                                          .backup(source.root(), backup, destination / "trash",
                                                  ExclusionFilter::forProfile(BackupProfile::standard), progress);
        const auto& result = std::get<BackupResult>(outcome);

        EXPECT_TRUE(result.abortedDueToVolumeLoss);
        EXPECT_EQ(errorCodes(result).back(), c.error);
        EXPECT_EQ(visited, 10);
        EXPECT_EQ(result.archivedFiles, 0);
        if (!c.sourceGoes) {
            EXPECT_TRUE(namesIn(backup).empty()) << "nothing is written to the empty folder";
            EXPECT_EQ(namesIn(gone).size(), std::size_t(result.copiedFiles + 1)); // and the checkpoint
        }
        fs::remove_all(watched);
        fs::rename(gone, watched);
    }
}

TEST_F(BackupRunTest, AnEntryThatChangedKindEndsWithTheSourcesKindAndTheOldEntryInTheTrash)
{
    m_source.write("x/one", "1");
    m_source.write("x/two", "2");
    m_source.write("y", "a file");
    m_source.write("Tool.app/bin", "a package");
    for (int i = 0; i < 10; ++i)
        m_source.write("keep/" + std::to_string(i), "kept");
    ASSERT_TRUE(run().errors.empty());

    fs::remove_all(m_source.path("x"));
    m_source.write("x", "now a file");
    fs::remove(m_source.path("y"));
    m_source.write("y/inside", "now a folder");
    fs::remove_all(m_source.path("Tool.app"));
    m_source.write("Tool.app", "now a file");

    const BackupResult changed = run();

    EXPECT_TRUE(changed.errors.empty()) << testing::PrintToString(errorCodes(changed));
    EXPECT_EQ(readFile(m_backup / "x"), "now a file");
    EXPECT_EQ(readFile(m_backup / "y/inside"), "now a folder");
    EXPECT_EQ(readFile(m_backup / "Tool.app"), "now a file");
    EXPECT_EQ(readFile(trashDay() / "x/one"), "1");
    EXPECT_EQ(readFile(trashDay() / "x/two"), "2");
    EXPECT_EQ(readFile(trashDay() / "y"), "a file");
    EXPECT_EQ(readFile(trashDay() / "Tool.app/bin"), "a package");
    EXPECT_EQ(changed.archivedFiles, 4);

    const BackupResult settled = run();
    EXPECT_TRUE(settled.errors.empty());
    EXPECT_EQ(settled.copiedFiles + settled.archivedFiles, 0);
}

// A folder replaced by a file may still hold items no scan lists (desktop litter, an excluded
// dependency folder, an unfinished copy): they must not keep the file out of the backup for ever.
TEST_F(BackupRunTest, AFolderHoldingOnlyExcludedItemsMovesWholeToTheTrashForTheFileThatReplacedIt)
{
    const struct {
        const char* leftover;
    } cases[] = {{".DS_Store"}, {"node_modules/pkg/index.js"}, {".larktmp-one"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.leftover);
        for (const fs::path& folder : {m_source.root(), m_destination.path()}) {
            for (const auto& item : fs::directory_iterator(folder))
                fs::remove_all(item.path());
        }
        fs::create_directories(m_backup);
        m_source.write("x/one", "1");
        for (int i = 0; i < 10; ++i)
            m_source.write("keep/" + std::to_string(i), "kept");
        ASSERT_TRUE(run().errors.empty());
        fs::create_directories((m_backup / "x" / c.leftover).parent_path());
        writeFile(m_backup / "x" / c.leftover, "left over");
        fs::remove_all(m_source.path("x"));
        m_source.write("x", "now a file");

        const BackupResult changed = run();

        EXPECT_TRUE(changed.errors.empty()) << testing::PrintToString(errorCodes(changed));
        EXPECT_EQ(readFile(m_backup / "x"), "now a file");
        EXPECT_EQ(readFile(trashDay() / "x/one"), "1");
        // The archived file took the folder's name in the trash; the rest of it goes beside.
        const auto day = namesIn(trashDay());
        ASSERT_EQ(day.size(), 2u) << testing::PrintToString(day);
        EXPECT_TRUE(day[1].starts_with("x-")) << day[1];
        EXPECT_EQ(readFile(trashDay() / day[1] / c.leftover), "left over");

        const BackupResult settled = run();
        EXPECT_TRUE(settled.errors.empty()) << testing::PrintToString(errorCodes(settled));
        EXPECT_EQ(settled.copiedFiles + settled.archivedFiles, 0);
    }
}

TEST_F(BackupRunTest, AnEntryOfTheOtherKindThatArchivalCouldNotMoveStaysInPlace)
{
    m_source.write("New.app", "an old file");
    m_source.write("x", "an old file");
    for (int i = 0; i < 10; ++i)
        m_source.write("keep/" + std::to_string(i), "kept");
    ASSERT_TRUE(run().errors.empty());
    fs::remove(m_source.path("New.app"));
    m_source.write("New.app/bin", "now a package");
    fs::remove(m_source.path("x"));
    m_source.write("x/inside", "now a folder");
    // The trash cannot be made, so nothing can move into it.
    writeFile(m_trash, "in the way");

    const BackupResult result = run();

    EXPECT_EQ(result.archivedFiles, 0);
    EXPECT_FALSE(result.errors.empty());
    EXPECT_EQ(readFile(m_backup / "New.app"), "an old file");
    EXPECT_EQ(readFile(m_backup / "x"), "an old file");

    fs::remove(m_trash);
    const BackupResult settled = run();
    EXPECT_TRUE(settled.errors.empty()) << testing::PrintToString(errorCodes(settled));
    EXPECT_EQ(readFile(m_backup / "New.app/bin"), "now a package");
    EXPECT_EQ(readFile(trashDay() / "New.app"), "an old file");
}

TEST_F(BackupRunTest, AFileOpenInAnEditorIsLeftForALaterRunUnderEveryRunningEditor)
{
    m_source.write("Edit.drp", "project");
    m_source.write("other.txt", "other");
    QProcess editor;
    editor.start("/bin/sh", {"-c", "exec 3<\"$0\"; exec sleep 30", QString::fromStdString(m_source.path("Edit.drp"))});
    ASSERT_TRUE(editor.waitForStarted());
    const auto pid = pid_t(editor.processId());
    // Wait until the shell has opened the file and become sleep.
    for (int i = 0; i < 200 && fs::read_symlink("/proc/" + std::to_string(pid) + "/exe").filename() != "sleep"; ++i)
        ::usleep(10000);
    m_applications = StaticApplications({{"com.blackmagic-design.DaVinciResolve", pid}, {"com.adobe.Photoshop", pid}});

    const BackupResult held = run();

    editor.kill();
    editor.waitForFinished();
    EXPECT_EQ(held.filesDeferredByEditor,
              (std::map<std::string, int>{{"DaVinci Resolve", 1}, {"Photoshop", 1}}));
    EXPECT_EQ(asStrings(held.copiedRelativePaths), (std::vector<std::string>{"other.txt"}));
    EXPECT_TRUE(held.errors.empty());

    m_applications = StaticApplications();
    EXPECT_EQ(asStrings(run().copiedRelativePaths), (std::vector<std::string>{"Edit.drp"}));
}

TEST_F(BackupRunTest, CancellingStopsTheRunWithoutAnError)
{
    for (int i = 0; i < 6; ++i)
        m_source.write("f" + std::to_string(i), "data");
    m_source.write("old.txt", "vanishes");
    ASSERT_EQ(run().copiedFiles, 7);
    fs::remove(m_source.path("old.txt"));
    for (int i = 0; i < 6; ++i)
        m_source.write("new" + std::to_string(i), "new");

    platform::CancelSource cancel;
    int visited = 0;
    const BackupResult result = run(
        [&](double, const QString&) {
            if (++visited == 2)
                cancel.cancel();
        },
        cancel.token());

    EXPECT_EQ(visited, 2);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_LE(result.copiedFiles, 2);
    // Nothing of a stopped run is recorded, so it does not wait for the drive's flush: the first
    // run's flush, and the two checkpoint writes' own syncs (file and folder).
    EXPECT_EQ(m_fileSystem.callCount(FileOperation::sync), 1 + 2 + 2);
    // Archival checks the mark before every file too, so nothing moves once the run is cancelled.
    EXPECT_EQ(result.archivedFiles, 0);
    EXPECT_EQ(readFile(m_backup / "old.txt"), "vanishes");
    EXPECT_FALSE(fs::exists(m_backup / ".larkfold-checkpoint.json"));
}

TEST_F(BackupRunTest, SingleFileFailuresAreCollectedAndTheRunGoesOn)
{
    m_source.write("a.txt", "a");
    m_source.write("gone.txt", "vanishes after the scan");
    m_source.write("z.txt", "z");
    makeLargeFile(m_source.path("film.mov"), 64 * kMebibyte, 'm');
    // The previous copy of the film is what a failed verification must leave behind.
    writeFile(m_backup / "film.mov", "previous film");

    bool grown = false;
    const BackupResult result = run([&](double, const QString& label) {
        if (label == "gone.txt")
            fs::remove(m_source.path("gone.txt"));
        if (label.startsWith("film.mov (") && !grown) {
            std::ofstream(m_source.path("film.mov"), std::ios::app) << "grows while copied";
            grown = true;
        }
    });

    auto codes = errorCodes(result);
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, (std::vector<std::string>{"copy 1008", "verifySize 1009"}));
    EXPECT_EQ(result.copiedFiles, 2);
    EXPECT_EQ(readFile(m_backup / "film.mov"), "previous film");
    for (const auto& name : namesIn(m_backup))
        EXPECT_TRUE(!name.starts_with(".lark") || name == ".larkfold-lock") << name;
}

TEST_F(BackupRunTest, AFailedFlushIsReported)
{
    m_source.write("a.txt", "a");
    m_fileSystem.failAlways(FileOperation::sync, EIO);
    EXPECT_EQ(errorCodes(run()), (std::vector<std::string>{"syncDestination 5"}));
}

// The scan saw a file (or a package); before its turn to be copied the entry became the other
// kind. Copying it would put a folder over the file's backup copy, or a file over the package's.
TEST_F(BackupRunTest, AnEntryThatChangesKindAfterTheScanLeavesItsBackupCopyForTheNextRun)
{
    for (int i = 0; i < 12; ++i)
        m_source.write("f" + std::to_string(i), "first");
    m_source.write("Tool.app/a", "package a");
    m_source.write("Tool.app/b", "package b");
    ASSERT_TRUE(run().errors.empty());
    for (int i = 0; i < 12; ++i)
        m_source.write("f" + std::to_string(i), "second version");
    m_source.write("Tool.app/a", "package a, changed");

    const BackupResult changed = run([&](double, const QString& label) {
        if (label == "f3") {
            fs::remove(m_source.path("f3"));
            fs::create_directory(m_source.path("f3"));
        } else if (label == "Tool.app") {
            fs::remove_all(m_source.path("Tool.app"));
            m_source.write("Tool.app", "now a file");
        }
    });

    EXPECT_EQ(errorCodes(changed), (std::vector<std::string>{"copy 11", "copy 11"}));
    EXPECT_EQ(readFile(m_backup / "f3"), "first");
    EXPECT_EQ(readFile(m_backup / "Tool.app/a"), "package a");
    EXPECT_EQ(readFile(m_backup / "Tool.app/b"), "package b");
    EXPECT_EQ(changed.copiedFiles, 11);

    const BackupResult next = run();
    EXPECT_TRUE(next.errors.empty()) << testing::PrintToString(errorCodes(next));
    EXPECT_EQ(readFile(trashDay() / "f3"), "first");
    EXPECT_EQ(readFile(trashDay() / "Tool.app/b"), "package b");
    EXPECT_EQ(readFile(m_backup / "Tool.app"), "now a file");
    EXPECT_TRUE(fs::is_directory(m_source.path("f3")));
}

// mkdir S/inner; mount --bind B S/inner: the listing of S shows the covered folder, so only the
// opened folder tells that it is the backup folder (or the trash).
TEST_F(BackupRunTest, TheBackupFolderOrTrashMountedInsideTheSourceIsNotCopiedIntoItself)
{
    for (const bool trash : {false, true}) {
        SCOPED_TRACE(trash ? "trash" : "backup folder");
        for (const auto& entry : fs::directory_iterator(m_backup))
            fs::remove_all(entry.path());
        const auto outcome = runInPrivateMountNamespace([&]() -> std::string {
            TempTree source;
            source.write("a.txt", "a");
            fs::create_directories(m_trash / "2026-01-01");
            writeFile(m_trash / "2026-01-01" / "old.txt", "archived");
            const fs::path inner = source.mkdir("inner");
            if (::mount((trash ? m_trash : m_backup).c_str(), inner.c_str(), nullptr, MS_BIND, nullptr) != 0)
                return "no mount";
            std::string summary;
            for (int round = 0; round < 2; ++round) {
                const BackupOutcome outcome = FileCopier(m_fileSystem, m_applications)
                                                  .backup(source.root(), m_backup, m_trash,
                                                          ExclusionFilter::forProfile(BackupProfile::standard), {});
                const auto& result = std::get<BackupResult>(outcome);
                summary += std::to_string(result.copiedFiles);
                for (const auto& error : result.errors)
                    summary += " " + error.operation().toStdString() + " " + std::to_string(error.code()) + " "
                               + error.url().lexically_relative(source.root()).native();
                summary += ";";
            }
            summary += " backup:";
            for (const auto& name : treeOf(m_backup))
                summary += " " + name;
            // Unmounted first, so removing the source neither reaches into the backup nor stays behind.
            ::umount2(inner.c_str(), MNT_DETACH);
            return summary;
        });
        if (!outcome)
            GTEST_SKIP() << "cannot mount here";
        EXPECT_EQ(*outcome, "1 scan 1014 inner;0 scan 1014 inner; backup: .larkfold-lock a.txt");
    }
}

TEST_F(BackupRunTest, ASourceEntryWithTheEnginesOwnNameIsReportedOnEveryRunAndNotCopied)
{
    m_source.write("a.txt", "a");
    m_source.write(".larktmp-draft.txt", "the user's own");
    m_source.write("sub/.larkfold-hashes.json", "{\"mine\": true}");
    m_source.write(".larkresume-notes/inside.txt", "a folder of that name");
    const std::vector<std::string> reported = {"scan 1015 .larkresume-notes", "scan 1015 .larktmp-draft.txt",
                                               "scan 1015 sub/.larkfold-hashes.json"};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const BackupResult result = run();
        std::vector<std::string> errors;
        for (const auto& error : result.errors) {
            errors.push_back(error.operation().toStdString() + " " + std::to_string(error.code()) + " "
                             + error.url().lexically_relative(m_source.root()).native());
            EXPECT_EQ(error.description(), "Name is reserved for Larkfold's own files — rename it to have it backed up.");
        }
        std::sort(errors.begin(), errors.end());
        EXPECT_EQ(errors, reported);
        EXPECT_EQ(treeOf(m_backup), (std::vector<std::string>{".larkfold-lock", "a.txt"}));
    }
}

// Another program appends to a large file while it is copied: the copy stops at the size the file
// had, so the drive does not fill up (and fail every file after it); the file is not taken and
// waits for the next run.
TEST_F(BackupRunTest, AFileGrowingWhileItIsCopiedCannotFillTheDrive)
{
    makeAllocatedFile(m_source.path("film.mov"), 64 * kMebibyte, 'f');
    m_source.write("notes.txt", "notes");
    m_fileSystem.beforeNth(FileOperation::read, 2, [&] {
        std::ofstream(m_source.path("film.mov"), std::ios::app | std::ios::binary) << std::string(64 * kMebibyte, 'x');
    });
    const auto outcome = runInPrivateMountNamespace([&]() -> std::string {
        if (::mount("tmpfs", m_destination.path().c_str(), "tmpfs", 0, "size=100m") != 0)
            return "no mount";
        const BackupResult result = run();
        std::string summary = std::to_string(result.copiedFiles);
        for (const auto& error : result.errors)
            summary += " " + error.operation().toStdString() + " " + std::to_string(error.code()) + " "
                     + error.url().filename().native();
        summary += " |";
        for (const auto& name : treeOf(m_backup))
            summary += " " + name;
        return summary;
    });
    if (!outcome || *outcome == "no mount")
        GTEST_SKIP() << "no private mount namespace with tmpfs here";
    EXPECT_EQ(*outcome, "1 verifySize 1009 film.mov | .larkfold-lock notes.txt");
}

// ext4 made with 128-byte inodes keeps whole seconds, and none past 2038: a file dated 2100 gets a
// copy dated 2038-01-19, and a file's nanoseconds are dropped. Neither is a change at the next run.
TEST_F(BackupRunTest, ADriveWithCoarseAndLimitedTimesCopiesEachFileOnce)
{
    constexpr std::int64_t k2100 = 4'102'444'800;
    constexpr std::int64_t kLastOf32Bits = 2'147'483'647;
    m_source.write("future.txt", "from 2100");
    m_source.setMtime("future.txt", k2100);
    m_source.write("now.txt", "today");
    m_source.setMtime("now.txt", kTime, 123'456'789);
    TempDir images;
    const fs::path image = images / "ext4-128.img";
    const auto outcome = runInPrivateMountNamespace([&]() -> std::string {
        const std::string prepare = "PATH=\"$PATH:/usr/sbin:/sbin\"; truncate -s 16M '" + image.native()
                                  + "' && mkfs.ext4 -q -F -I 128 '" + image.native() + "' >/dev/null 2>&1 && mount -o loop '"
                                  + image.native() + "' '" + m_destination.path().native() + "' 2>/dev/null";
        if (std::system(prepare.c_str()) != 0)
            return "no mount";
        std::string summary;
        for (int round = 0; round < 3; ++round)
            summary += std::to_string(run().copiedFiles) + " ";
        summary += std::to_string(modifiedTime(m_backup / "future.txt").tv_sec);
        ::umount2(m_destination.path().c_str(), MNT_DETACH);
        return summary;
    });
    if (!outcome || *outcome == "no mount")
        GTEST_SKIP() << "cannot make and mount an ext4 image here (root, mkfs.ext4 and loop devices are needed)";
    EXPECT_EQ(*outcome, "2 0 0 " + std::to_string(kLastOf32Bits));
}

// A drive mounted inside the source and then unmounted leaves an empty folder: its files are out of
// reach, not deleted, and their part of the backup stays until the drive is back.
TEST_F(BackupRunTest, TheBackupOfADriveUnmountedFromInsideTheSourceIsLeftAsItIs)
{
    const fs::path root = fs::canonical(m_source.root());
    const fs::path media = root / "media";
    const std::string systemDisk = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
    platform::TextMountSource table(systemDisk + "2 1 8:17 / " + media.native() + " rw - ext4 /dev/sdb1 rw\n");
    const auto runWith = [&](const std::vector<fs::path>& known) {
        return run({}, {}, BackupProfile::standard, SourceMounts{&table, known});
    };
    for (int i = 0; i < 9; ++i)
        m_source.write("media/f" + std::to_string(i) + ".txt", "on the drive");
    m_source.write("a.txt", "on the system disk");
    const BackupResult first = runWith({});
    ASSERT_EQ(first.copiedFiles, 10);
    EXPECT_EQ(first.sourceMountPoints, std::vector<fs::path>{media});
    EXPECT_TRUE(first.unmountedFolders.empty());

    fs::remove_all(media);
    fs::create_directory(media);
    table.setText(systemDisk);
    const BackupResult unmounted = runWith(first.sourceMountPoints);
    EXPECT_EQ(unmounted.archivedFiles, 0);
    EXPECT_TRUE(unmounted.errors.empty());
    EXPECT_EQ(unmounted.unmountedFolders, std::vector<fs::path>{media});
    EXPECT_EQ(unmounted.sourceMountPoints, std::vector<fs::path>{media});
    EXPECT_EQ(countFiles(m_backup / "media"), 9);

    // Back, with one file deleted meanwhile: that one goes to the trash as any vanished file.
    for (int i = 1; i < 9; ++i)
        m_source.write("media/f" + std::to_string(i) + ".txt", "on the drive");
    table.setText(systemDisk + "3 1 8:17 / " + media.native() + " rw - ext4 /dev/sdb1 rw\n");
    const BackupResult back = runWith(unmounted.sourceMountPoints);
    EXPECT_EQ(back.archivedFiles, 1);
    EXPECT_TRUE(back.unmountedFolders.empty());

    // Once the backup holds nothing of it, an unmounted folder is forgotten.
    fs::remove_all(m_backup / "media");
    fs::remove_all(media);
    table.setText(systemDisk);
    const BackupResult forgotten = runWith(back.sourceMountPoints);
    EXPECT_TRUE(forgotten.unmountedFolders.empty());
    EXPECT_TRUE(forgotten.sourceMountPoints.empty());
}

// A FIFO where a streamed file's resume file belongs, left there by someone else (in a shared,
// sticky folder nobody but its owner may remove it): opening it to resume would wait for a
// reader for ever. It stays, is named in the result, and the file is copied all the same.
TEST_F(BackupRunTest, AFifoAtAResumeNameIsLeftAloneAndTheFileIsCopiedAllTheSame)
{
    makeLargeFile(m_source.path("clips/film.mov"), 64 * kMebibyte, 'f');
    const fs::path fifo = m_backup / "clips" / ".larkresume-67108864-film.mov";
    fs::create_directories(fifo.parent_path());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

    const auto outcome = runWithin(std::chrono::seconds(120), [&] {
        const BackupResult result = run();
        std::string summary = std::to_string(result.copiedFiles) + " copied, "
                            + std::to_string(result.errors.size()) + " errors;";
        for (const auto& item : result.foreignItems)
            summary += " " + item.relativePath + (item.movedToTrash ? " moved" : " left");
        return summary;
    });
    ASSERT_TRUE(outcome) << "the run waited on the FIFO";
    EXPECT_EQ(*outcome, "1 copied, 0 errors; clips/.larkresume-67108864-film.mov left");
    EXPECT_TRUE(sameContents(m_source.path("clips/film.mov"), m_backup / "clips/film.mov"));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_EQ(namesIn(m_backup / "clips"), (std::vector<std::string>{".larkresume-67108864-film.mov", "film.mov"}));
}

// Two runs on one folder (another account, another computer sharing it): the second takes over
// nothing of the first, not even its unfinished files, and writes nothing.
TEST_F(BackupRunTest, ASecondRunOnAFolderAnotherRunHoldsWritesNothing)
{
    m_source.write("a.txt", "a");
    writeFile(m_backup / ".larktmp-1A2B3C4D-film.mov", "the first run's unfinished copy");
    const FileCopier copier(m_fileSystem, m_applications);
    {
        const auto first = copier.openBackupFolder(m_source.root(), m_backup, m_trash);
        ASSERT_TRUE(std::holds_alternative<BackupFolder>(first));
        ASSERT_TRUE(std::get<BackupFolder>(first).isLocked());

        const auto second = copier.backup(m_source.root(), m_backup, m_trash,
                                          ExclusionFilter::forProfile(BackupProfile::standard), {});
        ASSERT_TRUE(std::holds_alternative<FileOperationError>(second));
        const auto& busy = std::get<FileOperationError>(second);
        EXPECT_EQ(busy.code(), 1016);
        EXPECT_EQ(busy.operation(), "lockBackupFolder");
        EXPECT_EQ(busy.description(), "Another backup is writing to this folder — this one will try again later.");
        EXPECT_EQ(namesIn(m_backup), (std::vector<std::string>{".larkfold-lock", ".larktmp-1A2B3C4D-film.mov"}));
    }

    // A lock taken by another process (flock on its own open file) counts just the same.
    const int other = ::open((m_backup / ".larkfold-lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(std::holds_alternative<FileOperationError>(
        copier.backup(m_source.root(), m_backup, m_trash, ExclusionFilter::forProfile(BackupProfile::standard), {})));
    ::close(other);
    EXPECT_EQ(run().copiedFiles, 1);
    EXPECT_TRUE(fs::is_regular_file(m_backup / ".larkfold-lock"));
}

// Something not made by the program where its lock file belongs goes to the trash, whole.
TEST_F(BackupRunTest, AnItemAtTheLockFilesNameIsMovedToTheTrash)
{
    m_source.write("a.txt", "a");
    fs::create_directories(m_backup / ".larkfold-lock");
    writeFile(m_backup / ".larkfold-lock" / "keep.txt", "someone's");
    const BackupResult result = run();
    EXPECT_EQ(result.copiedFiles, 1);
    ASSERT_EQ(result.foreignItems.size(), 1u);
    EXPECT_EQ(result.foreignItems[0].relativePath, ".larkfold-lock");
    EXPECT_TRUE(result.foreignItems[0].movedToTrash);
    EXPECT_EQ(readFile(trashDay() / ".larkfold-lock" / "keep.txt"), "someone's");
    EXPECT_TRUE(fs::is_regular_file(m_backup / ".larkfold-lock"));
}

// The backup folder's path leads elsewhere part way through (its parent replaced by a link to a
// folder holding a folder of the checkpoint's name): the run stops as for a lost drive, and its
// clean-up works on the folder it opened, never on whatever the path names now.
TEST_F(BackupRunTest, TheCleanUpOfARunWhoseFolderWasReplacedNeverReachesOutside)
{
    for (int i = 0; i < 12; ++i)
        m_source.write("f" + std::to_string(i), "data");
    TempTree elsewhere{{"Pair/.larkfold-checkpoint.json/keep.txt", "mine"}};
    const fs::path larkfold = m_destination / "Larkfold";
    m_fileSystem.beforeNth(FileOperation::copyRange, 2, [&] {
        fs::rename(larkfold, m_destination / "moved");
        fs::create_directory_symlink(elsewhere.root(), larkfold);
    });
    const BackupResult result = run();

    EXPECT_TRUE(result.abortedDueToVolumeLoss);
    EXPECT_EQ(errorCodes(result), std::vector<std::string>{"destinationVolumeCheck 1007"});
    EXPECT_EQ(elsewhere.read("Pair/.larkfold-checkpoint.json/keep.txt"), "mine");
    EXPECT_EQ(treeOf(elsewhere.root()),
              (std::vector<std::string>{"Pair/", "Pair/.larkfold-checkpoint.json/", "Pair/.larkfold-checkpoint.json/keep.txt"}));
    EXPECT_FALSE(fs::exists(m_destination / "moved/Pair/.larkfold-checkpoint.json"));
}
