#include "platform/LinuxNetworkSource.h"

#include "platform/BusNameWatch.h"
#include "platform/DBusCall.h"
#include "platform/Log.h"
#include "platform/NetlinkRouteSource.h"

#include "org_freedesktop_dbus_properties_interface.h"
#include "org_freedesktop_networkmanager_interface.h"

#include <QDBusPendingReply>
#include <QDBusVariant>

namespace larkfold::platform {

LinuxNetworkSource::LinuxNetworkSource(const QDBusConnection& systemBus, FallbackFactory fallback, QObject* parent)
    : NetworkSource(parent)
    , m_connection(systemBus)
    , m_makeFallback(std::move(fallback))
    , m_networkManagerName(new BusNameWatch(systemBus, QString::fromLatin1(kServiceName), this))
    , m_networkManager(std::make_unique<OrgFreedesktopNetworkManagerInterface>(
          QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath), systemBus))
    , m_networkManagerProperties(std::make_unique<OrgFreedesktopDBusPropertiesInterface>(
          QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath), systemBus))
{
    if (!m_makeFallback)
        m_makeFallback = [] { return std::make_unique<NetlinkRouteSource>(); };
    connect(m_networkManager.get(), &OrgFreedesktopNetworkManagerInterface::StateChanged, this,
            &LinuxNetworkSource::stateChanged);
    connect(m_networkManagerName, &BusNameWatch::presenceChanged, this,
            &LinuxNetworkSource::networkManagerPresenceChanged);
}

LinuxNetworkSource::~LinuxNetworkSource() = default;

LinuxNetworkSource::Backend LinuxNetworkSource::backend() const
{
    if (!m_networkManagerName->isPresent())
        return Backend::undecided;
    return *m_networkManagerName->isPresent() ? Backend::networkManager : Backend::fallback;
}

void LinuxNetworkSource::networkManagerPresenceChanged(bool present)
{
    ++m_stateQuery; // an answer of the service that left no longer counts
    m_state.reset();
    if (!present) {
        if (!m_absenceLogged) {
            m_absenceLogged = true;
            qCInfo(lcApp) << "NetworkManager is not on the system bus: a usable network is seen from route changes";
        }
        m_fallback = m_makeFallback();
        connect(m_fallback.get(), &NetworkSource::networkBecameUsable, this, &NetworkSource::networkBecameUsable);
        return;
    }
    m_fallback.reset();
    // Its present state is the first report, as the fallback's first reading of the table is.
    const QString interface = QString::fromLatin1(OrgFreedesktopNetworkManagerInterface::staticInterfaceName());
    whenFinished(m_networkManagerProperties->Get(interface, QStringLiteral("State")), this,
                 [this, query = m_stateQuery](const QDBusPendingCall& call) {
                     const QDBusPendingReply<QDBusVariant> reply = call;
                     if (query == m_stateQuery && !reply.isError())
                         stateChanged(reply.value().variant().toUInt());
                 });
}

void LinuxNetworkSource::stateChanged(unsigned state)
{
    const bool becameUsable = state == kConnectedGlobalState && m_state != kConnectedGlobalState;
    m_state = state;
    if (becameUsable)
        emit networkBecameUsable();
}

} // namespace larkfold::platform
