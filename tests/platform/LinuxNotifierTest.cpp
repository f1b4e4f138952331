#include "platform/LinuxNotifier.h"
#include "support/EventLoop.h"
#include "support/FakeNotificationServer.h"
#include "support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace larkfold::platform;
using larkfold::test::FakeNotificationServer;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;

TEST(LinuxNotifier, SendsEachNotificationAsANewOneWithIconSoundAndIdentifier)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeNotificationServer server(bus.connection(QStringLiteral("server")));
    ASSERT_TRUE(server.isRegistered());

    LinuxNotifier notifier(bus.connection(QStringLiteral("client")), QStringLiteral("io.larkfold.Larkfold"));
    int failures = 0;
    notifier.show({QStringLiteral("error-1"), QStringLiteral("Backup Problem"), QStringLiteral("Photos — gone")},
                  [&](const QString&) { ++failures; });
    notifier.show({QStringLiteral("error-2"), QStringLiteral("Backup Problem"), QStringLiteral("Photos — again")},
                  [&](const QString&) { ++failures; });
    ASSERT_TRUE(spinUntil([&] { return server.calls().size() == 2; }));

    const FakeNotificationServer::Call& first = server.calls()[0];
    EXPECT_EQ(first.appName, QStringLiteral("Larkfold"));
    EXPECT_EQ(first.appIcon, QStringLiteral("io.larkfold.Larkfold"));
    EXPECT_EQ(first.summary, QStringLiteral("Backup Problem"));
    EXPECT_EQ(first.body, QStringLiteral("Photos — gone"));
    EXPECT_TRUE(first.actions.isEmpty());
    EXPECT_EQ(first.expireTimeout, -1);
    EXPECT_EQ(first.hints.value(QStringLiteral("sound-name")).toString(), QStringLiteral("message-new-instant"));
    EXPECT_EQ(first.hints.value(QStringLiteral("x-larkfold-identifier")).toString(), QStringLiteral("error-1"));
    EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("io.larkfold.Larkfold"));
    for (const auto& call : server.calls())
        EXPECT_EQ(call.replacesId, 0u);
    EXPECT_EQ(server.calls()[1].body, QStringLiteral("Photos — again"));
    spinFor(50);
    EXPECT_EQ(failures, 0);
}

// A pair's name comes from a folder name that whoever prepared the drive chose.
TEST(LinuxNotifier, BodyMarkupIsSentAsTextAndTheSummaryAsItIs)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeNotificationServer server(bus.connection(QStringLiteral("server")));
    ASSERT_TRUE(server.isRegistered());

    LinuxNotifier notifier(bus.connection(QStringLiteral("client")));
    notifier.show({QStringLiteral("error-1"), QStringLiteral("Backup Trash Using <1 & more>"),
                   QStringLiteral("<b>Docs</b> <a href=\"https://example.invalid\">Click to fix</a> — R&D &amp; \"Q's\"")},
                  {});
    ASSERT_TRUE(spinUntil([&] { return server.calls().size() == 1; }));
    EXPECT_EQ(server.calls()[0].body,
              QStringLiteral("&lt;b&gt;Docs&lt;/b&gt; &lt;a href=\"https://example.invalid\"&gt;Click to fix&lt;/a&gt; — "
                             "R&amp;D &amp;amp; \"Q's\""));
    // The summary is plain text to the server: escaping it would show the entities.
    EXPECT_EQ(server.calls()[0].summary, QStringLiteral("Backup Trash Using <1 & more>"));
}

TEST(LinuxNotifier, FindsTheNotificationServerOnTheBus)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeNotificationServer server(bus.connection(QStringLiteral("server")));
    ASSERT_TRUE(server.isRegistered());

    LinuxNotifier notifier(bus.connection(QStringLiteral("client")));
    std::optional<NotificationServerCheck> check;
    notifier.checkServer([&](const NotificationServerCheck& answer) { check = answer; });
    ASSERT_TRUE(spinUntil([&] { return check.has_value(); }));
    ASSERT_TRUE(check->server.has_value());
    EXPECT_EQ(check->server->name, QStringLiteral("Fake Notifications"));
    EXPECT_EQ(check->server->vendor, QStringLiteral("Larkfold Tests"));
    EXPECT_EQ(check->server->version, QStringLiteral("1.0"));
    EXPECT_EQ(check->server->specVersion, QStringLiteral("1.2"));
}

TEST(LinuxNotifier, ReportsEachFailureOnceWithoutServerOrBus)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    const QDBusConnection noBus =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/larkfold-no-bus"), QStringLiteral("none"));
    struct Case {
        const char* name;
        QDBusConnection connection;
    };
    for (const Case& c : {Case{"bus without server", bus.connection(QStringLiteral("client"))}, Case{"no bus", noBus}}) {
        SCOPED_TRACE(c.name);
        LinuxNotifier notifier(c.connection);
        std::vector<QString> reasons;
        notifier.show({QStringLiteral("backup-1"), QStringLiteral("Backup Complete"), QStringLiteral("x")},
                      [&](const QString& reason) { reasons.push_back(reason); });
        ASSERT_TRUE(spinUntil([&] { return !reasons.empty(); }));
        spinFor(50);
        ASSERT_EQ(reasons.size(), 1u);
        EXPECT_FALSE(reasons.front().isEmpty());

        std::vector<NotificationServerCheck> checks;
        notifier.checkServer([&](const NotificationServerCheck& check) { checks.push_back(check); });
        EXPECT_TRUE(checks.empty()) << "answered inside the call";
        ASSERT_TRUE(spinUntil([&] { return !checks.empty(); }));
        spinFor(50);
        ASSERT_EQ(checks.size(), 1u);
        EXPECT_FALSE(checks.front().server.has_value());
        EXPECT_FALSE(checks.front().reason.isEmpty());
    }
}
