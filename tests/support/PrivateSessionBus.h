#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

namespace larkfold::test {

// A private dbus-daemon for one test: never the machine's bus. Start it before anything in the
// process first uses QDBusConnection::sessionBus() when the code under test uses the session bus.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();

    bool isRunning() const { return !m_address.isEmpty(); }
    const QString& address() const { return m_address; }
    // A connection of the test's own to the private bus (for fake services).
    QDBusConnection connection(const QString& name) const;
    // Points DBUS_SESSION_BUS_ADDRESS at this bus.
    void exportAsSessionBus() const;

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace larkfold::test
