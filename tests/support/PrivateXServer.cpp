#include "support/PrivateXServer.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace larkfold::test {
namespace {

constexpr int kStartTimeoutMs = 15000;

QString xvfbPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
}

// The server writes its display number once it listens; connecting proves it accepts clients.
bool acceptsConnections(const QByteArray& number)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = "/tmp/.X11-unix/X" + number;
    std::memcpy(address.sun_path, path.constData(), std::min<size_t>(path.size(), sizeof address.sun_path - 1));
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

bool PrivateXServer::isAvailable()
{
    return !xvfbPath().isEmpty();
}

PrivateXServer::PrivateXServer(int width, int height)
{
    const QString xvfb = xvfbPath();
    if (xvfb.isEmpty())
        return;
    // -displayfd lets the server pick a free display number itself, so parallel tests never collide.
    m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                          QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height)});
    if (!m_server.waitForStarted(kStartTimeoutMs))
        return;
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (m_server.state() == QProcess::Running && !m_server.canReadLine() && !deadline.hasExpired())
        m_server.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray number = m_server.readLine().trimmed();
    if (number.isEmpty())
        return;
    while (!acceptsConnections(number)) {
        if (m_server.state() != QProcess::Running || deadline.hasExpired())
            return;
        m_server.waitForFinished(20); // returns early only when the server died
    }
    m_display = ":" + number;
}

PrivateXServer::~PrivateXServer()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished(2000);
    }
}

void PrivateXServer::exportAsDisplay() const
{
    setenv("DISPLAY", m_display.constData(), 1);
    unsetenv("WAYLAND_DISPLAY");
}

} // namespace larkfold::test
