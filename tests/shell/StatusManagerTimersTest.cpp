// The coordinator's own clockwork: the schedule on the continuous clock, the power poll, and the
// order in which it comes up and goes down.

#include "CoordinatorFixture.h"

#include "copy/BandwidthThrottle.h"
#include "platform/InotifyFileEvents.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;
using namespace std::chrono_literals;
using EventType = BackupEvent::EventType;
using Interval = AppConfig::BackupInterval;

namespace {

void setInterval(Coordinator& c, Interval interval)
{
    AppConfig config = c.store().appConfig();
    config.backupInterval = interval;
    c.store().setAppConfig(config);
}

BackupPair storeDocs(Coordinator& c)
{
    c.tree.write("docs/a.txt", "a");
    c.tree.mkdir("dest");
    return c.storePair("Docs", c.tree.path("docs"), c.tree.path("dest"));
}

} // namespace

TEST(StatusManagerTimers, EachSettingHasItsInterval)
{
    const std::pair<Interval, std::optional<std::chrono::seconds>> cases[] = {
        {Interval::thirtyMinutes, 1800s}, {Interval::hourly, 3600s}, {Interval::fourHours, 14400s},
        {Interval::manual, std::nullopt}};
    for (const auto& [interval, seconds] : cases)
        EXPECT_EQ(StatusManager::scheduleInterval(interval), seconds) << int(interval);
}

// The count starts at launch and again at each reschedule; manual has no schedule at all.
TEST(StatusManagerTimers, ARescheduleRestartsTheCount)
{
    Coordinator c;
    setInterval(c, Interval::hourly);
    StatusManager& manager = c.start();
    EXPECT_EQ(manager.nextScheduledRun(), c.clock.now() + 3600s);

    c.clock.advance(1800s);
    manager.rescheduleTimer();
    EXPECT_EQ(manager.nextScheduledRun(), c.clock.now() + 3600s);

    setInterval(c, Interval::manual);
    manager.rescheduleTimer();
    EXPECT_EQ(manager.nextScheduledRun(), std::nullopt);
    EXPECT_FALSE(c.scheduleTimer().isActive());

    setInterval(c, Interval::fourHours);
    manager.rescheduleTimer();
    EXPECT_EQ(manager.nextScheduledRun(), c.clock.now() + 14400s);
}

// The rescheduling also hands a changed bandwidth mode to the copy loops.
TEST(StatusManagerTimers, ARescheduleTakesTheBandwidthMode)
{
    Coordinator c;
    StatusManager& manager = c.start();
    AppConfig config = c.store().appConfig();
    config.bandwidthMode = AppConfig::BandwidthMode::full;
    c.store().setAppConfig(config);
    EXPECT_EQ(currentBandwidthMode, 0);
    manager.rescheduleTimer();
    EXPECT_EQ(currentBandwidthMode, 2);
}

// A run that came due while the computer slept starts as soon as the clock is read after wake,
// and the next one is a whole interval after that, not one for each interval slept through.
TEST(StatusManagerTimers, ARunThatCameDueDuringSuspendStartsAfterWake)
{
    Coordinator c;
    setInterval(c, Interval::thirtyMinutes);
    const BackupPair docs = storeDocs(c);
    StatusManager& manager = c.start();
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());

    c.advanceClock(1799s);
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(docs.id, EventType::backup), 1);

    c.advanceClock(3h); // asleep well past the due time
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 2));
    EXPECT_EQ(manager.nextScheduledRun(), c.clock.now() + 1800s);
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(docs.id, EventType::backup), 2);
}

// The poll resumes pairs the power conditions held back, once they allow it; never the pairs the
// user paused, and nothing while "Pause All" holds.
TEST(StatusManagerTimers, ThePowerPollResumesOnlyWhatThePowerConditionsHeld)
{
    Coordinator c;
    const auto [docs, music] = c.storeDocsAndPausedMusic();
    c.power.setRunningHot(true);
    StatusManager& manager = c.start();
    EXPECT_TRUE(manager.isPowerPollRunning());
    ASSERT_TRUE(spinUntil([&] { return c.engine(docs.id).status() == BackupStatus::paused(); }, 15000));
    ASSERT_TRUE(c.waitForTasks());

    manager.powerPollTick();
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(docs.id, EventType::backup), 0);

    c.power.setRunningHot(false);
    manager.pauseAll();
    manager.powerPollTick();
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(docs.id, EventType::backup), 0);
    // Nor does the schedule, or a destination found again, end the hold.
    c.advanceClock(2h);
    c.engine(docs.id).setStatus(BackupStatus::destinationUnreachable());
    manager.handleReconnected(docs.id, docs);
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(docs.id, EventType::backup), 0);
    EXPECT_EQ(c.engine(docs.id).status(), BackupStatus::paused());

    // Resumed on its own, the pair leaves the hold (resuming all would resume the user's pause too).
    manager.togglePause(docs.id);
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());
    // Held back again, then released: the next tick picks it up.
    c.power.setRunningHot(true);
    manager.backupAllNow();
    ASSERT_TRUE(spinUntil([&] { return c.engine(docs.id).status() == BackupStatus::paused(); }, 15000));
    c.power.setRunningHot(false);
    manager.powerPollTick();
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 2));
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(music.id, EventType::backup), 0);
    EXPECT_EQ(c.engine(music.id).status(), BackupStatus::paused());
}

// The user's watch limit leaves room for the source's root alone: changes in its folders are not
// seen as they happen, so the schedule backs them up, and the user is told once what to do.
TEST(StatusManagerTimers, APairWhoseFoldersCannotAllBeWatchedIsBackedUpOnTheSchedule)
{
    TempTree limit{{"max_user_watches", "2\n"}};
    platform::InotifyInstance instance({limit.path("max_user_watches")});
    ASSERT_EQ(instance.watchBudget(), 1u);
    Coordinator c;
    c.environment.engine.fileEvents = [&instance] {
        return std::make_unique<platform::InotifyFileEvents>(
            platform::InotifyFileEvents::Options{std::chrono::milliseconds(100), SIZE_MAX, &instance});
    };
    setInterval(c, Interval::hourly);
    AppConfig config = c.store().appConfig();
    config.notificationLevel = AppConfig::NotificationLevel::errorsOnly;
    c.store().setAppConfig(config);
    for (int i = 0; i < 5; ++i)
        c.tree.write("docs/folder" + std::to_string(i) + "/a.txt", "a");
    c.tree.mkdir("dest");
    const BackupPair docs = c.storePair("Docs", c.tree.path("docs"), c.tree.path("dest"));
    auto notifier = std::make_unique<platform::FakeNotifier>();
    platform::FakeNotifier& fake = *notifier;
    c.start(std::move(notifier));
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());
    ASSERT_TRUE(spinUntil([&] { return !fake.shown().empty(); }, 15000));
    EXPECT_TRUE(c.engine(docs.id).watchWarning().contains("fs.inotify.max_user_watches"));

    c.tree.write("docs/folder3/b.txt", "b");
    c.advanceClock(3600s);
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 2));
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(readFile(c.tree.path("dest/Larkfold/Docs/folder3/b.txt")), "b");
    ASSERT_EQ(fake.shown().size(), 1u);
    EXPECT_EQ(fake.shown().front().title, "Some Folders Aren't Watched");
    EXPECT_TRUE(fake.shown().front().body.startsWith("Docs — "));
    EXPECT_TRUE(fake.shown().front().body.contains("fs.inotify.max_user_watches"));
}

TEST(StatusManagerTimers, WithNoPairsEverythingStillComesUpAndGoesDown)
{
    Coordinator c;
    setInterval(c, Interval::hourly);
    auto notifier = std::make_unique<platform::FakeNotifier>();
    platform::FakeNotifier& fake = *notifier;
    StatusManager& manager = c.start(std::move(notifier));
    EXPECT_TRUE(manager.engines().empty());
    EXPECT_TRUE(manager.copyRedundancy().empty());
    EXPECT_TRUE(manager.volumeMonitor().isStarted());
    EXPECT_TRUE(manager.isPowerPollRunning());
    EXPECT_TRUE(c.scheduleTimer().isActive());
    ASSERT_NE(manager.volumeReconnector(), nullptr);
    EXPECT_EQ(fake.serverCheckCount(), 1);

    manager.stopTimers();
    EXPECT_FALSE(manager.isPowerPollRunning());
    EXPECT_FALSE(c.scheduleTimer().isActive());
    c.wake.simulateWake();
    EXPECT_FALSE(manager.volumeReconnector()->hasPendingAttempt());
}

TEST(StatusManagerTimers, WithNotificationsOffNoServerIsAskedFor)
{
    Coordinator c;
    AppConfig config = c.store().appConfig();
    config.notificationLevel = AppConfig::NotificationLevel::nothing;
    c.store().setAppConfig(config);
    auto notifier = std::make_unique<platform::FakeNotifier>();
    platform::FakeNotifier& fake = *notifier;
    c.start(std::move(notifier));
    EXPECT_EQ(fake.serverCheckCount(), 0);
}
