#include "platform/SingleInstance.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/PrivateSessionBus.h"
#include "support/TempTree.h"

#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sys/stat.h>

using namespace larkfold::platform;
using larkfold::test::LogCapture;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinUntil;
using larkfold::test::TempDir;
using namespace std::chrono_literals;

namespace {

// The running instance answers from this thread's event loop, so the second launch asks from another.
bool askFromAnotherThread(const QDBusConnection& bus, QString& reason)
{
    auto asked = std::async(std::launch::async, [&] { return SingleInstance::askRunningInstanceToShowPopover(reason, bus); });
    EXPECT_TRUE(spinUntil([&] { return asked.wait_for(0s) == std::future_status::ready; }, 20000));
    return asked.get();
}

} // namespace

TEST(SingleInstance, ASecondLaunchFindsTheGuardTakenAndRaisesTheFirstOnesPopover)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    TempDir data;
    const QDBusConnection secondBus = bus.connection(QStringLiteral("second"));

    QString reason;
    EXPECT_FALSE(askFromAnotherThread(secondBus, reason)) << "nobody runs yet";
    EXPECT_FALSE(reason.isEmpty());

    SingleInstance first(bus.connection(QStringLiteral("first")));
    ASSERT_TRUE(first.acquire(data / "larkfold.lock", reason)) << reason.toStdString();
    int requests = 0;
    QObject::connect(&first, &SingleInstance::showPopoverRequested, [&] { ++requests; });

    SingleInstance second(secondBus);
    reason.clear();
    EXPECT_FALSE(second.acquire(data / "larkfold.lock", reason));
    EXPECT_EQ(reason, QStringLiteral("Larkfold is already running."));
    EXPECT_TRUE(second.anotherInstanceIsRunning());

    ASSERT_TRUE(askFromAnotherThread(secondBus, reason)) << reason.toStdString();
    EXPECT_EQ(requests, 1);
}

// Any process may own our bus name; only the lock file says whether Larkfold runs.
TEST(SingleInstance, ABusNameHeldByAnotherProcessOnlyCostsTheService)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    TempDir data;
    QDBusConnection squatter = bus.connection(QStringLiteral("squatter"));
    ASSERT_TRUE(squatter.registerService(QString::fromLatin1(SingleInstance::kBusName)));

    LogCapture log;
    SingleInstance first(bus.connection(QStringLiteral("first")));
    QString reason;
    ASSERT_TRUE(first.acquire(data / "larkfold.lock", reason)) << reason.toStdString();
    EXPECT_FALSE(first.anotherInstanceIsRunning());
    EXPECT_EQ(log.count(QStringLiteral("The session-bus name io.larkfold.Larkfold is taken by another process"), "App"), 1);
    EXPECT_EQ(squatter.interface()->serviceOwner(QString::fromLatin1(SingleInstance::kBusName)).value(),
              squatter.baseService());
    int requests = 0;
    QObject::connect(&first, &SingleInstance::showPopoverRequested, [&] { ++requests; });

    // The lock still keeps a second launch out.
    const QDBusConnection secondBus = bus.connection(QStringLiteral("second"));
    SingleInstance second(secondBus);
    EXPECT_FALSE(second.acquire(data / "larkfold.lock", reason));
    EXPECT_TRUE(second.anotherInstanceIsRunning());
    EXPECT_FALSE(askFromAnotherThread(secondBus, reason));
    EXPECT_EQ(requests, 0);
}

// The lock is the first file of ours: its folder is created private, and the lock is the
// user's alone, also one an older version left open to others.
TEST(SingleInstance, TheLockAndItsFolderAreTheUsersAlone)
{
    TempDir home;
    const mode_t previous = ::umask(022);
    const std::filesystem::path lock = home / "share/Larkfold/larkfold.lock";
    for (const char* round : {"created", "left open"}) {
        SCOPED_TRACE(round);
        SingleInstance instance(QDBusConnection(QStringLiteral("none")));
        QString reason;
        ASSERT_TRUE(instance.acquire(lock, reason)) << reason.toStdString();
        struct stat folder {}, file {};
        ASSERT_EQ(::stat(lock.parent_path().c_str(), &folder), 0);
        ASSERT_EQ(::stat(lock.c_str(), &file), 0);
        EXPECT_EQ(folder.st_mode & 07777, 0700u);
        EXPECT_EQ(file.st_mode & 07777, 0600u);
        ::chmod(lock.parent_path().c_str(), 0755);
        ::chmod(lock.c_str(), 0644);
    }
    ::umask(previous);
}

TEST(SingleInstance, WorksWithoutASessionBus)
{
    TempDir data;
    const QDBusConnection noBus =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/larkfold-no-bus"), QStringLiteral("none"));
    SingleInstance instance(noBus);
    QString reason;
    EXPECT_TRUE(instance.acquire(data / "larkfold.lock", reason)) << reason.toStdString();

    SingleInstance second(noBus);
    EXPECT_FALSE(second.acquire(data / "larkfold.lock", reason));
    EXPECT_TRUE(second.anotherInstanceIsRunning());
    EXPECT_FALSE(SingleInstance::askRunningInstanceToShowPopover(reason, noBus));
    EXPECT_FALSE(reason.isEmpty());
}
