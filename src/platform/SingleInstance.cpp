#include "platform/SingleInstance.h"

#include "platform/AppPaths.h"
#include "platform/Log.h"

#include "io_larkfold_larkfold_interface.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkfold::platform {
namespace {

// The running instance answers from its main loop at once; a hung one must not hold a launch.
constexpr int kRequestTimeoutMs = 5000;

// What the running instance offers on the bus; it forwards each request to its SingleInstance.
class InstanceAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.larkfold.Larkfold")
public:
    explicit InstanceAdaptor(SingleInstance* instance)
        : QDBusAbstractAdaptor(instance)
        , m_instance(instance)
    {
    }

public slots:
    void ShowPopover() { emit m_instance->showPopoverRequested(); }

private:
    SingleInstance* m_instance;
};

} // namespace

SingleInstance::SingleInstance(const QDBusConnection& sessionBus, QObject* parent)
    : QObject(parent)
    , m_bus(sessionBus)
{
}

SingleInstance::~SingleInstance()
{
    if (m_ownsBusName)
        m_bus.unregisterService(QString::fromLatin1(kBusName));
    if (m_exported)
        m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SingleInstance::acquire(const std::filesystem::path& lockFile, QString& reason)
{
    m_anotherInstanceRuns = false;
    // The lock's folder is the data folder: created private before anything else of ours is in it.
    ensurePrivateDirectory(lockFile.parent_path());
    m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        reason = QStringLiteral("Cannot open the lock file: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    ::fchmod(m_fd, 0600); // whatever the umask took from it or an older version gave it
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        m_anotherInstanceRuns = error == EWOULDBLOCK;
        reason = error == EWOULDBLOCK
            ? QStringLiteral("Larkfold is already running.")
            : QStringLiteral("Cannot lock the lock file: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    if (m_bus.isConnected()) {
        // The object before the name: a launch that finds the name finds the object too.
        new InstanceAdaptor(this);
        m_exported = m_bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors);
        const auto reply = m_bus.interface()->registerService(QString::fromLatin1(kBusName),
                                                              QDBusConnectionInterface::DontQueueService,
                                                              QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_ownsBusName = true;
        } else {
            // The lock is ours, so no other instance runs: whoever holds the name (another data
            // folder's instance, any other process) only costs a second launch its way to our popover.
            m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
            m_exported = false;
            qCWarning(lcApp, "The session-bus name %s is taken by another process; running without the "
                             "service that brings up the popover from a second launch",
                      kBusName);
        }
    }
    return true;
}

bool SingleInstance::askRunningInstanceToShowPopover(QString& reason, const QDBusConnection& sessionBus)
{
    IoLarkfoldLarkfoldInterface running(QString::fromLatin1(kBusName), QString::fromLatin1(kObjectPath), sessionBus);
    running.setTimeout(kRequestTimeoutMs);
    QDBusPendingReply<> reply = running.ShowPopover();
    reply.waitForFinished();
    if (reply.isError()) {
        reason = reply.error().message();
        return false;
    }
    return true;
}

} // namespace larkfold::platform

#include "SingleInstance.moc"
