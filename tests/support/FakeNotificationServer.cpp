#include "support/FakeNotificationServer.h"

namespace larkfold::test {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

FakeNotificationServer::FakeNotificationServer(QDBusConnection connection)
    : m_connection(std::move(connection))
{
    m_registered = m_connection.registerObject(kPath, this, QDBusConnection::ExportAllSlots)
                   && m_connection.registerService(kService);
}

FakeNotificationServer::~FakeNotificationServer()
{
    m_connection.unregisterService(kService);
    m_connection.unregisterObject(kPath);
}

uint FakeNotificationServer::Notify(const QString& appName, uint replacesId, const QString& appIcon,
                                    const QString& summary, const QString& body, const QStringList& actions,
                                    const QVariantMap& hints, int expireTimeout)
{
    m_calls.push_back({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
    return m_nextId++;
}

QString FakeNotificationServer::GetServerInformation(QString& vendor, QString& version, QString& specVersion)
{
    vendor = QStringLiteral("Larkfold Tests");
    version = QStringLiteral("1.0");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("Fake Notifications");
}

} // namespace larkfold::test
