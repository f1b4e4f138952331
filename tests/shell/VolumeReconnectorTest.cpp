// The reconnector on a real drive: a tmpfs bind-mounted at a custom mount point in a private
// mount namespace. The volume monitor is left deaf to the kernel's table, so only the
// reconnector's triggers can bring the pair back.

#include "CoordinatorFixture.h"

#include "platform/Bookmark.h"
#include "platform/LinuxNetworkSource.h"
#include "platform/LogindWakeSource.h"
#include "platform/ScreenSaverSleepSource.h"
#include "shell/VolumeReconnector.h"
#include "support/ChildProcess.h"
#include "support/EventLoop.h"
#include "support/FakeDesktopServices.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using EventType = BackupEvent::EventType;

namespace {

struct Attempt {
    QString trigger;
    int probed = 0;
    int reconnected = 0;
};

} // namespace

TEST(VolumeReconnector, TriggersFindADriveThatCameBackWithoutAMountEvent)
{
    TempDir work;
    const auto outcome = runInPrivateMountNamespace([&]() -> std::string {
        const fs::path storage = work / "storage";
        const fs::path mountPoint = work / "mnt/usb";
        fs::create_directories(storage);
        fs::create_directories(mountPoint);
        const auto plug = [&] { return ::mount(storage.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr) == 0; };
        const auto unplug = [&] { return ::umount2(mountPoint.c_str(), MNT_DETACH) == 0; };
        if (::mount("tmpfs", storage.c_str(), "tmpfs", 0, "size=4m") != 0 || !plug())
            return "skip";
        fs::create_directories(mountPoint / "Backups");

        std::string seen;
        const auto note = [&](const char* what, bool held) { seen += std::string(seen.empty() ? "" : " ") + what + (held ? "" : "!"); };
        Coordinator c;
        c.tree.write("docs/a.txt", "a");
        BackupPair pair = c.makePair("Docs", c.tree.path("docs"), mountPoint / "Backups");
        pair.destinationBookmark = platform::systemBookmarks().create(pair.destinationURL);
        c.store().addPair(pair);
        StatusManager& manager = c.start();
        std::vector<Attempt> attempts;
        QObject::connect(manager.volumeReconnector(), &VolumeReconnector::attemptFinished,
                         [&](const QString& trigger, int probed, int reconnected) {
                             attempts.push_back({trigger, probed, reconnected});
                         });
        note("backedUp", c.waitForEvents(pair.id, EventType::backup, 1) && c.waitForTasks());
        const auto waitsForDrive = [&] { return c.engine(pair.id).status() == BackupStatus::destinationUnreachable(); };
        const auto waitForAttempts = [&](std::size_t count) {
            return spinUntil([&] { return attempts.size() >= count; }, 15000);
        };

        note("unplugged", unplug());
        manager.handleVolumeUnmounted(mountPoint);
        note("waits", waitsForDrive());
        // Three triggers close together make one attempt, named after the first.
        c.wake.simulateWake();
        c.screens.simulateWake();
        c.network.simulateUsable();
        note("oneAttempt", waitForAttempts(1) && attempts[0].trigger == "wake" && attempts[0].probed == 1);
        note("emptyFolderIsNoDrive", attempts[0].reconnected == 0 && waitsForDrive());
        spinFor(200);
        note("noSecondAttempt", attempts.size() == 1 && !manager.volumeReconnector()->hasPendingAttempt());

        note("plugged", plug());
        c.screens.simulateWake();
        note("found", waitForAttempts(2) && attempts[1].trigger == "screens-wake" && attempts[1].reconnected == 1);
        note("restored", c.waitForEvents(pair.id, EventType::backup, 2)
                             && c.eventCount(pair.id, EventType::volumeRestored) == 1);

        // Just reconnected: left alone for five seconds, even when it is gone again.
        note("waitsAgain", c.waitForTasks() && unplug());
        manager.handleVolumeUnmounted(mountPoint);
        c.network.simulateUsable();
        spinUntil([&] { return !manager.volumeReconnector()->hasPendingAttempt(); }, 15000);
        spinFor(200);
        note("leftAlone", attempts.size() == 2);
        c.clock.advance(std::chrono::seconds(5));
        c.network.simulateUsable();
        note("probedAgain", waitForAttempts(3) && attempts[2].trigger == "network" && attempts[2].reconnected == 0);
        note("nothingOnTheSystemDisk", fs::is_empty(mountPoint));
        return seen;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "backedUp unplugged waits oneAttempt emptyFolderIsNoDrive noSecondAttempt plugged found "
                        "restored waitsAgain leftAlone probedAgain nothingOnTheSystemDisk");
}

// Only pairs that wait for their destination are probed; a stopped reconnector attempts nothing.
TEST(VolumeReconnector, ProbesOnlyWaitingPairsAndNothingOnceStopped)
{
    Coordinator c;
    c.tree.write("docs/a.txt", "a");
    c.tree.mkdir("dest");
    const BackupPair pair = c.storePair("Docs", c.tree.path("docs"), c.tree.path("dest"));
    StatusManager& manager = c.start();
    ASSERT_TRUE(c.waitForEvents(pair.id, EventType::backup, 1));
    ASSERT_TRUE(c.waitForTasks());
    int attempts = 0;
    QObject::connect(manager.volumeReconnector(), &VolumeReconnector::attemptFinished, [&] { ++attempts; });

    for (const BackupStatus& status : {BackupStatus::idle(), BackupStatus::paused(),
                                       BackupStatus::error(BackupError::destinationNotFound(c.tree.path("dest")))}) {
        c.engine(pair.id).setStatus(status);
        c.wake.simulateWake();
        ASSERT_TRUE(spinUntil([&] { return !manager.volumeReconnector()->hasPendingAttempt(); }, 15000));
    }
    spinFor(100);
    EXPECT_EQ(attempts, 0);

    c.engine(pair.id).setStatus(BackupStatus::destinationUnreachable());
    c.wake.simulateWake();
    ASSERT_TRUE(manager.volumeReconnector()->hasPendingAttempt());
    manager.stopTimers();
    EXPECT_FALSE(manager.volumeReconnector()->hasPendingAttempt());
    c.wake.simulateWake();
    EXPECT_FALSE(manager.volumeReconnector()->hasPendingAttempt());
    EXPECT_EQ(attempts, 0);
}

// The desktop's own signals: wake from logind, the screens from the screen saver and the network
// from NetworkManager, each a fake service on a private bus standing for the system or session bus.
TEST(VolumeReconnector, TheDesktopsTriggersMakeOneAttemptNamedAfterTheFirst)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeNetworkManager networkManager(bus.connection(QStringLiteral("nm")), kNetworkAsleep);
    FakeLogind logind(bus.connection(QStringLiteral("logind")));
    FakeScreenSaver screenSaver(bus.connection(QStringLiteral("saver")));
    ASSERT_TRUE(networkManager.isRegistered() && logind.isRegistered() && screenSaver.isRegistered());

    QDBusConnection client = bus.connection(QStringLiteral("client"));
    platform::LogindWakeSource wake(client);
    platform::ScreenSaverSleepSource screens(client);
    platform::LinuxNetworkSource network(client, [] { return std::make_unique<platform::FakeNetworkSource>(); });
    Coordinator c;
    c.environment.wake = &wake;
    c.environment.screens = &screens;
    c.environment.network = &network;
    c.tree.write("docs/a.txt", "a");
    const BackupPair docs = c.storePair("Docs", c.tree.path("docs"), c.tree.path("later"));
    StatusManager& manager = c.start();
    EXPECT_EQ(c.engine(docs.id).status(), BackupStatus::destinationUnreachable());
    std::vector<Attempt> attempts;
    QObject::connect(manager.volumeReconnector(), &VolumeReconnector::attemptFinished,
                     [&](const QString& trigger, int probed, int reconnected) {
                         attempts.push_back({trigger, probed, reconnected});
                     });
    ASSERT_TRUE(spinUntil([&] { return network.backend() == platform::LinuxNetworkSource::Backend::networkManager; }));
    for (const char* name : {"org.freedesktop.login1", "org.freedesktop.ScreenSaver"})
        ASSERT_TRUE(spinUntil([&] { return client.interface()->isServiceRegistered(QString::fromLatin1(name)).value(); }));
    spinFor(50);
    EXPECT_FALSE(manager.volumeReconnector()->hasPendingAttempt()) << "no usable network at launch";

    // The destination comes back without any mount event.
    c.tree.mkdir("later");
    logind.sleepAndWake();
    ASSERT_TRUE(spinUntil([&] { return manager.volumeReconnector()->hasPendingAttempt(); }));
    screenSaver.setActive(true);
    screenSaver.setActive(false);
    networkManager.changeState(kNetworkConnectedGlobal);
    ASSERT_TRUE(spinUntil([&] { return !attempts.empty(); }, 15000));
    EXPECT_EQ(attempts.front().trigger, "wake");
    EXPECT_EQ(attempts.front().reconnected, 1);
    ASSERT_TRUE(c.waitForEvents(docs.id, EventType::backup, 1));
    EXPECT_EQ(c.eventCount(docs.id, EventType::volumeRestored), 1);
    EXPECT_TRUE(fs::exists(c.tree.path("later/Larkfold/Docs/a.txt")));
    spinFor(200);
    EXPECT_EQ(attempts.size(), 1u) << "the later triggers joined the first attempt";
}
