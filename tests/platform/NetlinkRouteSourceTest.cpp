#include "platform/NetlinkRouteSource.h"
#include "support/EventLoop.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <sched.h>
#include <thread>

using namespace larkfold::platform;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;

namespace {

// A network namespace of its own (only a loopback link, no routes), held by one thread: work
// handed to it, and programs it starts, see that namespace and nothing of the machine's.
class PrivateNetworkNamespace {
public:
    PrivateNetworkNamespace()
        : m_thread([this] { serve(); })
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_state != State::starting; });
    }
    ~PrivateNetworkNamespace()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    bool isReady() const { return m_state == State::ready; }

    // Runs `work` inside the namespace and returns its result.
    template <typename Work>
    auto run(Work work) -> decltype(work())
    {
        std::packaged_task<decltype(work())()> task(std::move(work));
        auto result = task.get_future();
        {
            std::lock_guard lock(m_mutex);
            m_work.push_back([&task] { task(); });
        }
        m_changed.notify_all();
        return result.get();
    }

    // Runs `ip` with these arguments inside the namespace; true when it succeeded.
    bool ip(const std::string& arguments)
    {
        const std::string command = ipProgram() + " " + arguments + " >/dev/null 2>&1";
        return run([&] { return std::system(command.c_str()) == 0; });
    }

    static std::string ipProgram()
    {
        return QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                                                     QStringLiteral("/usr/bin"), QStringLiteral("/bin")})
            .toStdString();
    }

private:
    enum class State { starting, ready, failed };

    void serve()
    {
        // Namespaces belong to a thread; this one changes only its own.
        const bool entered = ::unshare(CLONE_NEWNET) == 0;
        {
            std::lock_guard lock(m_mutex);
            m_state = entered ? State::ready : State::failed;
        }
        m_changed.notify_all();
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_work.empty(); });
            if (m_work.empty())
                return;
            auto work = std::move(m_work.front());
            m_work.pop_front();
            lock.unlock();
            work();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    State m_state = State::starting;
    bool m_stopping = false;
    std::deque<std::function<void()>> m_work;
    std::thread m_thread;
};

struct RouteSourceInNamespace {
    explicit RouteSourceInNamespace(PrivateNetworkNamespace& space)
    {
        QString reason;
        Descriptor socket = space.run([&] { return NetlinkRouteSource::openSocket(reason); });
        EXPECT_TRUE(socket.isOpen()) << reason.toStdString();
        source = std::make_unique<NetlinkRouteSource>(std::move(socket));
        QObject::connect(source.get(), &NetworkSource::networkBecameUsable, [this] { ++usable; });
    }
    std::unique_ptr<NetlinkRouteSource> source;
    int usable = 0;
};

#define REQUIRE_PRIVATE_NETWORK(space)                                                                       \
    if (PrivateNetworkNamespace::ipProgram().empty())                                                        \
        GTEST_SKIP() << "ip (iproute2) is not installed";                                                    \
    PrivateNetworkNamespace space;                                                                           \
    if (!space.isReady())                                                                                    \
        GTEST_SKIP() << "no network namespace of our own here (needs root)";

} // namespace

// Each step that must not report is followed by one that must, so a stray report shows in the count.
TEST(NetlinkRouteSource, ReportsEachDefaultRouteThatWasNotThereBefore)
{
    REQUIRE_PRIVATE_NETWORK(space);
    ASSERT_TRUE(space.ip("link set lo up"));
    RouteSourceInNamespace watch(space);
    ASSERT_TRUE(watch.source->isWatching());

    ASSERT_TRUE(space.ip("route add default dev lo"));
    ASSERT_TRUE(spinUntil([&] { return watch.usable == 1; }));

    ASSERT_TRUE(space.ip("route replace default dev lo"));
    ASSERT_TRUE(space.ip("route add 10.9.0.0/16 dev lo"));
    ASSERT_TRUE(space.ip("-6 route add default dev lo"));
    ASSERT_TRUE(spinUntil([&] { return watch.usable >= 2; }));
    EXPECT_EQ(watch.usable, 2);

    ASSERT_TRUE(space.ip("route del default"));
    ASSERT_TRUE(space.ip("route add default dev lo"));
    ASSERT_TRUE(spinUntil([&] { return watch.usable >= 3; }));
    EXPECT_EQ(watch.usable, 3);

    // The kernel drops the routes of a link going down without a word; the same route added
    // again after the link is back is a new one.
    ASSERT_TRUE(space.ip("link set lo down"));
    ASSERT_TRUE(space.ip("link set lo up"));
    ASSERT_TRUE(space.ip("route add default dev lo"));
    ASSERT_TRUE(spinUntil([&] { return watch.usable >= 4; }));
    spinFor(100);
    EXPECT_EQ(watch.usable, 4);
}

TEST(NetlinkRouteSource, ADefaultRouteAtStartIsTheFirstReport)
{
    REQUIRE_PRIVATE_NETWORK(space);
    ASSERT_TRUE(space.ip("link set lo up"));
    ASSERT_TRUE(space.ip("route add default dev lo"));
    ASSERT_TRUE(space.ip("-6 route add default dev lo"));
    RouteSourceInNamespace watch(space);
    ASSERT_TRUE(spinUntil([&] { return watch.usable == 1; }));
    ASSERT_TRUE(space.ip("route add 10.9.0.0/16 dev lo"));
    ASSERT_TRUE(space.ip("route add default dev lo metric 50"));
    ASSERT_TRUE(spinUntil([&] { return watch.usable >= 2; }));
    spinFor(100);
    EXPECT_EQ(watch.usable, 2);
}
