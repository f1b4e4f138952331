#include "support/FakeDesktopServices.h"

#include <QDBusMessage>

namespace larkfold::test {
namespace {

const QString kNetworkManagerService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");

bool emitBusSignal(QDBusConnection& connection, const QString& path, const QString& interface, const QString& name,
                   const QVariant& argument)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal << argument;
    return connection.send(signal);
}

} // namespace

FakeNetworkManager::FakeNetworkManager(QDBusConnection connection, uint state)
    : m_connection(std::move(connection)), m_state(state)
{
    m_registered = m_connection.registerObject(kNetworkManagerPath, this, QDBusConnection::ExportAllProperties)
                   && m_connection.registerService(kNetworkManagerService);
}

FakeNetworkManager::~FakeNetworkManager()
{
    m_connection.unregisterService(kNetworkManagerService);
    m_connection.unregisterObject(kNetworkManagerPath);
}

void FakeNetworkManager::changeState(uint state)
{
    m_state = state;
    emitBusSignal(m_connection, kNetworkManagerPath, kNetworkManagerService, QStringLiteral("StateChanged"), state);
}

FakeBusService::FakeBusService(QDBusConnection connection, QString service)
    : m_connection(std::move(connection)), m_service(std::move(service))
{
    m_registered = m_connection.registerService(m_service);
}

FakeBusService::~FakeBusService()
{
    m_connection.unregisterService(m_service);
}

void FakeBusService::sendSignal(const QString& path, const QString& interface, const QString& name,
                                const QVariant& argument)
{
    emitBusSignal(m_connection, path, interface, name, argument);
}

FakeLogind::FakeLogind(QDBusConnection connection)
    : FakeBusService(std::move(connection), QStringLiteral("org.freedesktop.login1"))
{
}

void FakeLogind::sleepAndWake()
{
    for (bool start : {true, false})
        sendSignal(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
                   QStringLiteral("PrepareForSleep"), start);
}

FakeScreenSaver::FakeScreenSaver(QDBusConnection connection)
    : FakeBusService(std::move(connection), QStringLiteral("org.freedesktop.ScreenSaver"))
{
}

void FakeScreenSaver::setActive(bool active)
{
    sendSignal(QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
               QStringLiteral("ActiveChanged"), active);
}

FakeFileManager::FakeFileManager(QDBusConnection connection)
    : m_connection(std::move(connection))
{
    m_registered = m_connection.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), this,
                                               QDBusConnection::ExportAllSlots)
                   && m_connection.registerService(QStringLiteral("org.freedesktop.FileManager1"));
}

FakeFileManager::~FakeFileManager()
{
    m_connection.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    m_connection.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
}

void FakeFileManager::ShowFolders(const QStringList& uris, const QString&)
{
    for (const QString& uri : uris)
        m_calls.append(QStringLiteral("ShowFolders ") + uri);
}

void FakeFileManager::ShowItems(const QStringList& uris, const QString&)
{
    for (const QString& uri : uris)
        m_calls.append(QStringLiteral("ShowItems ") + uri);
}

} // namespace larkfold::test
