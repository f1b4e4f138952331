#include "platform/IdleTime.h"
#include "support/EventLoop.h"
#include "support/PrivateSessionBus.h"
#include "support/PrivateXServer.h"
#include "support/TempTree.h"

#include <QDBusConnection>
#include <QObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

using namespace larkfold::platform;
using larkfold::test::PrivateSessionBus;
using larkfold::test::PrivateXServer;
using larkfold::test::spinUntil;
using namespace std::chrono_literals;

namespace {

class FakeMutterIdleMonitor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    qulonglong idleMs = 0;
public slots:
    qulonglong GetIdletime() { return idleMs; }
};

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    uint idleMs = 0;
public slots:
    uint GetSessionIdleTime() { return idleMs; }
};

// The fake services answer on the main thread, so the query runs on a worker, as in a copy run.
std::optional<IdleTime::Duration> queryOffMainThread(IdleTime& idle)
{
    auto result = std::async(std::launch::async, [&] { return idle.sessionIdleTime(); });
    EXPECT_TRUE(spinUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
    return result.get();
}

// Keeps X11 out of the D-Bus cases.
class NoDisplay {
public:
    NoDisplay() { unsetenv("DISPLAY"); }
};

} // namespace

TEST(SessionIdleTime, AsksMutterThenScreenSaverAndReportsUnknownWhenNoneAnswers)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    NoDisplay noDisplay;
    QDBusConnection services = bus.connection(QStringLiteral("services"));
    FakeMutterIdleMonitor mutter;
    mutter.idleMs = 130000;
    FakeScreenSaver screenSaver;
    screenSaver.idleMs = 4000;
    ASSERT_TRUE(services.registerObject(QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"), &mutter,
                                        QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(services.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver,
                                        QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(services.registerService(QStringLiteral("org.gnome.Mutter.IdleMonitor")));
    ASSERT_TRUE(services.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    SessionIdleTime idle(bus.connection(QStringLiteral("client")));
    EXPECT_EQ(queryOffMainThread(idle), IdleTime::Duration(130000));

    services.unregisterService(QStringLiteral("org.gnome.Mutter.IdleMonitor"));
    EXPECT_EQ(queryOffMainThread(idle), IdleTime::Duration(4000));

    services.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
    EXPECT_EQ(queryOffMainThread(idle), std::nullopt);
}

TEST(SessionIdleTime, WithoutBusOrDisplayTheIdleTimeIsUnknown)
{
    NoDisplay noDisplay;
    SessionIdleTime idle(QDBusConnection(QStringLiteral("never-connected")));
    EXPECT_EQ(idle.sessionIdleTime(), std::nullopt);
}

TEST(SessionIdleTime, FallsBackToTheX11ScreenSaverExtensionOnlyInX11Sessions)
{
    if (!PrivateXServer::isAvailable())
        GTEST_SKIP() << "Xvfb is not installed";
    PrivateXServer server(64, 64);
    ASSERT_TRUE(server.isRunning());
    server.exportAsDisplay();
    setenv("XDG_SESSION_TYPE", "x11", 1);

    SessionIdleTime x11(QDBusConnection(QStringLiteral("never-connected")));
    EXPECT_TRUE(x11.sessionIdleTime().has_value());

    // Under Wayland the X server sees only X clients' input, so it is not asked.
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    SessionIdleTime wayland(QDBusConnection(QStringLiteral("never-connected")));
    EXPECT_EQ(wayland.sessionIdleTime(), std::nullopt);

    unsetenv("DISPLAY");
    unsetenv("XDG_SESSION_TYPE");
}

#include "IdleTimeTest.moc"
