#pragma once

#include "platform/NetworkSource.h"

#include <QDBusConnection>

#include <functional>
#include <memory>
#include <optional>

class OrgFreedesktopDBusPropertiesInterface;
class OrgFreedesktopNetworkManagerInterface;

namespace larkfold::platform {

class BusNameWatch;

// A usable network from NetworkManager while it is on the system bus: its state turning into
// connected-global. Without NetworkManager, from a fallback source (by default route changes,
// NetlinkRouteSource), which is logged once. NetworkManager appearing or leaving later switches
// between the two.
class LinuxNetworkSource final : public NetworkSource {
    Q_OBJECT
public:
    using FallbackFactory = std::function<std::unique_ptr<NetworkSource>()>;

    static constexpr const char* kServiceName = "org.freedesktop.NetworkManager";
    static constexpr const char* kObjectPath = "/org/freedesktop/NetworkManager";
    // NM_STATE_CONNECTED_GLOBAL
    static constexpr unsigned kConnectedGlobalState = 70;

    enum class Backend { undecided, networkManager, fallback };

    // `fallback` makes the source used without NetworkManager; empty means NetlinkRouteSource.
    explicit LinuxNetworkSource(const QDBusConnection& systemBus = QDBusConnection::systemBus(),
                                FallbackFactory fallback = {}, QObject* parent = nullptr);
    ~LinuxNetworkSource() override;

    // Which source reports now; undecided until the bus has answered.
    Backend backend() const;

private:
    void networkManagerPresenceChanged(bool present);
    void stateChanged(unsigned state);

    QDBusConnection m_connection;
    FallbackFactory m_makeFallback;
    BusNameWatch* m_networkManagerName;
    std::unique_ptr<OrgFreedesktopNetworkManagerInterface> m_networkManager;
    std::unique_ptr<OrgFreedesktopDBusPropertiesInterface> m_networkManagerProperties;
    std::unique_ptr<NetworkSource> m_fallback;
    std::optional<unsigned> m_state;
    int m_stateQuery = 0;
    bool m_absenceLogged = false;
};

} // namespace larkfold::platform
