#include "platform/LinuxNotifier.h"

#include "org_freedesktop_notifications_interface.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>

namespace larkfold::platform {
namespace {

// Let the server decide how long a notification stays.
constexpr int kServerDefaultTimeout = -1;

} // namespace

LinuxNotifier::LinuxNotifier(const QDBusConnection& connection)
    : m_connection(connection)
    , m_server(std::make_unique<OrgFreedesktopNotificationsInterface>(
          QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath), m_connection))
{
}

LinuxNotifier::~LinuxNotifier() = default;

void LinuxNotifier::show(const Notification& notification, FailureHandler onFailure)
{
    const QVariantMap hints{
        {QStringLiteral("sound-name"), QString::fromLatin1(kSoundName)},
        {QString::fromLatin1(kIdentifierHint), notification.identifier},
    };
    // replaces_id 0: every notification is a new one, none replaces another on screen.
    QDBusPendingReply<uint> reply = m_server->Notify(QString::fromLatin1(kAppName), 0, QString::fromLatin1(kAppIconName),
                                                     notification.title, notification.body, {}, hints,
                                                     kServerDefaultTimeout);
    if (reply.isFinished()) {
        // A call that failed before it left (no bus) finishes at once, and a watcher would never fire.
        if (reply.isError() && onFailure)
            QMetaObject::invokeMethod(
                m_server.get(), [onFailure, reason = reply.error().message()] { onFailure(reason); },
                Qt::QueuedConnection);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(reply, m_server.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [onFailure = std::move(onFailure)](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         if (call->isError() && onFailure)
                             onFailure(call->error().message());
                     });
}

} // namespace larkfold::platform
