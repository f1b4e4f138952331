#pragma once

#include "platform/FileDescriptor.h"
#include "platform/NetworkSource.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <string>

class QSocketNotifier;
struct nlmsghdr;

namespace larkfold::platform {

// A usable network from the kernel's routing table, for systems without NetworkManager: a default
// route that was not there before (a new interface, a new gateway, a cable plugged back in) makes
// the network usable. Listens to link and IPv4/IPv6 route changes on a netlink socket.
class NetlinkRouteSource final : public NetworkSource {
    Q_OBJECT
public:
    // Opens a socket of its own; when that fails the reason is logged and it never reports.
    explicit NetlinkRouteSource(QObject* parent = nullptr);
    // Follows a socket from openSocket(), e.g. one opened in another network namespace.
    explicit NetlinkRouteSource(Descriptor socket, QObject* parent = nullptr);
    ~NetlinkRouteSource() override;

    // A netlink route socket subscribed to link and route changes; not open, with the reason, on failure.
    static Descriptor openSocket(QString& reason);

    bool isWatching() const { return m_notifier != nullptr; }

private:
    struct Route {
        int interfaceIndex = 0;
    };

    void start();
    void readMessages();
    void handle(const nlmsghdr* message);
    void handleLink(const nlmsghdr* message, bool inDump);
    void queueDump(std::uint16_t type);
    void startNextDump();
    void finishDump();
    void stopWatching(const QString& reason);

    Descriptor m_socket;
    QSocketNotifier* m_notifier = nullptr;
    // The default routes in the table, by what tells them apart.
    std::map<std::string, Route> m_defaultRoutes;
    std::map<std::string, Route> m_dumpedRoutes;
    std::map<int, bool> m_linkRunning;
    std::deque<std::uint16_t> m_pendingDumps;
    std::uint16_t m_dumpType = 0; // the request whose dump is being read; 0 when none
    std::uint32_t m_dumpSequence = 0;
    std::uint32_t m_portId = 0;
    bool m_reportPending = false;
};

} // namespace larkfold::platform
