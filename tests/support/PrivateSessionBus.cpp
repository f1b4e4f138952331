#include "support/PrivateSessionBus.h"

#include <cstdlib>

namespace larkfold::test {

PrivateSessionBus::PrivateSessionBus()
{
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                           QStringLiteral("--print-address=1")});
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000))
        return;
    while (m_daemon.state() == QProcess::Running && !m_daemon.canReadLine())
        m_daemon.waitForReadyRead(5000);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(2000))
            m_daemon.kill();
        m_daemon.waitForFinished(2000);
    }
}

QDBusConnection PrivateSessionBus::connection(const QString& name) const
{
    // Qt keeps connections by name for the process: a name of an earlier bus would give its dead connection.
    return QDBusConnection::connectToBus(m_address, name + u'@' + m_address);
}

void PrivateSessionBus::exportAsSessionBus() const
{
    setenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8().constData(), 1);
}

} // namespace larkfold::test
