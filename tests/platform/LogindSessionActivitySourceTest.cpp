#include "platform/LogindSessionActivitySource.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/PrivateSessionBus.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace larkfold::platform;
using larkfold::test::LogCapture;
using larkfold::test::PrivateSessionBus;
using larkfold::test::spinFor;
using larkfold::test::spinUntil;

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kSessionThree = QStringLiteral("/org/freedesktop/login1/session/_33");
const QString kSessionOfThisProcess = QStringLiteral("/org/freedesktop/login1/session/c1");

// logind's manager: session "3" exists, and this process belongs to session "c1" unless told not to.
class FakeLogindManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    bool knowsThisProcess = true;
    int sessionByProcessLookups = 0;
public slots:
    QDBusObjectPath GetSession(const QString& id)
    {
        if (id == QStringLiteral("3"))
            return QDBusObjectPath(kSessionThree);
        sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), QStringLiteral("No such session"));
        return {};
    }
    QDBusObjectPath GetSessionByPID(uint pid)
    {
        ++sessionByProcessLookups;
        if (knowsThisProcess && pid == uint(::getpid()))
            return QDBusObjectPath(kSessionOfThisProcess);
        sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSessionForPID"), QStringLiteral("No session"));
        return {};
    }
};

// The session of this process, for a Get of Active.
class FakeLogindSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool Active MEMBER active)
public:
    bool active = true;
};

class FakeLogind {
public:
    explicit FakeLogind(QDBusConnection connection, bool knowsThisProcess = true)
        : m_connection(std::move(connection))
    {
        m_manager.knowsThisProcess = knowsThisProcess;
        m_registered = m_connection.registerObject(QStringLiteral("/org/freedesktop/login1"), &m_manager,
                                                   QDBusConnection::ExportAllSlots)
                       && m_connection.registerObject(kSessionOfThisProcess, &m_session,
                                                      QDBusConnection::ExportAllProperties)
                       && m_connection.registerService(kLogind);
    }
    ~FakeLogind() { m_connection.unregisterService(kLogind); }
    bool isRegistered() const { return m_registered; }
    FakeLogindSession& session() { return m_session; }
    int sessionByProcessLookups() const { return m_manager.sessionByProcessLookups; }
    void restart()
    {
        m_connection.unregisterService(kLogind);
        m_connection.registerService(kLogind);
    }

    void sendLock(const QString& session)
    {
        ASSERT_TRUE(m_connection.send(QDBusMessage::createSignal(session, kSessionInterface, QStringLiteral("Lock"))));
    }
    void sendActive(const QString& session, bool active)
    {
        sendPropertiesChanged(session, {{QStringLiteral("Active"), active}}, {});
    }
    // Active told only as changed: the source then asks the session for it.
    void sendActiveInvalidated(const QString& session)
    {
        sendPropertiesChanged(session, {}, {QStringLiteral("Active")});
    }

private:
    void sendPropertiesChanged(const QString& session, const QVariantMap& changed, const QStringList& invalidated)
    {
        QDBusMessage signal = QDBusMessage::createSignal(session, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << kSessionInterface << changed << invalidated;
        ASSERT_TRUE(m_connection.send(signal));
    }

    QDBusConnection m_connection;
    FakeLogindManager m_manager;
    FakeLogindSession m_session;
    bool m_registered = false;
};

} // namespace

// logind may come after us: the source exists before the name is on the bus.
TEST(LogindSessionActivitySource, FindsItsSessionByIdElseByProcessOnceLogindIsThere)
{
    struct Case {
        const char* sessionId; // XDG_SESSION_ID; null: unset
        QString expected;
    };
    const Case cases[] = {
        {"3", kSessionThree},
        {nullptr, kSessionOfThisProcess},
        {"99", kSessionOfThisProcess}, // a stale id
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sessionId ? c.sessionId : "unset");
        if (c.sessionId)
            setenv("XDG_SESSION_ID", c.sessionId, 1);
        else
            unsetenv("XDG_SESSION_ID");
        PrivateSessionBus bus;
        ASSERT_TRUE(bus.isRunning());
        LogCapture log;
        LogindSessionActivitySource source(bus.connection(QStringLiteral("client")));
        EXPECT_TRUE(spinUntil([&] { return log.contains(QStringLiteral("systemd-logind is not on the system bus")); }));
        EXPECT_TRUE(source.sessionPath().isEmpty());

        FakeLogind logind(bus.connection(QStringLiteral("logind")));
        ASSERT_TRUE(logind.isRegistered());
        EXPECT_TRUE(spinUntil([&] { return source.sessionPath() == c.expected; }));
    }
    unsetenv("XDG_SESSION_ID");
}

TEST(LogindSessionActivitySource, ResignsActiveWhenItsSessionLocksOrTurnsInactive)
{
    unsetenv("XDG_SESSION_ID");
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeLogind logind(bus.connection(QStringLiteral("logind")));
    ASSERT_TRUE(logind.isRegistered());
    LogindSessionActivitySource source(bus.connection(QStringLiteral("client")));
    int resigned = 0;
    QObject::connect(&source, &SessionActivitySource::sessionDidResignActive, [&] { ++resigned; });
    ASSERT_TRUE(spinUntil([&] { return !source.sessionPath().isEmpty(); }));

    logind.sendLock(kSessionOfThisProcess);
    ASSERT_TRUE(spinUntil([&] { return resigned == 1; }));
    logind.sendActive(kSessionOfThisProcess, false);
    ASSERT_TRUE(spinUntil([&] { return resigned == 2; }));
    // Only a change into inactive counts, and only of this session.
    logind.sendActive(kSessionOfThisProcess, false);
    logind.sendActive(kSessionOfThisProcess, true);
    logind.sendActive(kSessionThree, false);
    logind.sendLock(kSessionThree);
    spinFor(100);
    EXPECT_EQ(resigned, 2);
    logind.sendActive(kSessionOfThisProcess, false);
    ASSERT_TRUE(spinUntil([&] { return resigned == 3; }));

    logind.sendActive(kSessionOfThisProcess, true);
    logind.session().active = false;
    logind.sendActiveInvalidated(kSessionOfThisProcess);
    ASSERT_TRUE(spinUntil([&] { return resigned == 4; }));
}

TEST(LogindSessionActivitySource, WithoutASessionOfItsOwnItSaysSoOnce)
{
    unsetenv("XDG_SESSION_ID");
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    LogCapture log;
    FakeLogind logind(bus.connection(QStringLiteral("logind")), false);
    ASSERT_TRUE(logind.isRegistered());
    LogindSessionActivitySource source(bus.connection(QStringLiteral("client")));
    ASSERT_TRUE(spinUntil([&] { return log.contains(QStringLiteral("belongs to no login session")); }));

    // logind starting again brings a new lookup, which fails the same way.
    logind.restart();
    ASSERT_TRUE(spinUntil([&] { return logind.sessionByProcessLookups() == 2; }));
    spinFor(100);
    EXPECT_EQ(log.count(QStringLiteral("Session locking is not seen")), 1);
    EXPECT_TRUE(source.sessionPath().isEmpty());
}

#include "LogindSessionActivitySourceTest.moc"
