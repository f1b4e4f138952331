#include "platform/DBusCall.h"

#include <QDBusPendingCallWatcher>
#include <QMetaObject>
#include <QObject>

namespace larkfold::platform {

void whenFinished(const QDBusPendingCall& call, QObject* context,
                  std::function<void(const QDBusPendingCall&)> handler)
{
    if (call.isFinished()) {
        // A watcher on a call that never left would not fire.
        QMetaObject::invokeMethod(
            context, [call, handler = std::move(handler)] { handler(call); }, Qt::QueuedConnection);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         handler(*finished);
                     });
}

} // namespace larkfold::platform
