#include "platform/MountWatcher.h"

#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace larkfold::platform {

MountWatcher::MountWatcher(std::filesystem::path file, QObject* parent) : QObject(parent), m_file(std::move(file)) {}

MountWatcher::~MountWatcher()
{
    stop();
}

bool MountWatcher::start()
{
    requireMainThread("MountWatcher::start");
    if (isWatching())
        return true;
    m_fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        qCWarning(lcApp).noquote() << QStringLiteral("Cannot follow mount changes: %1")
                                          .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // The kernel answers poll() with POLLPRI|POLLERR after a change and clears it in that poll;
    // the file is readable all the time, so only the exception condition means anything.
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Exception);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &MountWatcher::changed);
    return true;
}

void MountWatcher::stop()
{
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace larkfold::platform
