#include "platform/LogindSessionActivitySource.h"

#include "platform/BusNameWatch.h"
#include "platform/DBusCall.h"
#include "platform/Log.h"

#include "org_freedesktop_dbus_properties_interface.h"
#include "org_freedesktop_login1_manager_interface.h"
#include "org_freedesktop_login1_session_interface.h"

#include <QDBusObjectPath>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <unistd.h>

namespace larkfold::platform {
namespace {

const QString kActiveProperty = QStringLiteral("Active");

} // namespace

LogindSessionActivitySource::LogindSessionActivitySource(const QDBusConnection& connection, QObject* parent)
    : SessionActivitySource(parent)
    , m_connection(connection)
    , m_logind(new BusNameWatch(connection, QString::fromLatin1(kServiceName), this))
    , m_manager(std::make_unique<OrgFreedesktopLogin1ManagerInterface>(
          QString::fromLatin1(kServiceName), QString::fromLatin1(kManagerPath), connection))
{
    connect(m_logind, &BusNameWatch::presenceChanged, this, &LogindSessionActivitySource::logindPresenceChanged);
}

LogindSessionActivitySource::~LogindSessionActivitySource() = default;

QString LogindSessionActivitySource::sessionPath() const
{
    return m_session ? m_session->path() : QString();
}

void LogindSessionActivitySource::logindPresenceChanged(bool present)
{
    ++m_lookup; // answers to an earlier lookup no longer count
    m_session.reset();
    m_sessionProperties.reset();
    m_active.reset();
    if (present)
        findSession();
    else
        logOnce(QStringLiteral("systemd-logind is not on the system bus"));
}

void LogindSessionActivitySource::findSession()
{
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    if (id.isEmpty()) {
        findSessionByProcess();
        return;
    }
    whenFinished(m_manager->GetSession(id), this, [this, lookup = m_lookup](const QDBusPendingCall& call) {
        if (lookup != m_lookup)
            return;
        const QDBusPendingReply<QDBusObjectPath> reply = call;
        if (reply.isError())
            findSessionByProcess(); // a stale XDG_SESSION_ID; the process may still belong to one
        else
            watchSession(reply.value().path());
    });
}

void LogindSessionActivitySource::findSessionByProcess()
{
    whenFinished(m_manager->GetSessionByPID(uint(::getpid())), this, [this, lookup = m_lookup](const QDBusPendingCall& call) {
        if (lookup != m_lookup)
            return;
        const QDBusPendingReply<QDBusObjectPath> reply = call;
        if (reply.isError())
            logOnce(QStringLiteral("this process belongs to no login session (%1)").arg(reply.error().message()));
        else
            watchSession(reply.value().path());
    });
}

void LogindSessionActivitySource::watchSession(const QString& path)
{
    const QString service = QString::fromLatin1(kServiceName);
    m_session = std::make_unique<OrgFreedesktopLogin1SessionInterface>(service, path, m_connection);
    m_sessionProperties = std::make_unique<OrgFreedesktopDBusPropertiesInterface>(service, path, m_connection);
    connect(m_session.get(), &OrgFreedesktopLogin1SessionInterface::Lock, this,
            &LogindSessionActivitySource::sessionDidResignActive);
    connect(m_sessionProperties.get(), &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged, this,
            &LogindSessionActivitySource::sessionPropertiesChanged);
}

void LogindSessionActivitySource::sessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                           const QStringList& invalidated)
{
    if (interface != QString::fromLatin1(OrgFreedesktopLogin1SessionInterface::staticInterfaceName()))
        return;
    if (const auto value = changed.constFind(kActiveProperty); value != changed.constEnd()) {
        activeChanged(value->toBool());
        return;
    }
    if (!invalidated.contains(kActiveProperty) || !m_sessionProperties)
        return;
    // Told only that it changed: ask for the new value.
    whenFinished(m_sessionProperties->Get(interface, kActiveProperty), this, [this](const QDBusPendingCall& call) {
        const QDBusPendingReply<QDBusVariant> reply = call;
        if (!reply.isError())
            activeChanged(reply.value().variant().toBool());
    });
}

void LogindSessionActivitySource::activeChanged(bool active)
{
    const bool resigned = !active && m_active != false;
    m_active = active;
    if (resigned)
        emit sessionDidResignActive();
}

void LogindSessionActivitySource::logOnce(const QString& message)
{
    if (m_logged)
        return;
    m_logged = true;
    qCInfo(lcApp).noquote() << "Session locking is not seen:" << message;
}

} // namespace larkfold::platform
