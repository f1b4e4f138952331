#include "copy/FileCopier.h"

#include "copy/BandwidthThrottle.h"

#include "CopyRunFixture.h"
#include "platform/ByteCount.h"
#include "platform/CancelToken.h"
#include "platform/FaultInjectingFileSystem.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace larkfold;
using namespace larkfold::test;
using platform::FaultInjectingFileSystem;
using platform::FileOperation;
using Status = CopyFileResult::Status;
namespace fs = std::filesystem;

namespace {

class SingleFileCopyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        currentBandwidthMode.store(2); // full: no pauses
        auto sourceDir = m_fileSystem.openDirectory(m_source.root());
        auto backupDir = m_fileSystem.openDirectory(m_backup.root());
        ASSERT_TRUE(sourceDir && backupDir);
        m_sourceDir = std::move(*sourceDir);
        m_backupDir = std::move(*backupDir);
    }

    CopyFileResult copy(const fs::path& relative, const FileCopier::ProgressCallback& progress = {},
                        const platform::CancelToken& cancel = {})
    {
        return m_copier.copyFile(m_sourceDir, relative, m_backupDir, relative,
                                 QString::fromStdString(relative.filename().native()), progress, {0.25, 0.25},
                                 cancel);
    }

    // Names in the backup folder that the copy engine uses only while it works.
    std::vector<std::string> leftovers(const fs::path& folder = {})
    {
        std::vector<std::string> names;
        for (const auto& name : namesIn(m_backup.path(folder)))
            if (name.starts_with(".larktmp-") || name.starts_with(".larkresume-"))
                names.push_back(name);
        return names;
    }

    bool opened(std::string_view namePrefix)
    {
        for (const fs::path& path : m_fileSystem.openedPaths())
            if (path.filename().native().starts_with(namePrefix))
                return true;
        return false;
    }

    FaultInjectingFileSystem m_fileSystem;
    FileCopier m_copier{m_fileSystem};
    TempTree m_source;
    TempTree m_backup;
    platform::Directory m_sourceDir;
    platform::Directory m_backupDir;
};

// Every byte count a streamed copy reports, in order.
struct ProgressLog {
    std::vector<QString> labels;
    std::vector<double> fractions;
    FileCopier::ProgressCallback callback()
    {
        return [this](double fraction, const QString& label) {
            fractions.push_back(fraction);
            labels.push_back(label);
        };
    }
};

} // namespace

TEST_F(SingleFileCopyTest, SmallEntriesGoThroughATemporaryAndLargeOnesAreStreamedWithTheirAttributes)
{
    const struct Case {
        std::int64_t size;
        const char* writtenAs;
    } cases[] = {
        {63 * kMebibyte, ".larktmp-"},
        {FileCopier::kStreamThresholdBytes, ".larkresume-67108864-film.mov"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        makeLargeFile(m_source.path("sub/film.mov"), c.size, 'n');
        ::chmod(m_source.path("sub/film.mov").c_str(), 0640);
        ASSERT_EQ(::setxattr(m_source.path("sub/film.mov").c_str(), "user.tag", "blue", 4, 0), 0);
        setModifiedTime(m_source.path("sub/film.mov"), 1'700'000'000, 123456789);
        m_backup.write("sub/film.mov", "an older copy");

        const CopyFileResult result = copy("sub/film.mov");

        EXPECT_EQ(result.status, Status::copied);
        EXPECT_EQ(result.sourceSize, c.size);
        EXPECT_TRUE(opened(c.writtenAs));
        EXPECT_TRUE(sameContents(m_source.path("sub/film.mov"), m_backup.path("sub/film.mov")));
        struct stat st {};
        ::lstat(m_backup.path("sub/film.mov").c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1'700'000'000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
        char value[16] = {};
        EXPECT_EQ(::getxattr(m_backup.path("sub/film.mov").c_str(), "user.tag", value, sizeof value), 4);
        EXPECT_STREQ(value, "blue");
        // The mark that ties an unfinished resume file to its source does not reach the copy.
        EXPECT_LT(::getxattr(m_backup.path("sub/film.mov").c_str(), "user.larkfold.resume-source", nullptr, 0), 0);
        EXPECT_TRUE(leftovers("sub").empty());
    }
}

TEST_F(SingleFileCopyTest, AnAttributeLostToAFullDriveFailsTheCopyAndKeepsTheOldOne)
{
    m_source.write("notes.txt", "new notes");
    ASSERT_EQ(::setxattr(m_source.path("notes.txt").c_str(), "user.tag", "blue", 4, 0), 0);
    m_backup.write("notes.txt", "old notes");
    m_fileSystem.failAlways(FileOperation::writeAttributes, ENOSPC);

    const CopyFileResult result = copy("notes.txt");

    EXPECT_EQ(result.status, Status::failed);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(std::get<PosixError>(*result.error).code, ENOSPC);
    EXPECT_EQ(m_backup.read("notes.txt"), "old notes");
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(SingleFileCopyTest, OnlyAStreamedCopyReportsProgressOncePerChunk)
{
    m_source.write("small.txt", "hello");
    makeAllocatedFile(m_source.path("big.bin"), FileCopier::kStreamThresholdBytes, 'b');

    ProgressLog small, big;
    EXPECT_EQ(copy("small.txt", small.callback()).status, Status::copied);
    EXPECT_EQ(copy("big.bin", big.callback()).status, Status::copied);

    EXPECT_TRUE(small.labels.empty());
    ASSERT_EQ(big.labels.size(), 64u);
    const QString total = platform::formatByteCount(FileCopier::kStreamThresholdBytes);
    EXPECT_EQ(big.labels.front(), QStringLiteral("big.bin (%1/%2)").arg(platform::formatByteCount(kMebibyte), total));
    EXPECT_EQ(big.labels.back(), QStringLiteral("big.bin (%1/%1)").arg(total));
    // Through the entry's share of the run, chunk by chunk: a large file does not hold the figure still.
    for (std::size_t chunk = 0; chunk < big.fractions.size(); ++chunk)
        EXPECT_DOUBLE_EQ(big.fractions[chunk], 0.25 + 0.25 * double(chunk + 1) / 64.0) << chunk;
}

TEST_F(SingleFileCopyTest, ACancelledStreamKeepsItsResumeFileAndTheNextCopyResumesIt)
{
    makeAllocatedFile(m_source.path("film.mov"), 100 * kMebibyte, 'f');
    platform::CancelSource cancel;
    int chunks = 0;
    const CopyFileResult first = copy(
        "film.mov", [&](double, const QString&) {
            if (++chunks == 10)
                cancel.cancel();
        },
        cancel.token());

    EXPECT_EQ(first.status, Status::cancelled);
    EXPECT_FALSE(first.error);
    const fs::path resume = m_backup.path(".larkresume-104857600-film.mov");
    EXPECT_EQ(fs::file_size(resume), std::uintmax_t(10 * kMebibyte));
    EXPECT_FALSE(m_backup.exists("film.mov"));

    ProgressLog log;
    EXPECT_EQ(copy("film.mov", log.callback()).status, Status::copied);
    ASSERT_FALSE(log.labels.empty());
    EXPECT_EQ(log.labels.front(), QStringLiteral("film.mov (%1/%2)")
                                      .arg(platform::formatByteCount(11 * kMebibyte),
                                           platform::formatByteCount(100 * kMebibyte)));
    EXPECT_EQ(log.labels.size(), 90u);
    EXPECT_TRUE(sameContents(m_source.path("film.mov"), m_backup.path("film.mov")));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(SingleFileCopyTest, AResumeFileLeftByAnotherSourceOfTheSameSizeStartsOver)
{
    makeLargeFile(m_source.path("film.mov"), 80 * kMebibyte, 'a');
    platform::CancelSource cancel;
    copy("film.mov", [&](double, const QString&) { cancel.cancel(); }, cancel.token());
    ASSERT_TRUE(m_backup.exists(".larkresume-83886080-film.mov"));

    fs::remove(m_source.path("film.mov"));
    makeLargeFile(m_source.path("film.mov"), 80 * kMebibyte, 'b');
    EXPECT_EQ(copy("film.mov").status, Status::copied);

    EXPECT_TRUE(sameContents(m_source.path("film.mov"), m_backup.path("film.mov")));
}

TEST_F(SingleFileCopyTest, ATransientErrorIsTriedOnceMoreAndAStreamedRetryResumes)
{
    const struct Case {
        int error;
        bool retried;
    } cases[] = {{EINTR, true}, {EIO, true}, {EBUSY, true}, {EAGAIN, true}, {ENOSPC, false}, {EACCES, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        m_source.write("notes.txt", "some notes");
        fs::remove(m_backup.path("notes.txt"));
        m_fileSystem.failNth(FileOperation::write, 1, c.error);

        const CopyFileResult result = copy("notes.txt");

        m_fileSystem.clearFaults();
        EXPECT_EQ(result.status, c.retried ? Status::copied : Status::failed);
        EXPECT_EQ(m_backup.exists("notes.txt"), c.retried);
        if (!c.retried) {
            ASSERT_TRUE(result.error);
            EXPECT_EQ(errorCode(*result.error), c.error);
        }
        EXPECT_TRUE(leftovers().empty());
    }

    // The 20th chunk fails: the second attempt goes on from the 19 MiB already written.
    makeAllocatedFile(m_source.path("film.mov"), 64 * kMebibyte, 'r');
    m_fileSystem.failNth(FileOperation::write, 20, EIO);
    ProgressLog log;
    EXPECT_EQ(copy("film.mov", log.callback()).status, Status::copied);
    EXPECT_EQ(log.labels.size(), 64u);
    EXPECT_TRUE(sameContents(m_source.path("film.mov"), m_backup.path("film.mov")));
}

TEST(SingleFileCopy, OnlyTheFileSystemsOwnTransientErrorsCountAsTransient)
{
    const auto nested = [](int error) {
        return UnderlyingError(std::make_shared<const FileOperationError>(
            FileOperationError::posix(error, "/backup/sub", QStringLiteral("createDirectory"))));
    };
    const struct Case {
        UnderlyingError error;
        bool transient;
    } cases[] = {
        {PosixError::fromErrno(EINTR), true},   {PosixError::fromErrno(EIO), true},
        {PosixError::fromErrno(EBUSY), true},   {PosixError::fromErrno(EAGAIN), true},
        {PosixError::fromErrno(ENOSPC), false}, {PosixError::fromErrno(ENOENT), false},
        {LarkfoldError{1013, {}}, false},       {nested(EIO), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(errorCode(c.error));
        EXPECT_EQ(FileCopier::isTransientError(c.error), c.transient);
    }
}

TEST_F(SingleFileCopyTest, FailuresOfTheStreamedCopyCarryTheirOwnCodes)
{
    makeLargeFile(m_source.path("film.mov"), 64 * kMebibyte, 'c');

    m_fileSystem.failAlways(FileOperation::open, EACCES);
    const CopyFileResult unopened = copy("film.mov");
    m_fileSystem.clearFaults();
    ASSERT_TRUE(unopened.error);
    EXPECT_EQ(errorDomain(*unopened.error), "Larkfold");
    EXPECT_EQ(errorCode(*unopened.error), 1010);
    EXPECT_EQ(errorDescription(*unopened.error), "Could not open source file for reading.");

    // A device that takes no bytes but reports no error must not hold the copy for ever.
    m_fileSystem.failAlways(FileOperation::copyRange, ENOSYS);
    m_fileSystem.acceptNoWrites();
    const CopyFileResult stalled = copy("film.mov");
    m_fileSystem.clearFaults();
    ASSERT_TRUE(stalled.error);
    EXPECT_EQ(errorCode(*stalled.error), 1013);
    EXPECT_EQ(errorDescription(*stalled.error), "Write error during streamed copy.");
    EXPECT_FALSE(m_backup.exists("film.mov"));
}

TEST_F(SingleFileCopyTest, AFileThatChangesWhileItIsCopiedLeavesThePreviousCopyInPlace)
{
    makeLargeFile(m_source.path("film.mov"), 64 * kMebibyte, 'g');
    m_backup.write("film.mov", "the previous version");
    bool grown = false;
    const CopyFileResult result = copy("film.mov", [&](double, const QString&) {
        if (!grown) {
            std::ofstream(m_source.path("film.mov"), std::ios::app) << "more";
            grown = true;
        }
    });

    EXPECT_EQ(result.status, Status::sizeMismatch);
    EXPECT_EQ(m_backup.read("film.mov"), "the previous version");
    EXPECT_TRUE(leftovers().empty());
}

// The scan listed a file; by the time it is copied a link or a FIFO stands in its place.
TEST_F(SingleFileCopyTest, SomethingElseInTheSourcesPlaceDoesNotReplaceTheOldCopy)
{
    m_source.write("target.txt", "elsewhere");
    fs::create_symlink("target.txt", m_source.path("link.txt"));
    ASSERT_EQ(::mkfifo(m_source.path("pipe").c_str(), 0644), 0);
    for (const char* name : {"link.txt", "pipe"}) {
        SCOPED_TRACE(name);
        m_backup.write(name, "the previous version");

        const CopyFileResult result = copy(name);

        EXPECT_EQ(result.status, Status::failed);
        ASSERT_EQ(fs::symlink_status(m_backup.path(name)).type(), fs::file_type::regular);
        EXPECT_EQ(m_backup.read(name), "the previous version");
        EXPECT_TRUE(leftovers().empty());
    }
}

TEST_F(SingleFileCopyTest, CopiesMatchByKindAndSize)
{
    m_source.write("a.txt", "four");
    m_source.write("b.txt", "four");
    m_source.mkdir("Lib.app/Contents");
    m_backup.write("a.txt", "FOUR");
    m_backup.write("b.txt", "three");
    m_backup.mkdir("Lib.app");
    m_backup.mkdir("c.txt");
    m_source.write("c.txt", "file");

    const struct Case {
        const char* path;
        bool match;
    } cases[] = {{"a.txt", true}, {"b.txt", false}, {"Lib.app", true}, {"c.txt", false}, {"missing.txt", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(m_copier.copiesMatch(m_sourceDir, c.path, m_backupDir, c.path), c.match);
    }
    const std::vector<fs::path> asked{"a.txt", "b.txt", "Lib.app", "c.txt", "missing.txt"};
    EXPECT_EQ(m_copier.sizeMismatches(asked, m_source.root(), m_backupDir),
              (std::vector<fs::path>{"b.txt", "c.txt", "missing.txt"}));
    EXPECT_TRUE(m_copier.sizeMismatches({}, m_source.root(), m_backupDir).empty());
    // A source chosen through a link is backed up as the folder it leads to, and checked as one.
    TempDir links;
    fs::create_directory_symlink(m_source.root(), links / "source");
    EXPECT_EQ(m_copier.sizeMismatches(asked, links / "source", m_backupDir),
              (std::vector<fs::path>{"b.txt", "c.txt", "missing.txt"}));
}

namespace {

// A file of `size` bytes holding 4 KiB of `mark` at its start and middle, and at its end unless it
// ends in a hole.
void makeSparseFile(const fs::path& path, std::int64_t size, bool endsWithData)
{
    makeLargeFile(path, size, 'd');
    if (!endsWithData) {
        fs::resize_file(path, size - 4096);
        fs::resize_file(path, size);
    }
}

std::int64_t allocatedBytes(const fs::path& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return std::int64_t(st.st_blocks) * 512;
}

} // namespace

TEST_F(SingleFileCopyTest, HolesInTheSourceStayHolesInTheCopy)
{
    const struct Case {
        const char* name;
        std::int64_t size;
        bool endsWithData;
        bool resumed; // stopped after its second step, then copied again
    } cases[] = {
        {"disk.img", 8 * kMebibyte, true, false},
        {"ends-in-a-hole.img", 8 * kMebibyte, false, false},
        {"vm.img", 256 * kMebibyte, true, false},
        {"vm-ends-in-a-hole.img", 256 * kMebibyte, false, false},
        {"vm-resumed.img", 256 * kMebibyte, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeSparseFile(m_source.path(c.name), c.size, c.endsWithData);
        if (allocatedBytes(m_source.path(c.name)) >= c.size)
            GTEST_SKIP() << "the file system here keeps no holes";
        if (c.resumed) {
            platform::CancelSource cancel;
            int steps = 0;
            copy(c.name, [&](double, const QString&) {
                if (++steps == 2)
                    cancel.cancel();
            }, cancel.token());
            ASSERT_FALSE(leftovers().empty());
        }

        EXPECT_EQ(copy(c.name).status, Status::copied);
        EXPECT_EQ(fs::file_size(m_backup.path(c.name)), std::uintmax_t(c.size));
        EXPECT_LT(allocatedBytes(m_backup.path(c.name)), kMebibyte);
        EXPECT_TRUE(sameContents(m_source.path(c.name), m_backup.path(c.name)));
        EXPECT_TRUE(leftovers().empty());
    }
}

// A log another program appends to while it is streamed: copied only as far as it was long, then
// not taken (the old copy stays), and copied whole by the next run.
TEST_F(SingleFileCopyTest, AStreamedFileThatGrowsIsCopiedNoFurtherThanItsSize)
{
    makeAllocatedFile(m_source.path("film.mov"), 64 * kMebibyte, 'g');
    m_backup.write("film.mov", "the previous version");
    m_fileSystem.beforeNth(FileOperation::read, 2, [&] {
        std::ofstream(m_source.path("film.mov"), std::ios::app | std::ios::binary) << std::string(8 * kMebibyte, 'x');
    });
    ProgressLog log;

    EXPECT_EQ(copy("film.mov", log.callback()).status, Status::sizeMismatch);

    const QString size = platform::formatByteCount(64 * kMebibyte);
    ASSERT_FALSE(log.labels.empty());
    EXPECT_EQ(log.labels.back(), QStringLiteral("film.mov (%1/%1)").arg(size));
    EXPECT_EQ(m_backup.read("film.mov"), "the previous version");
    EXPECT_TRUE(leftovers().empty());
}

// /proc's files report size 0 and some read without end (pagemap): the size is what is copied.
TEST_F(SingleFileCopyTest, AFileIsCopiedNoFurtherThanTheSizeItReports)
{
    auto proc = m_fileSystem.openDirectory(fs::canonical("/proc/self"));
    ASSERT_TRUE(proc);
    const CopyFileResult result = m_copier.copyFile(*proc, "status", m_backupDir, "status", "status", {}, {0, 1});
    EXPECT_EQ(result.status, Status::copied);
    EXPECT_EQ(fs::file_size(m_backup.path("status")), 0u);
}
