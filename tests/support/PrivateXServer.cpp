#include "support/PrivateXServer.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <string>
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

bool connects(const std::string& socketName)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketName.data(), std::min(socketName.size(), sizeof address.sun_path - 1));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + socketName.size());
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    ::close(fd);
    return connected;
}

// The server writes its display number once it listens; connecting proves it accepts clients,
// through its socket file or, where /tmp/.X11-unix could not be made, the abstract one.
bool acceptsConnections(const QByteArray& number)
{
    const std::string path = "/tmp/.X11-unix/X" + number.toStdString();
    return connects(path) || connects(std::string(1, '\0') + path);
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
    m_server.setStandardErrorFile(QProcess::nullDevice());
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
