#pragma once

#include "platform/AppIdentity.h"
#include "platform/Notifier.h"

#include <QDBusConnection>

#include <memory>

class OrgFreedesktopNotificationsInterface;

namespace larkfold::platform {

// Notifications through the desktop's org.freedesktop.Notifications server on the session bus.
class LinuxNotifier final : public Notifier {
public:
    static constexpr const char* kServiceName = "org.freedesktop.Notifications";
    static constexpr const char* kObjectPath = "/org/freedesktop/Notifications";
    static constexpr const char* kAppName = "Larkfold";
    static constexpr const char* kSoundName = "message-new-instant";
    // Carries the request identifier, which the protocol has no field for.
    static constexpr const char* kIdentifierHint = "x-larkfold-identifier";

    // `appIcon`: the application's icon as the server should find it, by default its name in the
    // icon theme when installed there.
    explicit LinuxNotifier(const QDBusConnection& connection = QDBusConnection::sessionBus(),
                           QString appIcon = iconReference(QString::fromLatin1(kApplicationId), IconContext::apps).nameOrFile());
    ~LinuxNotifier() override;

    void show(const Notification& notification, FailureHandler onFailure) override;
    // Asks the server for its GetServerInformation.
    void checkServer(ServerCheckHandler onAnswer) override;

private:
    QDBusConnection m_connection;
    QString m_appIcon;
    std::unique_ptr<OrgFreedesktopNotificationsInterface> m_server;
};

} // namespace larkfold::platform
