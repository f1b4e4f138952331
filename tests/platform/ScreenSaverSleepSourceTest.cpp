#include "platform/ScreenSaverSleepSource.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::LogCapture;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;

namespace {

void sendActiveChanged(QDBusConnection& connection, const char* path, const char* interface, bool active)
{
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(path), QString::fromLatin1(interface),
                                                     QStringLiteral("ActiveChanged"));
    signal << active;
    ASSERT_TRUE(connection.send(signal));
}

// A round trip on the client's connection: its tracking of the name's owner is in place.
bool seenOnBus(QDBusConnection& client, const char* name)
{
    return spinUntil([&] { return client.interface()->isServiceRegistered(QString::fromLatin1(name)).value(); });
}

} // namespace

// The screen saver may start after us: the source exists before either name is on the bus.
TEST(ScreenSaverSleepSource, HearsEitherScreenSaverOnceItIsThere)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    LogCapture log;
    QDBusConnection client = bus.connection(QStringLiteral("client"));
    ScreenSaverSleepSource source(client);
    int sleeps = 0;
    int wakes = 0;
    QObject::connect(&source, &ScreenSleepSource::screensDidSleep, [&] { ++sleeps; });
    QObject::connect(&source, &ScreenSleepSource::screensDidWake, [&] { ++wakes; });
    EXPECT_TRUE(spinUntil([&] { return log.contains(QStringLiteral("No screen saver on the session bus")); }));

    QDBusConnection saver = bus.connection(QStringLiteral("saver"));
    ASSERT_TRUE(saver.registerService(QString::fromLatin1(ScreenSaverSleepSource::kFreedesktopService)));
    ASSERT_TRUE(seenOnBus(client, ScreenSaverSleepSource::kFreedesktopService));
    const char* freedesktop = ScreenSaverSleepSource::kFreedesktopPath;
    sendActiveChanged(saver, freedesktop, "org.freedesktop.ScreenSaver", true);
    ASSERT_TRUE(spinUntil([&] { return sleeps == 1; }));
    // Said again, it is no new sleep.
    sendActiveChanged(saver, freedesktop, "org.freedesktop.ScreenSaver", true);
    sendActiveChanged(saver, freedesktop, "org.freedesktop.ScreenSaver", false);
    ASSERT_TRUE(spinUntil([&] { return wakes == 1; }));
    EXPECT_EQ(sleeps, 1);

    QDBusConnection shell = bus.connection(QStringLiteral("shell"));
    ASSERT_TRUE(shell.registerService(QString::fromLatin1(ScreenSaverSleepSource::kGnomeService)));
    ASSERT_TRUE(seenOnBus(client, ScreenSaverSleepSource::kGnomeService));
    sendActiveChanged(shell, ScreenSaverSleepSource::kGnomePath, "org.gnome.ScreenSaver", true);
    ASSERT_TRUE(spinUntil([&] { return sleeps == 2; }));

    // The same signal from anyone but the screen saver is nothing.
    QDBusConnection other = bus.connection(QStringLiteral("other"));
    sendActiveChanged(other, freedesktop, "org.freedesktop.ScreenSaver", false);
    spinFor(100);
    EXPECT_EQ(wakes, 1);
    sendActiveChanged(shell, ScreenSaverSleepSource::kGnomePath, "org.gnome.ScreenSaver", false);
    ASSERT_TRUE(spinUntil([&] { return wakes == 2; }));
    EXPECT_EQ(log.count(QStringLiteral("No screen saver")), 1);
}
