#include "platform/LinuxNetworkSource.h"
#include "support/EventLoop.h"
#include "support/FakeDesktopServices.h"
#include "support/LogCapture.h"
#include "support/PrivateSessionBus.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::FakeNetworkManager;
using larkfold::test::LogCapture;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;
using Backend = LinuxNetworkSource::Backend;

namespace {

constexpr uint kAsleep = larkfold::test::kNetworkAsleep;
constexpr uint kConnectedLocal = larkfold::test::kNetworkConnectedLocal;
constexpr uint kConnectedGlobal = larkfold::test::kNetworkConnectedGlobal;

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
