#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace larkfold::platform {

SingleInstance::~SingleInstance()
{
    if (m_ownsBusName)
        QDBusConnection::sessionBus().unregisterService(QString::fromLatin1(kBusName));
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SingleInstance::acquire(const std::filesystem::path& lockFile, QString& reason)
{
    std::error_code ec;
    std::filesystem::create_directories(lockFile.parent_path(), ec);
    m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        reason = QStringLiteral("Cannot open the lock file: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        reason = error == EWOULDBLOCK
            ? QStringLiteral("Larkfold is already running.")
            : QStringLiteral("Cannot lock the lock file: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const auto reply = bus.interface()->registerService(QString::fromLatin1(kBusName),
                                                            QDBusConnectionInterface::DontQueueService,
                                                            QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
            reason = QStringLiteral("Larkfold is already running.");
            return false;
        }
        m_ownsBusName = true;
    }
    return true;
}

} // namespace larkfold::platform
