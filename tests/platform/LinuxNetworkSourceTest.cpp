#include "platform/LinuxNetworkSource.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/PrivateSessionBus.h"

#include <QDBusMessage>
#include <QPointer>

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::LogCapture;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;
using Backend = LinuxNetworkSource::Backend;

namespace {

constexpr uint kAsleep = 10;
constexpr uint kConnectedLocal = 50;
constexpr uint kConnectedGlobal = 70;

class FakeNetworkManagerObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint State MEMBER state)
public:
    uint state = kAsleep;
};

class FakeNetworkManager {
public:
    FakeNetworkManager(QDBusConnection connection, uint state)
        : m_connection(std::move(connection))
    {
        m_object.state = state;
        m_registered = m_connection.registerObject(QString::fromLatin1(LinuxNetworkSource::kObjectPath), &m_object,
                                                   QDBusConnection::ExportAllProperties)
                       && m_connection.registerService(QString::fromLatin1(LinuxNetworkSource::kServiceName));
    }
    ~FakeNetworkManager()
    {
        m_connection.unregisterService(QString::fromLatin1(LinuxNetworkSource::kServiceName));
        m_connection.unregisterObject(QString::fromLatin1(LinuxNetworkSource::kObjectPath));
    }
    bool isRegistered() const { return m_registered; }

    void changeState(uint state)
    {
        m_object.state = state;
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(LinuxNetworkSource::kObjectPath),
                                                         QStringLiteral("org.freedesktop.NetworkManager"),
                                                         QStringLiteral("StateChanged"));
        signal << state;
        ASSERT_TRUE(m_connection.send(signal));
    }

private:
    QDBusConnection m_connection;
    FakeNetworkManagerObject m_object;
    bool m_registered = false;
};

// Counts the usable reports of a source.
struct UsableCount {
    explicit UsableCount(NetworkSource& source)
    {
        QObject::connect(&source, &NetworkSource::networkBecameUsable, [this] { ++count; });
    }
    int count = 0;
};

} // namespace

TEST(LinuxNetworkSource, FollowsNetworkManagerWhileItIsThereAndTheFallbackOtherwise)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    LogCapture log;
    int fallbacksMade = 0;
    QPointer<FakeNetworkSource> fallback;
    LinuxNetworkSource source(bus.connection(QStringLiteral("client")), [&] {
        ++fallbacksMade;
        auto made = std::make_unique<FakeNetworkSource>();
        fallback = made.get();
        return made;
    });
    UsableCount usable(source);
    EXPECT_EQ(source.backend(), Backend::undecided);

    ASSERT_TRUE(spinUntil([&] { return source.backend() == Backend::fallback; }));
    EXPECT_EQ(fallbacksMade, 1);
    EXPECT_TRUE(log.contains(QStringLiteral("NetworkManager is not on the system bus")));
    ASSERT_TRUE(fallback);
    fallback->simulateUsable();
    EXPECT_EQ(usable.count, 1);

    auto networkManager = std::make_unique<FakeNetworkManager>(bus.connection(QStringLiteral("nm")), kConnectedLocal);
    ASSERT_TRUE(networkManager->isRegistered());
    ASSERT_TRUE(spinUntil([&] { return source.backend() == Backend::networkManager; }));
    EXPECT_FALSE(fallback) << "the fallback goes while NetworkManager speaks";

    // Only a change into connected-global counts.
    for (uint state : {kConnectedGlobal, kConnectedGlobal, kConnectedLocal, kAsleep, kConnectedGlobal})
        networkManager->changeState(state);
    ASSERT_TRUE(spinUntil([&] { return usable.count == 3; }));
    spinFor(100);
    EXPECT_EQ(usable.count, 3);

    networkManager.reset();
    ASSERT_TRUE(spinUntil([&] { return source.backend() == Backend::fallback; }));
    EXPECT_EQ(fallbacksMade, 2);
    ASSERT_TRUE(fallback);
    fallback->simulateUsable();
    EXPECT_EQ(usable.count, 4);
    EXPECT_EQ(log.count(QStringLiteral("NetworkManager is not on the system bus")), 1);
}

TEST(LinuxNetworkSource, AConnectedNetworkAtStartIsTheFirstReport)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeNetworkManager networkManager(bus.connection(QStringLiteral("nm")), kConnectedGlobal);
    ASSERT_TRUE(networkManager.isRegistered());
    int fallbacksMade = 0;
    LinuxNetworkSource source(bus.connection(QStringLiteral("client")), [&] {
        ++fallbacksMade;
        return std::make_unique<FakeNetworkSource>();
    });
    UsableCount usable(source);
    ASSERT_TRUE(spinUntil([&] { return usable.count == 1; }));
    EXPECT_EQ(source.backend(), Backend::networkManager);
    networkManager.changeState(kConnectedGlobal);
    spinFor(100);
    EXPECT_EQ(usable.count, 1);
    EXPECT_EQ(fallbacksMade, 0);
}

#include "LinuxNetworkSourceTest.moc"
