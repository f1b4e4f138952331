#include "engine/NotificationManager.h"
#include "platform/Clock.h"
#include "platform/LinuxNotifier.h"
#include "platform/WakeSource.h"
#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/FakeNotificationServer.h"
#include "support/LogCapture.h"
#include "support/PrivateSessionBus.h"
#include "support/TempTree.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

using namespace larkfold;
using larkfold::platform::FakeWakeSource;
using larkfold::platform::FakeWallClock;
using larkfold::platform::LinuxNotifier;
using larkfold::test::FakeNotificationServer;
using larkfold::test::LogCapture;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;
using larkfold::test::TempDir;
using Level = AppConfig::NotificationLevel;

namespace {

QDateTime local(int day, int hour, int minute, int second = 0, int ms = 0)
{
    return QDateTime(QDate(2026, 6, day), QTime(hour, minute, second, ms), Qt::LocalTime);
}

QString identifierOf(const FakeNotificationServer::Call& call)
{
    return call.hints.value(QString::fromLatin1(LinuxNotifier::kIdentifierHint)).toString();
}

QRegularExpression identifierPattern(const QString& kind)
{
    return QRegularExpression(QStringLiteral("^") + kind
                              + QStringLiteral("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
}

class NotificationManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bus.isRunning());
        ASSERT_TRUE(m_server.isRegistered());
        platform::setWallClock(&m_clock);
        m_manager = makeManager();
    }

    void TearDown() override
    {
        m_manager.reset();
        platform::setWallClock(nullptr);
    }

    std::unique_ptr<NotificationManager> makeManager()
    {
        return std::make_unique<NotificationManager>(&m_store, std::make_unique<LinuxNotifier>(m_client), &m_wake);
    }

    void setLevel(Level level, bool trashReminder = true)
    {
        AppConfig config = m_store.appConfig();
        config.notificationLevel = level;
        config.trashReminderEnabled = trashReminder;
        m_store.setAppConfig(config);
    }

    // Everything sent before has reached the server once a marker sent after it on the same
    // connection has; returns what arrived, without the marker.
    std::vector<FakeNotificationServer::Call> delivered()
    {
        m_marker.show({QStringLiteral("marker"), QStringLiteral("marker"), QString()}, {});
        EXPECT_TRUE(spinUntil([&] { return !m_server.calls().empty() && m_server.calls().back().summary == "marker"; }));
        std::vector<FakeNotificationServer::Call> calls = m_server.calls();
        calls.pop_back();
        m_server.clear();
        return calls;
    }

    static QStringList titles(const std::vector<FakeNotificationServer::Call>& calls)
    {
        QStringList result;
        for (const auto& call : calls)
            result << call.summary;
        return result;
    }

    // Calls every notification kind once.
    void notifyAll(NotificationManager& manager)
    {
        manager.notifyError(QStringLiteral("Photos"), QStringLiteral("Disk full"));
        manager.notifyDriveAlmostFull(QStringLiteral("Photos"), 1'230'000'000);
        manager.notifyTrashReminder(1'500'000'000);
        manager.notifyDriveDisconnected(QStringLiteral("Photos"));
        manager.notifyBackupComplete(QStringLiteral("Photos"), 3, std::nullopt);
    }

    PrivateSessionBus m_bus;
    QDBusConnection m_client = m_bus.connection(QStringLiteral("client"));
    FakeNotificationServer m_server{m_bus.connection(QStringLiteral("server"))};
    LinuxNotifier m_marker{m_client};
    TempDir m_dir;
    ConfigStore m_store{m_dir.path()};
    FakeWallClock m_clock{local(10, 10, 0)};
    FakeWakeSource m_wake;
    std::unique_ptr<NotificationManager> m_manager;
};

TEST_F(NotificationManagerTest, EachKindHasItsIdentifierTitleAndBody)
{
    setLevel(Level::everyBackup);
    struct Case {
        const char* kind;
        std::function<void(NotificationManager&)> send;
        QString title;
        QString body;
    };
    const std::vector<Case> cases{
        {"error-", [](auto& m) { m.notifyError("Photos", "The destination is full."); }, "Backup Problem",
         "Photos — The destination is full."},
        {"disk-low-", [](auto& m) { m.notifyDriveAlmostFull("Photos", 1'230'000'000); }, "Backup Drive Almost Full",
         "Photos — only 1.23 GB left on the backup drive."},
        {"trash-reminder-", [](auto& m) { m.notifyTrashReminder(1'500'000'000); }, "Backup Trash Using 1.5 GB",
         "Old versions of deleted files are still on your backup drive. You can review them in the file manager."},
        {"volume-lost-", [](auto& m) { m.notifyDriveDisconnected("Photos"); }, "Backup Drive Disconnected",
         "Photos can't back up until the drive is reconnected."},
        {"backup-", [](auto& m) { m.notifyBackupComplete("Photos", 1, std::nullopt); }, "Backup Complete",
         "Photos — 1 file backed up."},
        {"backup-", [](auto& m) { m.notifyBackupComplete("Photos", 0, std::nullopt); }, "Backup Complete",
         "Photos — 0 files backed up."},
        {"backup-", [](auto& m) { m.notifyBackupComplete("Photos", 12, QStringLiteral("12 files copied, 2 archived")); },
         "Backup Complete", "Photos — 12 files copied, 2 archived"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        c.send(*m_manager);
        const auto calls = delivered();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].summary, c.title);
        EXPECT_EQ(calls[0].body, c.body);
        EXPECT_TRUE(identifierPattern(QString::fromLatin1(c.kind)).match(identifierOf(calls[0])).hasMatch())
            << identifierOf(calls[0]).toStdString();
        EXPECT_EQ(calls[0].replacesId, 0u);
    }
}

TEST_F(NotificationManagerTest, TwoErrorsOfOnePairAreTwoNotifications)
{
    m_manager->notifyError("Photos", "Disk full");
    m_manager->notifyError("Photos", "Disk full");
    const auto calls = delivered();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(identifierOf(calls[0]), identifierOf(calls[1]));
    EXPECT_EQ(calls[0].replacesId, 0u);
    EXPECT_EQ(calls[1].replacesId, 0u);
}

TEST_F(NotificationManagerTest, LevelDecidesWhatIsShownAndWhetherASummaryIsPending)
{
    const QString problem = "Backup Problem", full = "Backup Drive Almost Full", trash = "Backup Trash Using 1.5 GB",
                  lost = "Backup Drive Disconnected", complete = "Backup Complete";
    struct Case {
        Level level;
        QStringList shown;
        bool summaryPending;
    };
    const std::vector<Case> cases{
        {Level::nothing, {}, false},
        {Level::errorsOnly, {problem, full, trash, lost}, false},
        {Level::dailySummary, {problem, full, trash, lost}, true},
        {Level::everyBackup, {problem, full, trash, lost, complete}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.level));
        setLevel(c.level);
        auto manager = makeManager();
        notifyAll(*manager);
        EXPECT_EQ(titles(delivered()), c.shown);
        EXPECT_EQ(manager->dailySummaryTime().has_value(), c.summaryPending);
    }
}

TEST_F(NotificationManagerTest, DailySummaryCountsTheDayAndShowsAtEightInTheEvening)
{
    // Nothing is counted at level `nothing`.
    setLevel(Level::nothing);
    m_manager->notifyError("Photos", "Disk full");
    m_manager->notifyBackupComplete("Photos", 3, std::nullopt);

    setLevel(Level::dailySummary);
    m_manager->notifyBackupComplete("Photos", 3, std::nullopt);
    m_manager->notifyError("Photos", "Disk full");
    m_manager->notifyBackupComplete("Music", 5, std::nullopt);
    // After the day's last backup: in no summary until another backup completes.
    m_manager->notifyError("Music", "Drive lost");
    EXPECT_EQ(titles(delivered()), (QStringList{"Backup Problem", "Backup Problem"}));
    EXPECT_EQ(m_manager->dailySummaryTime(), local(10, 20, 0));

    // Switching the level away does not withdraw the pending summary.
    setLevel(Level::errorsOnly);
    m_clock.set(local(10, 19, 59, 59));
    m_wake.simulateWake();
    EXPECT_TRUE(delivered().empty());

    m_clock.set(local(10, 20, 0));
    m_wake.simulateWake();
    const auto calls = delivered();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].summary, QStringLiteral("Daily Backup Summary"));
    EXPECT_EQ(calls[0].body, QStringLiteral("2 backups completed, 1 error."));
    EXPECT_EQ(identifierOf(calls[0]), QStringLiteral("lark-daily-summary"));
    EXPECT_FALSE(m_manager->dailySummaryTime());

    // Delivered once; nothing schedules another until the next completed backup.
    m_clock.set(local(11, 20, 30));
    m_wake.simulateWake();
    EXPECT_TRUE(delivered().empty());
}

TEST_F(NotificationManagerTest, BackupAfterEightGoesIntoTomorrowsSummaryWhichCountsAfresh)
{
    setLevel(Level::dailySummary);
    m_clock.set(local(10, 21, 0));
    m_manager->notifyBackupComplete("Photos", 3, std::nullopt);
    EXPECT_EQ(m_manager->dailySummaryTime(), local(11, 20, 0));

    m_clock.set(local(11, 9, 0));
    m_manager->notifyError("Photos", "Disk full");
    m_manager->notifyBackupComplete("Photos", 3, std::nullopt);
    EXPECT_EQ(m_manager->dailySummaryTime(), local(11, 20, 0));
    delivered();

    m_clock.set(local(11, 20, 5));
    m_wake.simulateWake();
    const auto calls = delivered();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].body, QStringLiteral("1 backup completed, 1 error."));
}

// The timer runs on the main loop, but only the wall clock says whether 20:00 has come.
TEST_F(NotificationManagerTest, SummaryTimerWaitsForTheWallClock)
{
    setLevel(Level::dailySummary);
    m_clock.set(local(10, 19, 59, 59, 800));
    m_manager->notifyBackupComplete("Photos", 1, std::nullopt);
    spinFor(500);
    EXPECT_TRUE(delivered().empty());

    m_clock.set(local(10, 20, 0));
    ASSERT_TRUE(spinUntil([&] { return !m_server.calls().empty(); }));
    EXPECT_EQ(m_server.calls()[0].body, QStringLiteral("1 backup completed."));
}

// After a sleep nobody announced, a backup can complete before the timer sees that 20:00 has
// passed: the overdue summary is shown then, not replaced by tomorrow's.
TEST_F(NotificationManagerTest, OverdueSummaryIsShownBeforeTheNextOneReplacesIt)
{
    setLevel(Level::dailySummary);
    m_clock.set(local(10, 19, 0));
    m_manager->notifyBackupComplete("Photos", 1, std::nullopt);
    m_clock.set(local(10, 23, 0));
    m_manager->notifyBackupComplete("Photos", 1, std::nullopt);
    const auto calls = delivered();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].body, QStringLiteral("1 backup completed."));
    EXPECT_EQ(m_manager->dailySummaryTime(), local(11, 20, 0));

    m_clock.set(local(11, 20, 0));
    m_wake.simulateWake();
    const auto next = delivered();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].body, QStringLiteral("2 backups completed."));
}

TEST_F(NotificationManagerTest, TrashReminderOncePerCalendarDayAndOnlyWhenSwitchedOn)
{
    m_manager->notifyTrashReminder(2'000'000'000);
    m_clock.set(local(10, 23, 59));
    m_manager->notifyTrashReminder(2'000'000'000);
    m_clock.set(local(11, 0, 1));
    m_manager->notifyTrashReminder(2'000'000'000);
    EXPECT_EQ(titles(delivered()), (QStringList{"Backup Trash Using 2 GB", "Backup Trash Using 2 GB"}));

    for (Level level : {Level::errorsOnly, Level::dailySummary, Level::everyBackup}) {
        SCOPED_TRACE(int(level));
        setLevel(level, false);
        makeManager()->notifyTrashReminder(2'000'000'000);
        EXPECT_TRUE(delivered().empty());
    }
}

TEST_F(NotificationManagerTest, WithoutTheStoreErrorsOnlyAndNoTrashReminder)
{
    auto store = std::make_unique<ConfigStore>(m_dir.path() / "other");
    AppConfig config;
    config.notificationLevel = Level::everyBackup;
    store->setAppConfig(config);
    NotificationManager manager(store.get(), std::make_unique<LinuxNotifier>(m_client), &m_wake);
    store.reset();
    notifyAll(manager);
    EXPECT_EQ(titles(delivered()),
              (QStringList{"Backup Problem", "Backup Drive Almost Full", "Backup Drive Disconnected"}));
}

TEST_F(NotificationManagerTest, CallsFromAWorkerThreadAreShown)
{
    std::jthread worker([&] { m_manager->notifyError("Photos", "Disk full"); });
    worker.join();
    ASSERT_TRUE(spinUntil([&] { return !m_server.calls().empty(); }));
    EXPECT_EQ(m_server.calls()[0].body, QStringLiteral("Photos — Disk full"));
}

TEST(NotificationManagerWithoutServer, EachUndeliveredNotificationIsOneLogLineAndNothingElse)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    TempDir dir;
    ConfigStore store(dir.path());
    LogCapture log;
    NotificationManager manager(&store, std::make_unique<LinuxNotifier>(bus.connection(QStringLiteral("client"))));
    manager.notifyError("Photos", "Disk full");
    ASSERT_TRUE(spinUntil([&] { return log.count("Failed to deliver notification: ", "App") == 1; }));
    manager.notifyDriveDisconnected("Photos");
    ASSERT_TRUE(spinUntil([&] { return log.count("Failed to deliver notification: ", "App") == 2; }));
    spinFor(50);
    EXPECT_EQ(log.messages().size(), 2u);
}

} // namespace
