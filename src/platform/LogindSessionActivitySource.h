#pragma once

#include "platform/SessionActivitySource.h"

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <optional>

class OrgFreedesktopDBusPropertiesInterface;
class OrgFreedesktopLogin1ManagerInterface;
class OrgFreedesktopLogin1SessionInterface;

namespace larkfold::platform {

class BusNameWatch;

// The session resigns active when systemd-logind's object for this login session sends Lock, or
// its Active property turns false. The session is the one XDG_SESSION_ID names, else the one this
// process belongs to. Without logind on the bus, or without a session to be found, it never
// resigns, which is logged once; logind appearing later is picked up.
class LogindSessionActivitySource final : public SessionActivitySource {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.freedesktop.login1";
    static constexpr const char* kManagerPath = "/org/freedesktop/login1";

    explicit LogindSessionActivitySource(const QDBusConnection& connection = QDBusConnection::systemBus(),
                                         QObject* parent = nullptr);
    ~LogindSessionActivitySource() override;

    // The session object followed; empty until it is found.
    QString sessionPath() const;

private:
    void logindPresenceChanged(bool present);
    void findSession();
    void findSessionByProcess();
    void watchSession(const QString& path);
    void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void activeChanged(bool active);
    void logOnce(const QString& message);

    QDBusConnection m_connection;
    BusNameWatch* m_logind;
    std::unique_ptr<OrgFreedesktopLogin1ManagerInterface> m_manager;
    std::unique_ptr<OrgFreedesktopLogin1SessionInterface> m_session;
    std::unique_ptr<OrgFreedesktopDBusPropertiesInterface> m_sessionProperties;
    std::optional<bool> m_active;
    int m_lookup = 0;
    bool m_logged = false;
};

} // namespace larkfold::platform
