#include "support/FakeStatusNotifierWatcher.h"

#include "support/EventLoop.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

#include <mutex>

namespace larkfold::test {

namespace {

const QString kDefaultItemPath = QStringLiteral("/StatusNotifierItem");
constexpr int kProtocolVersion = 0;

} // namespace

class StatusNotifierWatcherService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit StatusNotifierWatcherService(const QDBusConnection& connection)
        : m_owners(new QDBusServiceWatcher(this))
    {
        m_owners->setConnection(connection);
        m_owners->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(m_owners, &QDBusServiceWatcher::serviceUnregistered, this,
                &StatusNotifierWatcherService::dropService);
    }

    QStringList items() const
    {
        std::lock_guard lock(m_mutex);
        return m_items;
    }
    QStringList hosts() const
    {
        std::lock_guard lock(m_mutex);
        return m_hosts;
    }
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return kProtocolVersion; }

public slots:
    void RegisterStatusNotifierItem(const QString& serviceOrPath)
    {
        // An item may name its bus name (its path is then the default one) or only its path.
        const bool isPath = serviceOrPath.startsWith(u'/');
        const QString service = isPath ? message().service() : serviceOrPath;
        const QString item = service + (isPath ? serviceOrPath : kDefaultItemPath);
        {
            std::lock_guard lock(m_mutex);
            if (m_items.contains(item))
                return;
            m_items.append(item);
        }
        m_owners->addWatchedService(service);
        emit StatusNotifierItemRegistered(item);
    }

    void RegisterStatusNotifierHost(const QString& service)
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_hosts.contains(service))
                m_hosts.append(service);
        }
        emit StatusNotifierHostRegistered();
    }

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    void dropService(const QString& service)
    {
        QStringList gone;
        {
            std::lock_guard lock(m_mutex);
            for (const QString& item : std::as_const(m_items))
                if (item.startsWith(service + u'/'))
                    gone.append(item);
            for (const QString& item : std::as_const(gone))
                m_items.removeAll(item);
            m_hosts.removeAll(service);
        }
        m_owners->removeWatchedService(service);
        for (const QString& item : std::as_const(gone))
            emit StatusNotifierItemUnregistered(item);
    }

    QDBusServiceWatcher* m_owners;
    mutable std::mutex m_mutex;
    QStringList m_items;
    QStringList m_hosts;
};

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(const QString& busAddress)
    : m_connectionName(QStringLiteral("status-notifier-watcher@") + busAddress)
{
    QDBusConnection connection = QDBusConnection::connectToBus(busAddress, m_connectionName);
    if (!connection.isConnected())
        return;
    m_service = new StatusNotifierWatcherService(connection);
    // Registered before it moves: the registration gives it children of this thread.
    const bool exported = connection.registerObject(QString::fromLatin1(kObjectPath), m_service,
                                                    QDBusConnection::ExportAllSlots
                                                        | QDBusConnection::ExportAllSignals
                                                        | QDBusConnection::ExportAllProperties);
    m_service->moveToThread(&m_thread);
    // Deleted in its own thread as that ends, where QtDBus expects its signals.
    QObject::connect(&m_thread, &QThread::finished, m_service, &QObject::deleteLater);
    m_thread.start();
    m_registered = exported && connection.registerService(QString::fromLatin1(kServiceName));
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher()
{
    if (m_service) {
        QDBusConnection connection(m_connectionName);
        connection.unregisterService(QString::fromLatin1(kServiceName));
        connection.unregisterObject(QString::fromLatin1(kObjectPath));
        m_thread.quit();
        m_thread.wait();
    }
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QStringList FakeStatusNotifierWatcher::items() const
{
    return m_service ? m_service->items() : QStringList();
}

QStringList FakeStatusNotifierWatcher::hosts() const
{
    return m_service ? m_service->hosts() : QStringList();
}

QString FakeStatusNotifierWatcher::waitForItem(int timeoutMs) const
{
    spinUntil([&] { return !items().isEmpty(); }, timeoutMs);
    const QStringList current = items();
    return current.isEmpty() ? QString() : current.last();
}

} // namespace larkfold::test

#include "FakeStatusNotifierWatcher.moc"
