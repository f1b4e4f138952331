#include "engine/IntegrityVerifier.h"

#include "FakeCaseInsensitiveFileSystem.h"
#include "platform/Clock.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/Json.h"
#include "platform/PosixFileSystem.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include <sys/stat.h>

using namespace larkfold;
using larkfold::platform::FaultInjectingFileSystem;
using larkfold::platform::FileOperation;
using larkfold::platform::Json;
using larkfold::test::LogCapture;
using larkfold::test::readFile;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

constexpr const char* kHelloSha = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";
constexpr const char* kEmptySha = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr std::int64_t kGiB = std::int64_t(1) << 30;

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

class IntegrityVerifierTest : public ::testing::Test {
protected:
    void SetUp() override { platform::setWallClock(&m_clock); }
    void TearDown() override { platform::setWallClock(nullptr); }

    // The layout the engine uses: <destination>/Larkfold/<pair> with the trash beside "Larkfold".
    fs::path backup() const { return m_tree.path("Larkfold/Photos"); }
    // The backup folder as a run opens it.
    platform::Directory folder() const
    {
        auto dir = platform::systemFileSystem().openDirectory(backup());
        EXPECT_TRUE(dir) << dir.error().message();
        return dir ? std::move(*dir) : platform::Directory();
    }
    fs::path trash() const { return m_tree.path(".Larkfold-Trash"); }
    fs::path databasePath() const { return backup() / ".larkfold-hashes.json"; }
    fs::path write(const std::string& relative, const std::string& content)
    {
        return m_tree.write("Larkfold/Photos/" + relative, content);
    }
    std::string databaseText() const { return readFile(databasePath()); }
    Json database() const { return platform::parseJson(databaseText()); }

    struct Entry {
        std::string path;
        std::string sha256;
        std::int64_t fileSize;
        std::optional<QDateTime> lastVerifiedAt;
    };
    void writeDatabase(const std::vector<Entry>& entries)
    {
        Json root = Json::object();
        for (const Entry& e : entries) {
            Json object = {{"relativePath", e.path},
                           {"sha256", e.sha256},
                           {"fileSize", e.fileSize},
                           {"recordedAt", "2026-01-01T00:00:00Z"}};
            if (e.lastVerifiedAt)
                object["lastVerifiedAt"] = platform::encodeDate(*e.lastVerifiedAt);
            root[e.path] = object;
        }
        test::writeFile(databasePath(), platform::encodeJsonPretty(root));
    }

    // Paths whose entry carries this time as its last verification, in key order.
    std::vector<std::string> verifiedAt(const QDateTime& when) const
    {
        std::vector<std::string> paths;
        const Json db = database();
        for (const auto& [key, value] : db.items())
            if (value.value("lastVerifiedAt", "") == platform::encodeDate(when))
                paths.push_back(key);
        return paths;
    }

    std::vector<fs::path> trashedFiles() const
    {
        std::vector<fs::path> files;
        if (fs::exists(trash()))
            for (const auto& item : fs::recursive_directory_iterator(trash()))
                if (item.is_regular_file())
                    files.push_back(fs::relative(item.path(), trash()));
        std::sort(files.begin(), files.end());
        return files;
    }

    int leftoverTemporaries() const
    {
        return int(std::count_if(fs::directory_iterator(backup()), fs::directory_iterator(), [](const auto& item) {
            return item.path().filename().string().starts_with(".larktmp-");
        }));
    }

    static IntegrityVerifier withLimits(IntegrityVerifier::Limits limits)
    {
        return IntegrityVerifier(platform::systemFileSystem(), limits);
    }

    std::string today() const { return m_clock.now().toLocalTime().toString("yyyy-MM-dd").toStdString(); }

    platform::FakeWallClock m_clock{utc(2026, 3, 1, 18, 4, 5)};
    TempTree m_tree{{"Larkfold/Photos/", ""}};
    IntegrityVerifier m_verifier;
};

TEST_F(IntegrityVerifierTest, DatabaseFileHasTheExactFormat)
{
    write("a.txt", "hello");
    write("sub/b c.txt", "");
    m_verifier.recordHashes({"sub/b c.txt", "a.txt"}, folder(), trash());
    m_clock.set(utc(2026, 3, 2, 8));
    withLimits({.sampleSize = 1}).verifySample(folder(), trash()); // marks only "a.txt", first by path

    EXPECT_EQ(databaseText(), std::string(R"({
  "a.txt": {
    "fileSize": 5,
    "lastVerifiedAt": "2026-03-02T08:00:00Z",
    "recordedAt": "2026-03-01T18:04:05Z",
    "relativePath": "a.txt",
    "sha256": ")") + kHelloSha + R"("
  },
  "sub\/b c.txt": {
    "fileSize": 0,
    "recordedAt": "2026-03-01T18:04:05Z",
    "relativePath": "sub\/b c.txt",
    "sha256": ")" + kEmptySha + R"("
  }
})");
    EXPECT_EQ(leftoverTemporaries(), 0);
}

TEST_F(IntegrityVerifierTest, RecordingSkipsUnreadableFilesAndCreatesNothingForThem)
{
    m_tree.mkdir("Larkfold/Photos/folder");
    m_verifier.recordHashes({}, folder(), trash());
    m_verifier.recordHashes({"gone.txt", "folder"}, folder(), trash());
    EXPECT_FALSE(fs::exists(databasePath()));

    write("a.txt", "hello");
    // A name JSON cannot hold is left out rather than stored mangled, and the others still count.
    write("bad-\xff.txt", "x");
    write("cut-\xc3", "x");
    m_verifier.recordHashes({"a.txt", "bad-\xff.txt", "cut-\xc3", "a.txt"}, folder(), trash());
    const Json db = database();
    ASSERT_EQ(db.size(), 1u);
    EXPECT_EQ(db["a.txt"]["sha256"], kHelloSha);
}

TEST_F(IntegrityVerifierTest, RecordingAgainReplacesTheEntryAndItsCheck)
{
    write("a.txt", "hello");
    write("b.txt", "hello");
    m_verifier.recordHashes({"a.txt", "b.txt"}, folder(), trash());
    m_clock.advance(3600);
    m_verifier.verifySample(folder(), trash());
    ASSERT_EQ(verifiedAt(m_clock.now()), (std::vector<std::string>{"a.txt", "b.txt"}));

    // b is copied again with new content: fresh fingerprint, no check, first in the next sample.
    write("b.txt", "");
    m_clock.advance(3600);
    m_verifier.recordHashes({"b.txt"}, folder(), trash());
    EXPECT_EQ(database()["b.txt"]["sha256"], kEmptySha);
    EXPECT_EQ(database()["b.txt"]["recordedAt"], platform::encodeDate(m_clock.now()));
    EXPECT_FALSE(database()["b.txt"].contains("lastVerifiedAt"));

    m_clock.advance(3600);
    const auto result = withLimits({.sampleSize = 1}).verifySample(folder(), trash());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verified, 1);
    EXPECT_EQ(verifiedAt(m_clock.now()), std::vector<std::string>{"b.txt"});
}

TEST_F(IntegrityVerifierTest, FileThatCannotBeHashedLosesItsOldFingerprint)
{
    write("a.txt", "hello");
    write("b.txt", "hello");
    m_verifier.recordHashes({"a.txt", "b.txt"}, folder(), trash());
    // The new copy of b cannot be read back; keeping the old fingerprint would later report it damaged.
    fs::remove(backup() / "b.txt");
    fs::create_directory(backup() / "b.txt");
    m_verifier.recordHashes({"b.txt"}, folder(), trash());
    const Json db = database();
    EXPECT_EQ(db.size(), 1u);
    EXPECT_TRUE(db.contains("a.txt"));
}

// Copies a stopped run left without fingerprints get theirs from later runs, a bounded share
// each, ahead of the run's own copies; entries that exist are not read again.
TEST_F(IntegrityVerifierTest, FilesWithoutAFingerprintAreCaughtUpOnAShareAtATime)
{
    const std::vector<std::string> listed = {"a", "b", "c", "d", "e", "Pkg.app", "new"};
    for (const char* name : {"a", "b", "c", "d", "e", "new"})
        write(name, "hello");
    m_tree.mkdir("Larkfold/Photos/Pkg.app");
    // Recorded earlier, of other content than the file holds now: it is not read again.
    writeDatabase({{"a", kEmptySha, 5, std::nullopt}});
    const IntegrityVerifier verifier = withLimits({.catchUpFilesPerRun = 2});
    const auto keys = [&] {
        std::vector<std::string> names;
        const Json db = database();
        for (const auto& [key, value] : db.items())
            names.push_back(key);
        return names;
    };

    IntegrityVerifier(verifier).recordHashes({"new"}, listed, folder(), trash(), {});
    EXPECT_EQ(keys(), (std::vector<std::string>{"a", "b", "c", "new"}));
    EXPECT_EQ(database()["a"]["sha256"], kEmptySha);
    EXPECT_EQ(database()["c"]["sha256"], kHelloSha);

    IntegrityVerifier(verifier).recordHashes({}, listed, folder(), trash(), {});
    EXPECT_EQ(keys(), (std::vector<std::string>{"a", "b", "c", "d", "e", "new"}));

    // A stop ends the work before the next file.
    write("f", "hello");
    platform::CancelSource stop;
    stop.cancel();
    IntegrityVerifier(verifier).recordHashes({"f"}, {"f"}, folder(), trash(), stop.token());
    EXPECT_FALSE(database().contains("f"));
}

TEST_F(IntegrityVerifierTest, FailedSaveKeepsTheOldFile)
{
    write("a.txt", "hello");
    write("b.txt", "hello");
    m_verifier.recordHashes({"a.txt"}, folder(), trash());
    const std::string before = databaseText();
    FaultInjectingFileSystem fileSystem;
    fileSystem.failAlways(FileOperation::write, ENOSPC);
    LogCapture log;
    IntegrityVerifier(fileSystem).recordHashes({"b.txt"}, folder(), trash());
    EXPECT_TRUE(log.contains("Failed to write hash database to <private>:", "IntegrityVerifier"));
    EXPECT_EQ(databaseText(), before);
    EXPECT_EQ(leftoverTemporaries(), 0);
}

TEST_F(IntegrityVerifierTest, PruningRemovesEntriesWhoseFileIsGone)
{
    write("keep.txt", "hello");
    write("sub/gone.txt", "hello");
    write("gone.txt", "hello");
    m_verifier.recordHashes({"keep.txt", "sub/gone.txt", "gone.txt"}, folder(), trash());
    fs::remove_all(backup() / "sub");
    fs::remove(backup() / "gone.txt");
    EXPECT_EQ(m_verifier.pruneMissing(folder(), trash()), 2);
    EXPECT_EQ(database().size(), 1u);
    EXPECT_TRUE(database().contains("keep.txt"));
    EXPECT_EQ(m_verifier.pruneMissing(folder(), trash()), 0);

    // Entries naming something outside the backup folder, or behind a link, are never looked up there.
    m_tree.write("outside.txt", "hello");
    m_tree.symlink("Larkfold/Photos/link", m_tree.path());
    writeDatabase({{"keep.txt", kHelloSha, 5, {}},
                   {"../../outside.txt", kHelloSha, 5, {}},
                   {m_tree.path("outside.txt").string(), kHelloSha, 5, {}},
                   {"link/outside.txt", kHelloSha, 5, {}}});
    EXPECT_EQ(m_verifier.pruneMissing(folder(), trash()), 3);

}

// Anything at an entry's name keeps the entry, in whatever folder, and only that: the pruning reads
// each folder's names once, and looks at a name its folder does not list before removing it.
TEST_F(IntegrityVerifierTest, PruningKeepsTheEntriesWhoseNameIsTakenAndOnlyThose)
{
    // Folders whose names sort between a folder and its own files, or start with another's name.
    for (const char* file : {"a/x", "a.b/x", "a-/x", "a/b/x", "a/bc/y", "top", "deep/er/still/f", "Case/Photo.JPG"})
        write(file, "hello");
    m_tree.mkdir("Larkfold/Photos/became-folder");
    m_tree.symlink("Larkfold/Photos/a/dangling", m_tree.path("nowhere"));
    const std::vector<std::string> present = {"a-/x", "a.b/x", "a/b", "a/b/x", "a/bc/y", "a/dangling", "a/x",
                                              "became-folder", "deep/er/still/f", "top"};
    const std::vector<std::string> gone = {"a.b/y", "a/b/y", "a/bc/x", "a/y", "deep/er/g", "missing/x", "top/x", "z"};
    const std::string otherCase = "Case/photo.jpg";

    platform::PosixFileSystem system;
    test::FakeCaseInsensitiveFileSystem caseInsensitive;
    FaultInjectingFileSystem unlistable;
    unlistable.failAlways(FileOperation::list, EACCES);
    const struct {
        const char* name;
        platform::FileSystem& fileSystem;
        bool findsOtherCase;
    } cases[] = {{"case-sensitive", system, false},
                 {"ignoring case", caseInsensitive, true},
                 {"folders that cannot be listed", unlistable, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Entry> entries;
        for (const auto& list : {present, gone, {otherCase}})
            for (const std::string& path : list)
                entries.push_back({path, kHelloSha, 5, {}});
        writeDatabase(entries);
        std::vector<std::string> kept = present;
        if (c.findsOtherCase)
            kept.push_back(otherCase);
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(IntegrityVerifier(c.fileSystem).pruneMissing(folder(), trash()), int(entries.size() - kept.size()));
        std::vector<std::string> left;
        const Json stored = database();
        for (const auto& [key, value] : stored.items())
            left.push_back(key);
        EXPECT_EQ(left, kept);
    }
}

// A folder the user may search but not read: its names cannot be listed, so each is looked at.
TEST_F(IntegrityVerifierTest, PruningLooksIntoAFolderItCannotList)
{
    write("locked/kept.txt", "hello");
    writeDatabase({{"locked/gone.txt", kHelloSha, 5, {}}, {"locked/kept.txt", kHelloSha, 5, {}}});
    for (const fs::path& writable : {m_tree.root(), m_tree.path("Larkfold"), backup()})
        ::chmod(writable.c_str(), 0777);
    ::chmod(databasePath().c_str(), 0666);
    ::chmod(backup().parent_path().c_str(), 0777);
    ::chmod((backup() / "locked").c_str(), 0711);
    const auto report = test::runUnprivileged([&] {
        const int removed = IntegrityVerifier().pruneMissing(folder(), trash());
        std::string text = std::to_string(removed);
        const Json stored = database();
        for (const auto& [key, value] : stored.items())
            text += " " + key;
        return text;
    });
    ::chmod((backup() / "locked").c_str(), 0755);
    if (!report)
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(*report, "1 locked/kept.txt");
}

TEST_F(IntegrityVerifierTest, PruningStopsWhenTheFolderGoesAwayMidWalk)
{
    std::vector<Entry> entries;
    for (int i = 0; i < 250; ++i)
        entries.push_back({QString::asprintf("gone-%03d", i).toStdString(), kHelloSha, 5, {}});
    // Status calls: two looks at the database file as it is read, then those of the walk: the
    // folder re-check before the 1st entry, one per entry, and a re-check again before the 101st
    // and the 201st. A failing re-check is the drive going away.
    struct Case {
        int failingStatusCall;
        int removed;
    } cases[] = {{3, 0}, {104, 100}, {205, 200}, {0, 250}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failingStatusCall);
        writeDatabase(entries);
        FaultInjectingFileSystem fileSystem;
        if (c.failingStatusCall > 0)
            fileSystem.failNth(FileOperation::status, c.failingStatusCall, ENOENT);
        EXPECT_EQ(IntegrityVerifier(fileSystem).pruneMissing(folder(), trash()), c.removed);
        // What was removed before the stop is saved.
        EXPECT_EQ(database().size(), std::size_t(250 - c.removed));
        EXPECT_EQ(fileSystem.callCount(FileOperation::status) >= 2 + 250 + 3, c.failingStatusCall == 0);
    }
}

// Held between the steps of a job, the database is read once, and the file ends as the steps
// leave it called one by one; a file changed since it was last read or written is read again.
TEST_F(IntegrityVerifierTest, AHeldDatabaseIsReadOnceAndEndsAsSeparateCallsLeaveIt)
{
    for (const char* file : {"a.txt", "b/c.txt", "gone.txt", "caught-up.txt"})
        write(file, "hello");
    m_verifier.recordHashes({"a.txt", "b/c.txt", "gone.txt"}, folder(), trash());
    fs::remove(backup() / "gone.txt");
    write("a.txt", "changed");
    const std::string before = databaseText();
    const auto jobSteps = [&](IntegrityVerifier& verifier) {
        verifier.recordHashes({"a.txt"}, {"a.txt", "b/c.txt", "caught-up.txt"}, folder(), trash(), {});
        EXPECT_EQ(verifier.pruneMissing(folder(), trash()), 1);
        const auto result = verifier.verifySample(folder(), trash());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->verified, 3);
    };
    FaultInjectingFileSystem apart;
    IntegrityVerifier separately(apart);
    jobSteps(separately);
    const std::string afterSeparateCalls = databaseText();

    test::writeFile(databasePath(), before);
    write("a.txt", "changed");
    FaultInjectingFileSystem together;
    IntegrityVerifier holding(together);
    {
        const IntegrityVerifier::DatabaseHold hold(holding);
        jobSteps(holding);
    }
    EXPECT_EQ(databaseText(), afterSeparateCalls);
    EXPECT_EQ(together.callCount(FileOperation::open), apart.callCount(FileOperation::open) - 2);

    // Replaced or removed by someone else between two steps: what the file holds now counts.
    const IntegrityVerifier::DatabaseHold hold(holding);
    holding.recordHashes({"a.txt"}, folder(), trash());
    writeDatabase({{"a.txt", kHelloSha, 5, {}}, {"elsewhere.txt", kHelloSha, 5, {}}});
    EXPECT_EQ(holding.pruneMissing(folder(), trash()), 1);
    EXPECT_EQ(database().size(), 1u);
    fs::remove(databasePath());
    EXPECT_EQ(holding.verifySample(folder(), trash())->totalTracked, 0);
}

TEST_F(IntegrityVerifierTest, SampleTakesNeverCheckedThenOldestFirstUpToFiftyEntries)
{
    for (int i = 0; i < 60; ++i)
        write(QString::asprintf("f%02d", 59 - i).toStdString(), "");
    std::vector<fs::path> paths;
    for (int i = 0; i < 60; ++i)
        paths.push_back(QString::asprintf("f%02d", 59 - i).toStdString());
    m_verifier.recordHashes(paths, folder(), trash());

    m_clock.advance(60);
    const auto first = m_verifier.verifySample(folder(), trash());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->verified, 50);
    const auto marked = verifiedAt(m_clock.now());
    ASSERT_EQ(marked.size(), 50u);
    EXPECT_EQ(marked.front(), "f00");
    EXPECT_EQ(marked.back(), "f49");
    EXPECT_EQ(first->neverVerified, 10);
    EXPECT_EQ(first->summary(m_clock.now()).toStdString(), "10 files still waiting for a first check.");

    // The ten never checked come first, then the forty least recently checked.
    m_clock.advance(60);
    m_verifier.verifySample(folder(), trash());
    const auto second = verifiedAt(m_clock.now());
    ASSERT_EQ(second.size(), 50u);
    EXPECT_EQ(second.front(), "f00");
    EXPECT_EQ(second[39], "f39");
    EXPECT_EQ(second[40], "f50");
}

TEST_F(IntegrityVerifierTest, SampleOrderComparesLastCheckThenComposedName)
{
    const std::string decomposed = "e\xcc\x81z"; // "éz" as e + combining acute: sorts after "éa" once composed
    const std::string precomposed = "\xc3\xa9" "a";
    for (const std::string& name : {std::string("old"), std::string("older"), std::string("new"), decomposed, precomposed})
        write(name, "hello");
    struct Case {
        int sampleSize;
        std::vector<std::string> sampled;
    } cases[] = {
        {1, {precomposed}},
        {2, {decomposed, precomposed}},
        {3, {decomposed, "older", precomposed}},
        {4, {decomposed, "old", "older", precomposed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sampleSize);
        writeDatabase({{"old", kHelloSha, 5, utc(2026, 2, 10)},
                       {"older", kHelloSha, 5, utc(2026, 2, 1)},
                       {"new", kHelloSha, 5, utc(2026, 2, 20)},
                       {decomposed, kHelloSha, 5, {}},
                       {precomposed, kHelloSha, 5, {}}});
        withLimits({.sampleSize = c.sampleSize}).verifySample(folder(), trash());
        EXPECT_EQ(verifiedAt(m_clock.now()), c.sampled);
    }
}

TEST_F(IntegrityVerifierTest, SampleEndsWithTheEntryThatReachesTheByteLimit)
{
    // Sizes as recorded: the files on disk are small and so read as damaged, which lists them
    // in sample order.
    struct Case {
        const char* name;
        std::vector<std::int64_t> sizes;
        std::int64_t limit;
        std::size_t sampled;
    } cases[] = {
        {"three of 3 GiB cross 8 GiB on the third", {3 * kGiB, 3 * kGiB, 3 * kGiB, 3 * kGiB}, 8 * kGiB, 3},
        {"a first entry over the limit is sampled alone", {10 * kGiB, 1, 1}, 8 * kGiB, 1},
        {"reaching the limit exactly ends the sample", {4 * kGiB, 4 * kGiB, 1}, 8 * kGiB, 2},
        {"a size of 0 adds nothing", {0, 0, 0}, 8 * kGiB, 3},
        {"a small limit", {4, 4, 4, 4}, 10, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Entry> entries;
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const std::string path = "f" + std::to_string(i);
            write(path, "abcd");
            entries.push_back({path, kHelloSha, c.sizes[i], {}});
            if (i < c.sampled)
                expected.push_back(path);
        }
        writeDatabase(entries);
        const auto result = withLimits({.maxBytesPerCheck = c.limit}).verifySample(folder(), trash());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->corrupted, expected);
        for (std::size_t i = 0; i < c.sizes.size(); ++i)
            fs::remove(backup() / ("f" + std::to_string(i)));
    }
}

TEST_F(IntegrityVerifierTest, DamagedAndMissingCopiesAreReported)
{
    for (const char* name : {"good.txt", "damaged.txt", "gone.txt"})
        write(name, "hello");
    m_verifier.recordHashes({"good.txt", "damaged.txt", "gone.txt"}, folder(), trash());

    // Same size, same modification time, other bytes: only reading the content finds it.
    struct stat before {};
    ASSERT_EQ(::stat((backup() / "damaged.txt").c_str(), &before), 0);
    write("damaged.txt", "jello");
    m_tree.setMtime("Larkfold/Photos/damaged.txt", before.st_mtim.tv_sec, before.st_mtim.tv_nsec);
    fs::remove(backup() / "gone.txt");

    m_clock.advance(36 * 3600);
    const auto result = m_verifier.verifySample(folder(), trash());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verified, 1);
    EXPECT_EQ(result->corrupted, std::vector<std::string>{"damaged.txt"});
    EXPECT_EQ(result->missing, std::vector<std::string>{"gone.txt"});
    EXPECT_EQ(result->timestamp, m_clock.now());
    EXPECT_EQ(result->totalTracked, 3);
    EXPECT_EQ(result->neverVerified, 1);
    EXPECT_EQ(result->oldestVerifiedAt, std::nullopt);
    // The damaged copy is marked and moves to the back; the missing one waits in front for pruning.
    EXPECT_EQ(verifiedAt(m_clock.now()), (std::vector<std::string>{"damaged.txt", "good.txt"}));

    m_verifier.pruneMissing(folder(), trash());
    m_clock.advance(36 * 3600);
    const auto next = m_verifier.verifySample(folder(), trash());
    ASSERT_TRUE(next);
    EXPECT_EQ(next->corrupted, std::vector<std::string>{"damaged.txt"});
    EXPECT_EQ(next->oldestVerifiedAt, m_clock.now());
    EXPECT_EQ(next->summary(m_clock.now()).toStdString(), "Every file checked today.");
}

TEST_F(IntegrityVerifierTest, EmptyDatabaseChecksNothingAndWritesNothing)
{
    const auto result = m_verifier.verifySample(folder(), trash());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verified, 0);
    EXPECT_EQ(result->totalTracked, 0);
    EXPECT_EQ(result->timestamp, m_clock.now());
    EXPECT_EQ(result->summary(m_clock.now()).toStdString(), "No files are being checked yet.");
    EXPECT_FALSE(fs::exists(databasePath()));
}

TEST_F(IntegrityVerifierTest, CancelledCheckReadsAndMarksNothing)
{
    write("a.txt", "hello");
    m_verifier.recordHashes({"a.txt"}, folder(), trash());
    const std::string before = databaseText();
    platform::CancelSource cancel;
    cancel.cancel();
    const auto result = m_verifier.verifySample(folder(), trash(), cancel.token());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verified, 0);
    EXPECT_EQ(result->totalTracked, 1);
    EXPECT_EQ(databaseText(), before);
}

TEST(IntegrityResultSummary, FollowsTheFirstRuleThatApplies)
{
    const QDateTime now = utc(2026, 3, 10, 12);
    auto result = [&](int total, int never, std::optional<QDateTime> oldest) {
        IntegrityVerifier::IntegrityResult r;
        r.totalTracked = total;
        r.neverVerified = never;
        r.oldestVerifiedAt = oldest;
        return r;
    };
    struct Case {
        IntegrityVerifier::IntegrityResult result;
        const char* summary;
    } cases[] = {
        {result(0, 0, {}), "No files are being checked yet."},
        {result(5, 1, {}), "1 file still waiting for a first check."},
        {result(5, 2, now), "2 files still waiting for a first check."},
        {result(5, 0, {}), "Every file has been checked."},
        {result(5, 0, now.addSecs(-23 * 3600)), "Every file checked today."},
        {result(5, 0, now.addSecs(-36 * 3600)), "Every file checked within the last day."},
        {result(5, 0, now.addSecs(-48 * 3600)), "Every file checked within the last 2 days."},
        {result(5, 0, now.addSecs(-48 * 3600 + 1)), "Every file checked within the last day."},
        {result(5, 0, now.addDays(-30)), "Every file checked within the last 30 days."},
        {result(5, 0, now.addSecs(3600)), "Every file checked today."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        EXPECT_EQ(c.result.summary(now).toStdString(), c.summary);
    }
}

TEST_F(IntegrityVerifierTest, LastCheckStampIsWrittenExactlyAndReadStrictly)
{
    EXPECT_EQ(m_verifier.lastCheckDate(folder()), std::nullopt);
    m_verifier.recordCheckTime(folder());
    EXPECT_EQ(readFile(backup() / ".larkfold-lastcheck"), "2026-03-01T18:04:05Z");
    EXPECT_EQ(m_verifier.lastCheckDate(folder()), m_clock.now());

    struct Case {
        const char* text;
        bool readable;
    } cases[] = {
        {"2026-03-01T18:04:05Z\n", true},
        {" \t2026-03-01T18:04:05Z\r\n", true},
        {"2026-03-01T18:04:05.250Z", false},
        {"2026-03-01T19:04:05+01:00", false},
        {"2026-03-01", false},
        {"2026-03-01T18:04:05Z\xff", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        test::writeFile(backup() / ".larkfold-lastcheck", c.text);
        EXPECT_EQ(m_verifier.lastCheckDate(folder()), c.readable ? std::optional(m_clock.now()) : std::nullopt);
    }

    LogCapture log;
    FaultInjectingFileSystem readOnly;
    readOnly.failAlways(FileOperation::open, EROFS);
    IntegrityVerifier(readOnly).recordCheckTime(folder());
    EXPECT_TRUE(log.contains("Failed to write last-check timestamp:", "IntegrityVerifier"));
}

TEST_F(IntegrityVerifierTest, CheckIsDueOnceADay)
{
    EXPECT_TRUE(m_verifier.isCheckDue(folder()));
    m_verifier.recordCheckTime(folder());
    EXPECT_FALSE(m_verifier.isCheckDue(folder()));
    m_clock.advance(86400);
    EXPECT_FALSE(m_verifier.isCheckDue(folder()));
    m_clock.advance(1);
    EXPECT_TRUE(m_verifier.isCheckDue(folder()));
    test::writeFile(backup() / ".larkfold-lastcheck", "garbage");
    EXPECT_TRUE(m_verifier.isCheckDue(folder()));
}

TEST_F(IntegrityVerifierTest, UndecodableDatabaseIsMovedToTheTrashAndStartedAfresh)
{
    const std::string cases[] = {
        "not json",
        "",
        "[]",
        R"({"a.txt": {"relativePath": "a.txt", "fileSize": 5, "recordedAt": "2026-03-01T18:04:05Z"}})",
        R"({"a.txt": {"relativePath": "a.txt", "sha256": "x", "fileSize": 5, "recordedAt": "2026-03-01T18:04:05.5Z"}})",
        R"({"a.txt": {"relativePath": "a.txt", "sha256": "x", "fileSize": "5", "recordedAt": "2026-03-01T18:04:05Z"}})",
        "{\"a\xff\": {}}",
        // Cut off part way, as by a full or pulled drive.
        R"({"a.txt": {"relativePath": "a.txt", "sha256": ")" + std::string(kHelloSha) + R"(", "fileSize": 5, "rec)",
    };
    write("b.txt", "");
    for (const std::string& bad : cases) {
        SCOPED_TRACE(bad);
        fs::remove_all(trash());
        test::writeFile(databasePath(), bad);
        m_verifier.recordHashes({"b.txt"}, folder(), trash());
        ASSERT_EQ(trashedFiles(), std::vector<fs::path>{fs::path(today()) / ".larkfold-hashes.json"});
        EXPECT_EQ(readFile(trash() / today() / ".larkfold-hashes.json"), bad);
        const Json db = database();
        EXPECT_EQ(db.size(), 1u);
        EXPECT_TRUE(db.contains("b.txt"));
    }

    // A second one on the same day does not replace the first in the trash.
    test::writeFile(databasePath(), "second");
    EXPECT_EQ(m_verifier.pruneMissing(folder(), trash()), 0);
    const auto trashed = trashedFiles();
    ASSERT_EQ(trashed.size(), 2u);
    const std::string suffixed = trashed[0].filename().string();
    EXPECT_EQ(suffixed.size(), std::string(".larkfold-hashes-1A2B3C4D.json").size()) << suffixed;
    EXPECT_EQ(suffixed.rfind(".larkfold-hashes-", 0), 0u) << suffixed;
    EXPECT_EQ(readFile(trash() / trashed[0]), "second");

    // Unknown keys are no reason to discard a database.
    fs::remove_all(trash());
    test::writeFile(databasePath(), R"({"a.txt": {"relativePath": "a.txt", "sha256": ")" + std::string(kHelloSha)
                                        + R"(", "fileSize": 5, "recordedAt": "2026-03-01T18:04:05Z", "future": [1]}})");
    write("a.txt", "hello");
    const auto result = m_verifier.verifySample(folder(), trash());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verified, 1);
    EXPECT_TRUE(trashedFiles().empty());
}

TEST_F(IntegrityVerifierTest, UnreadableDatabaseSkipsTheFingerprintWork)
{
    write("a.txt", "hello");
    m_tree.write("outside.json", "{}");
    const std::string stored = R"({"gone.txt": {"relativePath": "gone.txt", "sha256": "x", "fileSize": 5, )"
                               R"("recordedAt": "2026-03-01T18:04:05Z"}})";
    FaultInjectingFileSystem failingReads;
    failingReads.failAlways(FileOperation::read, EIO);
    struct Case {
        const char* name;
        std::function<void()> plant;
        platform::FileSystem& fileSystem;
    } cases[] = {
        {"an I/O error", [&] { test::writeFile(databasePath(), stored); }, failingReads},
        {"a folder", [&] { fs::create_directory(databasePath()); }, platform::systemFileSystem()},
        // Never followed: reading or replacing it would reach outside the backup folder.
        {"a symbolic link", [&] { fs::create_symlink(m_tree.path("outside.json"), databasePath()); },
         platform::systemFileSystem()},
        // Never read: it holds no database, and a writer at its other end could feed it anything.
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(databasePath().c_str(), 0600), 0); }, platform::systemFileSystem()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(databasePath());
        c.plant();
        const auto before = fs::symlink_status(databasePath()).type();
        IntegrityVerifier verifier(c.fileSystem);
        LogCapture log;
        verifier.recordHashes({"a.txt"}, folder(), trash());
        EXPECT_EQ(verifier.pruneMissing(folder(), trash()), 0);
        EXPECT_EQ(verifier.verifySample(folder(), trash()), std::nullopt);
        EXPECT_EQ(log.count("Failed to read hash database", "IntegrityVerifier"), 3);
        EXPECT_EQ(fs::symlink_status(databasePath()).type(), before);
        if (before == fs::file_type::regular) {
            EXPECT_EQ(databaseText(), stored);
        }
        EXPECT_EQ(readFile(m_tree.path("outside.json")), "{}");
        EXPECT_TRUE(trashedFiles().empty());
        // What it is not told apart from a flaky read is not its own to report.
        EXPECT_EQ(verifier.foreignItems(folder()), before == fs::file_type::regular
                                                       ? std::vector<std::string>{}
                                                       : std::vector<std::string>{".larkfold-hashes.json"});
    }
}

// Something the verifier did not make at its last-check file's name can neither be read nor be
// replaced: the daily check is off while it is there, rather than run at every run.
TEST_F(IntegrityVerifierTest, ALastCheckFileItDidNotMakeTurnsTheDailyCheckOff)
{
    m_tree.write("outside", "2020-01-01T00:00:00Z");
    const fs::path stamp = backup() / ".larkfold-lastcheck";
    struct Case {
        const char* name;
        std::function<void()> plant;
    } cases[] = {
        {"a symbolic link", [&] { fs::create_symlink(m_tree.path("outside"), stamp); }},
        {"a folder", [&] { fs::create_directory(stamp); }},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(stamp.c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(stamp);
        c.plant();
        const auto kind = fs::symlink_status(stamp).type();
        EXPECT_EQ(m_verifier.lastCheckDate(folder()), std::nullopt);
        EXPECT_FALSE(m_verifier.isCheckDue(folder()));
        LogCapture log;
        m_verifier.recordCheckTime(folder());
        EXPECT_TRUE(log.contains("Failed to write last-check timestamp:", "IntegrityVerifier"));
        EXPECT_EQ(fs::symlink_status(stamp).type(), kind);
        EXPECT_EQ(m_verifier.foreignItems(folder()), std::vector<std::string>{".larkfold-lastcheck"});
    }
    EXPECT_EQ(readFile(m_tree.path("outside")), "2020-01-01T00:00:00Z");
}

// 8 GiB of nothing where the database and the last-check time belong, on a computer with 4 GiB:
// neither is read into memory; the database goes to the trash like a damaged one, the time is
// taken as never checked and is replaced by the next one.
TEST_F(IntegrityVerifierTest, FilesFarTooLargeToBeItsOwnAreNotRead)
{
    write("a.txt", "hello");
    const std::uintmax_t eightGiB = std::uintmax_t(8) << 30;
    test::writeFile(databasePath(), "");
    fs::resize_file(databasePath(), eightGiB);
    test::writeFile(backup() / ".larkfold-lastcheck", "");
    fs::resize_file(backup() / ".larkfold-lastcheck", eightGiB);

    const auto outcome = test::runWithAddressSpaceLimit(std::uint64_t(4) << 30, [&] {
        std::string summary = m_verifier.isCheckDue(folder()) ? "due" : "not due";
        m_verifier.recordHashes({"a.txt"}, folder(), trash());
        m_verifier.recordCheckTime(folder());
        return summary;
    });
    ASSERT_TRUE(outcome) << "the verifier ran out of memory";
    EXPECT_EQ(*outcome, "due");
    EXPECT_EQ(trashedFiles(), std::vector<fs::path>{fs::path(today()) / ".larkfold-hashes.json"});
    EXPECT_EQ(fs::file_size(trash() / today() / ".larkfold-hashes.json"), eightGiB);
    EXPECT_EQ(database().size(), 1u);
    EXPECT_EQ(readFile(backup() / ".larkfold-lastcheck"), "2026-03-01T18:04:05Z");
}

// The bytes this process maps now; a forked child starts with the same.
std::uint64_t mappedBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoull(line.substr(7)) * 1024;
    return 0;
}

// A database of 200,000 entries (36 MB of text) is loaded, changed and saved in a fraction of
// that beside the program: never as a whole text, nor as a tree of every entry's fields.
TEST_F(IntegrityVerifierTest, ALargeDatabaseTakesLittleMoreMemoryThanItsEntries)
{
    write("a.txt", "hello");
    std::string text = "{\n";
    char entry[400];
    const int entries = 200000;
    for (int i = 0; i < entries; ++i) {
        std::snprintf(entry, sizeof entry,
                      "  \"d%04d\\/photo-%07d.jpg\": {\n    \"fileSize\": %d,\n    \"recordedAt\": "
                      "\"2026-01-01T00:00:00Z\",\n    \"relativePath\": \"d%04d\\/photo-%07d.jpg\",\n    \"sha256\": "
                      "\"%s\"\n  }%s\n",
                      i / 250, i, i, i / 250, i, kHelloSha, i + 1 < entries ? "," : "");
        text += entry;
    }
    text += "}";
    test::writeFile(databasePath(), text);

    const auto outcome = test::runWithAddressSpaceLimit(mappedBytes() + (std::uint64_t(96) << 20), [&] {
        m_verifier.recordHashes({"a.txt"}, folder(), trash());
        return std::string("done");
    });
    ASSERT_TRUE(outcome) << "the verifier ran out of memory";
    EXPECT_TRUE(trashedFiles().empty());
    const std::string saved = databaseText();
    EXPECT_EQ(saved.size(), text.size() + std::string(R"(  "a.txt": {
    "fileSize": 5,
    "recordedAt": "2026-03-01T18:04:05Z",
    "relativePath": "a.txt",
    "sha256": ")").size() + 64 + std::string("\"\n  },\n").size());
    EXPECT_EQ(saved.substr(saved.size() - 200), text.substr(text.size() - 200));
}

// Past the limit, however little that is, nothing is read at all.
TEST_F(IntegrityVerifierTest, TheSizeLimitIsCheckedBeforeAnythingIsRead)
{
    writeDatabase({{"a.txt", kHelloSha, 5, {}}});
    FaultInjectingFileSystem counting;
    IntegrityVerifier verifier(counting, {.maxDatabaseBytes = 10});
    EXPECT_EQ(verifier.pruneMissing(folder(), trash()), 0);
    EXPECT_EQ(counting.callCount(FileOperation::read), 0);
    EXPECT_EQ(trashedFiles(), std::vector<fs::path>{fs::path(today()) / ".larkfold-hashes.json"});
}

} // namespace
