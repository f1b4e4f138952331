#include "platform/LogindWakeSource.h"
#include "support/EventLoop.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;

namespace {

void sendPrepareForSleep(QDBusConnection& connection, bool start)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                     QStringLiteral("org.freedesktop.login1.Manager"),
                                                     QStringLiteral("PrepareForSleep"));
    signal << start;
    ASSERT_TRUE(connection.send(signal));
}

} // namespace

// logind may start after us: the source is created before the name exists on the bus.
TEST(LogindWakeSource, WakesOnlyOnTheEndOfSleep)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    QDBusConnection client = bus.connection(QStringLiteral("client"));
    LogindWakeSource source(client);
    int wakes = 0;
    QObject::connect(&source, &WakeSource::woke, [&] { ++wakes; });

    QDBusConnection logind = bus.connection(QStringLiteral("logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    // A round trip on the client's connection: its match rules and name tracking are in place.
    ASSERT_TRUE(spinUntil([&] {
        return client.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")).value();
    }));
    spinFor(50);

    sendPrepareForSleep(logind, true);
    spinFor(100);
    EXPECT_EQ(wakes, 0);
    sendPrepareForSleep(logind, false);
    ASSERT_TRUE(spinUntil([&] { return wakes == 1; }));

    // The same signal from anyone but logind is no wake.
    QDBusConnection other = bus.connection(QStringLiteral("other"));
    sendPrepareForSleep(other, false);
    spinFor(100);
    EXPECT_EQ(wakes, 1);
}
