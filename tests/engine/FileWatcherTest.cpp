#include "engine/FileWatcher.h"
#include "platform/InotifyFileEvents.h"
#include "platform/MainThread.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/OpenFiles.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fstream>
#include <functional>

using namespace std::chrono_literals;
using larkfold::FileWatcher;
using larkfold::platform::FileEventBatch;
using larkfold::platform::FileEventFlag;
using larkfold::platform::FileEvents;
using larkfold::platform::InotifyFileEvents;
using larkfold::test::inotifyInstances;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;
using larkfold::test::TempDir;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

// A shorter batch than the product's 0.5 s keeps the tests quick; batching itself is the same.
constexpr auto kLatency = 100ms;
// How long the stream must stay quiet before a change counts as fully delivered.
constexpr int kSettleMs = 400;
// Generous: a loaded machine may take long to deliver.
constexpr int kDeliveryBoundMs = 10000;

void append(const fs::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::app | std::ios::binary);
    out << text;
}

// The real inotify stream, counting what it hands to the watcher. How a change splits into
// batches depends on the machine's speed; what the watcher promises is one call for every
// delivered batch that holds a change, however many events the batch holds.
class CountedFileEvents final : public FileEvents {
public:
    explicit CountedFileEvents(InotifyFileEvents::Options options) : m_inner(options) {}

    std::optional<QString> start(const fs::path& root, BatchHandler onBatch) override
    {
        return m_inner.start(root, [this, onBatch = std::move(onBatch)](const FileEventBatch& batch) {
            if (batch.eventCount > 0) {
                ++batches;
                events += batch.eventCount;
            }
            onBatch(batch);
        });
    }
    void stop() override { m_inner.stop(); }

    InotifyFileEvents& inner() { return m_inner; }

    int batches = 0;
    std::size_t events = 0;

private:
    InotifyFileEvents m_inner;
};

// Batches made up by the test, for what a real stream shows only on a machine fast enough.
class ScriptedFileEvents final : public FileEvents {
public:
    std::optional<QString> start(const fs::path&, BatchHandler onBatch) override
    {
        m_onBatch = std::move(onBatch);
        return std::nullopt;
    }
    void stop() override { m_onBatch = nullptr; }
    void deliver(const FileEventBatch& batch) { m_onBatch(batch); }

private:
    BatchHandler m_onBatch;
};

class FileWatcherTest : public ::testing::Test {
protected:
    void startWatching(const fs::path& root, std::size_t maxWatches = InotifyFileEvents::Options{}.maxWatches)
    {
        auto events = std::make_unique<CountedFileEvents>(InotifyFileEvents::Options{kLatency, maxWatches});
        m_events = events.get();
        watcher = std::make_unique<FileWatcher>(std::move(events));
        watcher->setOnEventsDetected([this] {
            EXPECT_TRUE(larkfold::platform::isMainThread());
            ++callbacks;
        });
        const auto failure = watcher->start(root);
        ASSERT_FALSE(failure.has_value()) << failure->errorDescription().toStdString();
        ASSERT_TRUE(spinUntil([&] { return m_events->inner().isSetUp(); }));
    }

    // Waits until no batch has come for kSettleMs, and every call of the batches seen is made.
    void settle()
    {
        for (int seen = -1; seen != m_events->batches;) {
            seen = m_events->batches;
            spinFor(kSettleMs);
        }
        spinUntil([&] { return callbacks >= m_events->batches; }, kDeliveryBoundMs);
    }

    // Waits for the change's batches, at least `minEvents` events in all, then makes sure the
    // watcher called back once for each of them.
    void expectCallbacks(const char* what, std::size_t minEvents = 1)
    {
        SCOPED_TRACE(what);
        EXPECT_TRUE(spinUntil([&] { return m_events->events >= minEvents; }, kDeliveryBoundMs));
        settle();
        EXPECT_GE(callbacks, 1);
        EXPECT_EQ(callbacks, m_events->batches);
        resetCounts();
    }

    void expectNoCallback(const char* what)
    {
        SCOPED_TRACE(what);
        settle();
        EXPECT_EQ(callbacks, 0);
        resetCounts();
    }

    void resetCounts()
    {
        callbacks = 0;
        m_events->batches = 0;
        m_events->events = 0;
    }

    TempTree tree{{"a.txt", "hello"}, {"b.txt", "bye"}, {"sub/c.txt", "deep"}, {"sub/inner/", ""}};
    std::unique_ptr<FileWatcher> watcher;
    CountedFileEvents* m_events = nullptr;
    int callbacks = 0;
};

} // namespace

TEST_F(FileWatcherTest, EachChangeOfContentReachesTheCallbackOncePerBatch)
{
    startWatching(tree.root());
    struct Case {
        const char* name;
        std::function<void()> change;
        std::size_t minEvents;
    };
    const Case cases[] = {
        {"a write", [&] { append(tree.path("a.txt"), " world"); }, 1},
        {"a new file", [&] { tree.write("new.txt", "x"); }, 1},
        {"a new file two folders down", [&] { tree.write("sub/inner/d.txt", "x"); }, 1},
        {"a removal", [&] { fs::remove(tree.path("b.txt")); }, 1},
        {"a rename", [&] { fs::rename(tree.path("new.txt"), tree.path("renamed.txt")); }, 2},
        {"100 new files", [&] {
             for (int i = 0; i < 100; ++i)
                 tree.write("f" + std::to_string(i), "x");
         }, 100},
    };
    for (const Case& test : cases) {
        test.change();
        expectCallbacks(test.name, test.minEvents);
    }
}

TEST(FileWatcherBatchTest, ABatchOfAHundredCreatedFilesIsOneCall)
{
    auto events = std::make_unique<ScriptedFileEvents>();
    ScriptedFileEvents* script = events.get();
    FileWatcher watcher(std::move(events));
    int callbacks = 0;
    watcher.setOnEventsDetected([&] { ++callbacks; });
    ASSERT_FALSE(watcher.start("/").has_value());

    script->deliver({FileEventFlag::created, 100});
    QCoreApplication::processEvents(); // every call the batch posted
    EXPECT_EQ(callbacks, 1);
    script->deliver({FileEventFlag::created | FileEventFlag::modified | FileEventFlag::removed, 3});
    QCoreApplication::processEvents();
    EXPECT_EQ(callbacks, 2);
}

TEST_F(FileWatcherTest, AttributeChangesAloneAreNoChange)
{
    startWatching(tree.root());
    ASSERT_EQ(::chmod(tree.path("a.txt").c_str(), 0600), 0);
    expectNoCallback("chmod");
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.path("sub/c.txt").c_str(), nullptr, 0), 0);
    expectNoCallback("touch");
    if (::setxattr(tree.path("a.txt").c_str(), "user.larkfold", "1", 1, 0) == 0)
        expectNoCallback("an extended attribute");
}

TEST_F(FileWatcherTest, FoldersThatAppearLaterAreWatchedAndFoldersThatLeaveAreNot)
{
    startWatching(tree.root());
    const std::size_t before = m_events->inner().watchCount();

    fs::create_directories(tree.path("later/deeper"));
    expectCallbacks("the new folders");
    tree.write("later/deeper/f.txt", "x");
    expectCallbacks("a file in a folder made after the start");

    TempDir outside;
    fs::create_directories(outside / "moved/in");
    fs::rename(outside / "moved", tree.path("moved"));
    expectCallbacks("a folder moved in");
    tree.write("moved/in/f.txt", "x");
    expectCallbacks("a file in a folder moved in");

    fs::rename(tree.path("sub"), outside / "sub");
    expectCallbacks("a folder moved out");
    append(outside / "sub/c.txt", "more");
    fs::create_directories(outside / "sub/inner/new");
    expectNoCallback("changes in a folder that left the tree");
    EXPECT_EQ(m_events->inner().watchCount(), before + 4 - 2);
}

TEST_F(FileWatcherTest, AFolderLeavesWithEverythingBelowItWhateverItsNeighboursAreCalled)
{
    // Names that sort between "photos" and "photos/" lie between the folder and its contents.
    TempTree photos{{"photos/2020/", ""}, {"photos 2/", ""}, {"photos.old/", ""}, {"photos-b/", ""}};
    startWatching(photos.root());
    TempDir outside;
    fs::rename(photos.path("photos"), outside / "photos");
    expectCallbacks("the folder moved out");
    photos.write("photos 2/x.txt", "x");
    expectCallbacks("a neighbour that stayed");
    fs::create_directories(outside / "photos/2020/new");
    append(outside / "photos/2020/a.txt", "x");
    expectNoCallback("changes below the folder that left");
    EXPECT_EQ(m_events->inner().watchCount(), 4u);
}

TEST_F(FileWatcherTest, WatchLimitLeavesAWorkingPartialWatchAndOneLogLine)
{
    larkfold::test::LogCapture log;
    TempTree big;
    for (int i = 0; i < 10; ++i)
        big.mkdir("folder" + std::to_string(i));
    startWatching(big.root(), 4);

    EXPECT_EQ(m_events->inner().watchCount(), 4u);
    EXPECT_EQ(log.count(QStringLiteral("fs.inotify.max_user_watches")), 1);
    big.write("top.txt", "x");
    expectCallbacks("a new file in the watched root");
    big.mkdir("folder10");
    expectCallbacks("a new folder in the watched root");
    EXPECT_EQ(m_events->inner().watchCount(), 4u);
    EXPECT_EQ(log.count(QStringLiteral("fs.inotify.max_user_watches")), 1) << "said once, not per folder";
}

TEST_F(FileWatcherTest, StartAndStop)
{
    tree.write("before.txt", "made before the start");
    startWatching(tree.root());
    expectNoCallback("changes made before the start");

    TempTree other;
    EXPECT_FALSE(watcher->start(other.root()).has_value()) << "already watching: success";
    other.write("x.txt", "x");
    expectNoCallback("the second path is ignored");
    append(tree.path("a.txt"), "!");
    expectCallbacks("the first path is still watched");

    watcher->stop();
    EXPECT_FALSE(watcher->isWatching());
    append(tree.path("a.txt"), "!");
    expectNoCallback("after stop");
    watcher->stop();

    ASSERT_FALSE(watcher->start(tree.root()).has_value());
    ASSERT_TRUE(spinUntil([&] { return m_events->inner().isSetUp(); }));
    append(tree.path("sub/c.txt"), "!");
    expectCallbacks("started again");
}

TEST_F(FileWatcherTest, TheWatchedFolderItselfMoving)
{
    TempDir parent;
    fs::create_directories(parent / "root");
    startWatching(parent / "root");
    fs::rename(parent / "root", parent / "elsewhere");
    expectCallbacks("the root moved");
}

TEST_F(FileWatcherTest, FolderThatCannotBeWatchedIsAWatcherFailure)
{
    FileWatcher fresh;
    const fs::path missing = tree.path("missing");
    const auto failure = fresh.start(missing);
    ASSERT_TRUE(failure.has_value());
    const auto* watcherFailed = std::get_if<larkfold::BackupError::WatcherFailed>(&failure->value());
    ASSERT_NE(watcherFailed, nullptr);
    EXPECT_TRUE(watcherFailed->detail.startsWith(QStringLiteral("inotify_add_watch failed for path: ")
                                                 + QString::fromStdString(missing.string())));
    EXPECT_FALSE(fresh.isWatching());
}

namespace {

void makeFolders(TempTree& tree, int count)
{
    for (int i = 0; i < count; ++i)
        tree.mkdir("folder" + std::to_string(i));
}

} // namespace

// One instance per pair runs out after 128 pairs (max_user_instances) and takes the user's other
// programs' instances with it.
TEST(InotifyInstanceTest, EveryStreamSharesTheProcesssOneInstance)
{
    std::vector<std::unique_ptr<TempTree>> trees;
    std::vector<std::unique_ptr<InotifyFileEvents>> streams;
    const int before = inotifyInstances();
    for (int i = 0; i < 5; ++i) {
        trees.push_back(std::make_unique<TempTree>(std::initializer_list<TempTree::Entry>{{"a.txt", "a"}, {"sub/", ""}}));
        streams.push_back(std::make_unique<InotifyFileEvents>(InotifyFileEvents::Options{kLatency}));
        ASSERT_FALSE(streams.back()->start(trees.back()->root(), [](const FileEventBatch&) {}).has_value());
    }
    EXPECT_LE(inotifyInstances(), std::max(before, 1));

    // Each still hears of its own changes only.
    int heard = 0;
    ASSERT_FALSE(streams[2]->start(trees[2]->root(), [&](const FileEventBatch&) { ++heard; }).has_value());
    for (const auto& stream : streams)
        ASSERT_TRUE(spinUntil([&] { return stream->isSetUp(); }));
    trees[3]->write("sub/x.txt", "x");
    trees[2]->write("sub/x.txt", "x");
    EXPECT_TRUE(spinUntil([&] { return heard >= 1; }, kDeliveryBoundMs));
    spinFor(kSettleMs);
    EXPECT_EQ(heard, 1);
}

TEST(InotifyInstanceTest, StreamsTogetherLeaveATenthOfTheUsersWatchesAndSayWhenTheyFallShort)
{
    larkfold::test::LogCapture log;
    TempTree limit{{"max_user_watches", "20\n"}};
    larkfold::platform::InotifyInstance instance({limit.path("max_user_watches")});
    EXPECT_EQ(instance.watchBudget(), 18u);

    TempTree first, second;
    makeFolders(first, 11);
    makeFolders(second, 11);
    const auto watch = [&](const fs::path& root, int& incomplete) {
        auto events = std::make_unique<InotifyFileEvents>(InotifyFileEvents::Options{kLatency, SIZE_MAX, &instance});
        events->setOnIncomplete([&incomplete] { ++incomplete; });
        EXPECT_FALSE(events->start(root, [](const FileEventBatch&) {}).has_value());
        EXPECT_TRUE(spinUntil([&] { return events->isSetUp(); }));
        return events;
    };
    int firstShort = 0, sameShort = 0, secondShort = 0;
    const auto whole = watch(first.root(), firstShort);
    // A folder watched for two streams is one watch.
    const auto again = watch(first.root(), sameShort);
    EXPECT_EQ(instance.watchCount(), 12u);
    const auto partial = watch(second.root(), secondShort);

    EXPECT_EQ(instance.watchCount(), 18u);
    EXPECT_EQ(partial->watchCount(), 6u);
    EXPECT_TRUE(spinUntil([&] { return secondShort == 1; }));
    spinFor(kSettleMs);
    EXPECT_EQ(firstShort + sameShort, 0);
    EXPECT_EQ(secondShort, 1);
    EXPECT_EQ(log.count(QStringLiteral("fs.inotify.max_user_watches")), 1);

    // Watches a stream lets go are there for the others again.
    EXPECT_EQ(again->watchCount(), 12u);
    partial->stop();
    EXPECT_TRUE(spinUntil([&] { return instance.watchCount() == 12u; }));
}
