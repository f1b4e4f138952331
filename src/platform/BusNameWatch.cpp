#include "platform/BusNameWatch.h"

#include "platform/DBusCall.h"

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace larkfold::platform {

BusNameWatch::BusNameWatch(const QDBusConnection& connection, const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name)
    , m_watcher(new QDBusServiceWatcher(name, connection, QDBusServiceWatcher::WatchForOwnerChange, this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { setPresent(!newOwner.isEmpty()); });
    // Asked after the watcher is in place, so no change can fall between the answer and the watch.
    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("/org/freedesktop/DBus"),
                                                      QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("NameHasOwner"));
    ask << name;
    whenFinished(connection.asyncCall(ask), this, [this](const QDBusPendingCall& call) {
        const QDBusPendingReply<bool> reply = call;
        setPresent(!reply.isError() && reply.value());
    });
}

void BusNameWatch::setPresent(bool present)
{
    if (m_present == present)
        return;
    m_present = present;
    emit presenceChanged(present);
}

} // namespace larkfold::platform
