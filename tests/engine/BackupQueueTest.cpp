#include "engine/BackupQueue.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <thread>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using larkfold::BackupQueue;
using larkfold::platform::CancelToken;
using larkfold::platform::FakeContinuousClock;
using Outcome = BackupQueue::JobOutcome;

namespace {

constexpr auto kWait = 5s;

// What the jobs did, in order: "A+" when A's work starts, "A-" when it returns.
class Journal {
public:
    void add(const std::string& line)
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(line);
        m_changed.notify_all();
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    bool waitFor(const std::string& line)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kWait, [&] { return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end(); });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};

// A job that starts, then holds the queue until the test releases it (or, when it honours
// cancellation, until it is cancelled).
class HeldJob {
public:
    HeldJob(std::string name, Journal& journal, bool returnsOnCancel = false)
        : m_state(std::make_shared<State>()), m_name(std::move(name)), m_journal(journal), m_returnsOnCancel(returnsOnCancel)
    {
    }

    BackupQueue::Work work()
    {
        return [state = m_state, name = m_name, &journal = m_journal, onCancel = m_returnsOnCancel](const CancelToken& token) {
            journal.add(name + "+");
            std::unique_lock lock(state->mutex);
            for (;;) {
                state->sawCancel = token.isCancelled();
                if (state->released || (onCancel && state->sawCancel))
                    break;
                state->changed.wait_for(lock, 1ms);
            }
            lock.unlock();
            journal.add(name + "-");
        };
    }
    void release()
    {
        std::lock_guard lock(m_state->mutex);
        m_state->released = true;
        m_state->changed.notify_all();
    }
    bool sawCancel() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->sawCancel;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        bool sawCancel = false;
    };
    std::shared_ptr<State> m_state;
    std::string m_name;
    Journal& m_journal;
    bool m_returnsOnCancel;
};

BackupQueue::Work quickJob(const std::string& name, Journal& journal)
{
    return [name, &journal](const CancelToken&) {
        journal.add(name + "+");
        journal.add(name + "-");
    };
}

bool isReady(const std::future<Outcome>& future)
{
    return future.wait_for(0s) == std::future_status::ready;
}

Outcome outcomeOf(std::future<Outcome>& future)
{
    if (future.wait_for(kWait) != std::future_status::ready)
        ADD_FAILURE() << "the job was never answered";
    return future.get();
}

class BackupQueueTest : public ::testing::Test {
protected:
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const QUuid c = QUuid::createUuid();
    Journal journal;
};

// The watchdog is asleep on the fake clock only once the job runs.
void waitForWatchdog(const FakeContinuousClock& clock)
{
    for (int i = 0; i < 5000 && clock.sleeperCount() == 0; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(clock.sleeperCount(), 1);
}

} // namespace

TEST_F(BackupQueueTest, RunsOneJobAtATimeInOrderOfArrival)
{
    BackupQueue queue;
    HeldJob first("A", journal);
    auto fa = queue.enqueue(a, first.work());
    ASSERT_TRUE(journal.waitFor("A+"));
    auto fb = queue.enqueue(b, quickJob("B", journal));
    auto fc = queue.enqueue(c, quickJob("C", journal));
    EXPECT_FALSE(isReady(fb));
    first.release();

    EXPECT_EQ(outcomeOf(fa), Outcome::completed);
    EXPECT_EQ(outcomeOf(fb), Outcome::completed);
    EXPECT_EQ(outcomeOf(fc), Outcome::completed);
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"A+", "A-", "B+", "B-", "C+", "C-"}));

    // An idle queue starts again on the next job.
    auto again = queue.enqueue(a, quickJob("A2", journal));
    EXPECT_EQ(outcomeOf(again), Outcome::completed);
}

TEST_F(BackupQueueTest, NewJobReplacesTheWaitingJobOfItsPairAndJoinsTheEnd)
{
    BackupQueue queue;
    HeldJob running("A", journal);
    auto fa = queue.enqueue(a, running.work());
    ASSERT_TRUE(journal.waitFor("A+"));
    auto fb1 = queue.enqueue(b, quickJob("B1", journal));
    auto fc = queue.enqueue(c, quickJob("C", journal));
    auto fb2 = queue.enqueue(b, quickJob("B2", journal));

    ASSERT_TRUE(isReady(fb1)) << "the replaced caller is answered at once";
    EXPECT_EQ(fb1.get(), Outcome::cancelled);
    running.release();
    EXPECT_EQ(outcomeOf(fa), Outcome::completed);
    EXPECT_EQ(outcomeOf(fc), Outcome::completed);
    EXPECT_EQ(outcomeOf(fb2), Outcome::completed);
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"A+", "A-", "C+", "C-", "B2+", "B2-"}));
}

TEST_F(BackupQueueTest, NewJobOfTheRunningPairWaitsBehindIt)
{
    BackupQueue queue;
    HeldJob running("A1", journal);
    auto f1 = queue.enqueue(a, running.work());
    ASSERT_TRUE(journal.waitFor("A1+"));
    auto fb = queue.enqueue(b, quickJob("B", journal));
    auto f2 = queue.enqueue(a, quickJob("A2", journal));
    EXPECT_FALSE(isReady(f1));
    EXPECT_FALSE(running.sawCancel());
    running.release();
    EXPECT_EQ(outcomeOf(f1), Outcome::completed);
    EXPECT_EQ(outcomeOf(fb), Outcome::completed);
    EXPECT_EQ(outcomeOf(f2), Outcome::completed);
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"A1+", "A1-", "B+", "B-", "A2+", "A2-"}));
}

TEST_F(BackupQueueTest, CancelWithdrawsTheWaitingJobAndCancelsTheRunningOne)
{
    BackupQueue queue;
    queue.cancel(a); // nothing queued: nothing happens

    HeldJob running("A", journal);
    auto fa = queue.enqueue(a, running.work());
    ASSERT_TRUE(journal.waitFor("A+"));
    auto fa2 = queue.enqueue(a, quickJob("A2", journal));
    auto fb = queue.enqueue(b, quickJob("B", journal));
    queue.cancel(c); // another pair's cancel leaves these alone

    queue.cancel(a);
    ASSERT_TRUE(isReady(fa2));
    EXPECT_EQ(fa2.get(), Outcome::cancelled);
    // The running work ignores the mark for now: its caller and the next job both wait for it.
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(isReady(fa));
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"A+"}));
    running.release();

    EXPECT_EQ(outcomeOf(fa), Outcome::cancelled);
    EXPECT_TRUE(running.sawCancel());
    EXPECT_EQ(outcomeOf(fb), Outcome::completed);
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"A+", "A-", "B+", "B-"}));
}

TEST_F(BackupQueueTest, JobStillRunningAtTheLimitIsLoggedOnceMarkedTimedOutAndCancelled)
{
    larkfold::test::LogCapture log;
    FakeContinuousClock clock;
    BackupQueue queue({.timeLimit = 3600s, .clock = &clock});
    HeldJob slow("A", journal, /*returnsOnCancel=*/true);
    auto fa = queue.enqueue(a, slow.work());
    auto fb = queue.enqueue(b, quickJob("B", journal));
    waitForWatchdog(clock);

    // Time asleep counts: the continuous clock jumps as it does across a suspend.
    clock.advance(3599s);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(isReady(fa));
    clock.advance(1s);

    EXPECT_EQ(outcomeOf(fa), Outcome::timedOut);
    EXPECT_TRUE(slow.sawCancel());
    EXPECT_EQ(outcomeOf(fb), Outcome::completed);
    EXPECT_EQ(log.count(QStringLiteral("exceeded the 3600.0 seconds limit — cancelling."), QStringLiteral("BackupEngine")),
              1);
    const QString id = a.toString(QUuid::WithoutBraces);
    EXPECT_EQ(log.count(id) + log.count(id.toUpper()), 0) << "the pair id is logged only as a hash";
}

TEST_F(BackupQueueTest, LaterMarkWins)
{
    struct Case {
        const char* name;
        bool cancelFirst;
        Outcome expected;
    };
    for (const Case& test : {Case{"cancelled, then the limit", true, Outcome::timedOut},
                             Case{"the limit, then cancelled", false, Outcome::cancelled}}) {
        SCOPED_TRACE(test.name);
        Journal jobs;
        larkfold::test::LogCapture log;
        FakeContinuousClock clock;
        BackupQueue queue({.timeLimit = 10s, .clock = &clock});
        // Ignores both marks until released, so the second mark lands while it still runs.
        HeldJob stubborn("A", jobs);
        auto fa = queue.enqueue(a, stubborn.work());
        waitForWatchdog(clock);
        if (test.cancelFirst) {
            queue.cancel(a);
            clock.advance(10s);
            for (int i = 0; i < 5000 && log.count(QStringLiteral("exceeded")) == 0; ++i)
                std::this_thread::sleep_for(1ms);
        } else {
            clock.advance(10s);
            for (int i = 0; i < 5000 && !stubborn.sawCancel(); ++i)
                std::this_thread::sleep_for(1ms);
            queue.cancel(a);
        }
        stubborn.release();
        EXPECT_EQ(outcomeOf(fa), test.expected);
    }
}

TEST_F(BackupQueueTest, JobThatEndsBeforeTheLimitStopsItsWatchdog)
{
    larkfold::test::LogCapture log;
    FakeContinuousClock clock;
    BackupQueue queue({.timeLimit = 10s, .clock = &clock});
    auto fa = queue.enqueue(a, quickJob("A", journal));
    EXPECT_EQ(outcomeOf(fa), Outcome::completed);
    for (int i = 0; i < 5000 && clock.sleeperCount() > 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(clock.sleeperCount(), 0);
    clock.advance(20s);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.count(QStringLiteral("exceeded")), 0);
}

TEST_F(BackupQueueTest, ShortLimitOnTheBootTimeClock)
{
    BackupQueue queue({.timeLimit = 50ms});
    HeldJob slow("A", journal, /*returnsOnCancel=*/true);
    auto fa = queue.enqueue(a, slow.work());
    EXPECT_EQ(outcomeOf(fa), Outcome::timedOut);
}

TEST_F(BackupQueueTest, DestroyingTheQueueAnswersEveryCaller)
{
    std::future<Outcome> fa;
    std::future<Outcome> fb;
    {
        BackupQueue queue;
        HeldJob running("A", journal, /*returnsOnCancel=*/true);
        fa = queue.enqueue(a, running.work());
        ASSERT_TRUE(journal.waitFor("A+"));
        fb = queue.enqueue(b, quickJob("B", journal));
    }
    EXPECT_EQ(outcomeOf(fa), Outcome::cancelled);
    EXPECT_EQ(outcomeOf(fb), Outcome::cancelled);
    EXPECT_EQ(journal.lines(), (std::vector<std::string>{"A+", "A-"}));
}

// A cancel that lands just as the job is taken from the line must still reach it.
TEST(BackupQueue, ACancelAsTheJobTakesItsTurnIsNotLost)
{
    BackupQueue queue;
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    int lost = 0;
    for (int round = 0; round < 1000 && lost == 0; ++round) {
        std::atomic<bool> cancelReturned{false};
        std::atomic<bool> release{false};
        auto first = queue.enqueue(a, [&](const CancelToken&) {
            while (!release.load())
                std::this_thread::yield();
        });
        auto second = queue.enqueue(b, [&](const CancelToken& token) {
            // Cancelled before it started, so it must see the mark.
            if (cancelReturned.load() && !token.isCancelled())
                ++lost;
        });
        release = true;
        // Cancel as soon as the first job has returned, while the queue moves on to the second.
        while (first.wait_for(0s) != std::future_status::ready)
            ;
        queue.cancel(b);
        cancelReturned = true;
        second.wait();
    }
    EXPECT_EQ(lost, 0);
}
