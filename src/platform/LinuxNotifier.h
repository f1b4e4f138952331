#pragma once

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
    // The application's icon in the desktop's icon theme.
    static constexpr const char* kAppIconName = "larkfold";
    static constexpr const char* kSoundName = "message-new-instant";
    // Carries the request identifier, which the protocol has no field for.
    static constexpr const char* kIdentifierHint = "x-larkfold-identifier";

    explicit LinuxNotifier(const QDBusConnection& connection = QDBusConnection::sessionBus());
    ~LinuxNotifier() override;

    void show(const Notification& notification, FailureHandler onFailure) override;
    // Asks the server for its GetServerInformation.
    void checkServer(ServerCheckHandler onAnswer) override;

private:
    QDBusConnection m_connection;
    std::unique_ptr<OrgFreedesktopNotificationsInterface> m_server;
};

} // namespace larkfold::platform
