#include "platform/NetlinkRouteSource.h"

#include "platform/Log.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace larkfold::platform {
namespace {

constexpr std::size_t kReceiveBufferBytes = 32 * 1024;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What tells one default route from another, or none when the message is no usable default route.
std::optional<std::string> defaultRouteKey(const nlmsghdr* message, int& interfaceIndex)
{
    if (message->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return std::nullopt;
    const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(message));
    if (route->rtm_dst_len != 0 || route->rtm_type != RTN_UNICAST || route->rtm_table == RT_TABLE_LOCAL)
        return std::nullopt;
    // A route whose link has no carrier stays in the table but carries nothing.
    if (route->rtm_flags & (RTNH_F_LINKDOWN | RTNH_F_DEAD))
        return std::nullopt;
    std::uint32_t table = route->rtm_table;
    std::uint32_t priority = 0;
    interfaceIndex = 0;
    std::string gateway;
    std::string multipath;
    int length = int(RTM_PAYLOAD(message));
    for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        const auto* data = static_cast<const char*>(RTA_DATA(attribute));
        const std::size_t size = RTA_PAYLOAD(attribute);
        switch (attribute->rta_type) {
        case RTA_TABLE:
            if (size >= sizeof table)
                std::memcpy(&table, data, sizeof table);
            break;
        case RTA_PRIORITY:
            if (size >= sizeof priority)
                std::memcpy(&priority, data, sizeof priority);
            break;
        case RTA_OIF:
            if (size >= sizeof interfaceIndex)
                std::memcpy(&interfaceIndex, data, sizeof interfaceIndex);
            break;
        case RTA_GATEWAY:
            gateway.assign(data, size);
            break;
        case RTA_MULTIPATH:
            multipath.assign(data, size);
            break;
        }
    }
    if (table == RT_TABLE_LOCAL)
        return std::nullopt;
    std::string key;
    key += char(route->rtm_family);
    key.append(reinterpret_cast<const char*>(&table), sizeof table);
    key.append(reinterpret_cast<const char*>(&priority), sizeof priority);
    key.append(reinterpret_cast<const char*>(&interfaceIndex), sizeof interfaceIndex);
    key += char(gateway.size());
    key += gateway;
    key += multipath;
    return key;
}

} // namespace

NetlinkRouteSource::NetlinkRouteSource(QObject* parent)
    : NetworkSource(parent)
{
    QString reason;
    m_socket = openSocket(reason);
    if (!m_socket.isOpen()) {
        stopWatching(reason);
        return;
    }
    start();
}

NetlinkRouteSource::NetlinkRouteSource(Descriptor socket, QObject* parent)
    : NetworkSource(parent)
    , m_socket(std::move(socket))
{
    start();
}

NetlinkRouteSource::~NetlinkRouteSource() = default;

Descriptor NetlinkRouteSource::openSocket(QString& reason)
{
    Descriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    if (!socket.isOpen()) {
        reason = errnoText(errno);
        return {};
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        reason = errnoText(errno);
        return {};
    }
    return socket;
}

void NetlinkRouteSource::start()
{
    sockaddr_nl address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_socket.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        stopWatching(errnoText(errno));
        return;
    }
    m_portId = address.nl_pid;
    m_notifier = new QSocketNotifier(m_socket.fd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &NetlinkRouteSource::readMessages);
    // The links first, so a link already up is not taken for one coming up; then the routes,
    // whose defaults are the first report.
    queueDump(RTM_GETLINK);
    queueDump(RTM_GETROUTE);
}

void NetlinkRouteSource::readMessages()
{
    alignas(nlmsghdr) char buffer[kReceiveBufferBytes];
    while (m_notifier) {
        sockaddr_nl sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t received = ::recvfrom(m_socket.fd(), buffer, sizeof buffer, MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            if (errno == ENOBUFS) {
                // Changes were lost, perhaps with the dump being read: read the table afresh and compare.
                m_dumpType = 0;
                queueDump(RTM_GETLINK);
                queueDump(RTM_GETROUTE);
                continue;
            }
            stopWatching(errnoText(errno));
            break;
        }
        if (sender.nl_pid != 0)
            continue; // only the kernel speaks for the routing table
        int length = int(received);
        for (const auto* message = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length))
            handle(message);
    }
    if (m_reportPending) {
        m_reportPending = false;
        emit networkBecameUsable();
    }
}

void NetlinkRouteSource::handle(const nlmsghdr* message)
{
    // Changes made by others carry their requester's sequence number and port, never ours.
    const bool inDump =
        m_dumpType != 0 && message->nlmsg_seq == m_dumpSequence && message->nlmsg_pid == m_portId;
    switch (message->nlmsg_type) {
    case NLMSG_DONE:
    case NLMSG_ERROR:
        if (inDump)
            finishDump();
        break;
    case RTM_NEWROUTE: {
        int interfaceIndex = 0;
        if (const auto key = defaultRouteKey(message, interfaceIndex)) {
            if (inDump)
                m_dumpedRoutes[*key] = {interfaceIndex};
            else if (m_defaultRoutes.try_emplace(*key, Route{interfaceIndex}).second)
                m_reportPending = true;
        }
        break;
    }
    case RTM_DELROUTE: {
        int interfaceIndex = 0;
        if (const auto key = defaultRouteKey(message, interfaceIndex))
            m_defaultRoutes.erase(*key);
        break;
    }
    case RTM_NEWLINK:
    case RTM_DELLINK:
        handleLink(message, inDump);
        break;
    }
}

void NetlinkRouteSource::handleLink(const nlmsghdr* message, bool inDump)
{
    if (message->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
        return;
    const auto* link = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
    const bool running = message->nlmsg_type == RTM_NEWLINK && (link->ifi_flags & IFF_RUNNING);
    const auto known = m_linkRunning.find(link->ifi_index);
    const bool wasRunning = known != m_linkRunning.end() && known->second;
    m_linkRunning[link->ifi_index] = running;
    if (message->nlmsg_type == RTM_DELLINK)
        m_linkRunning.erase(link->ifi_index);
    if (inDump || running == wasRunning)
        return;
    if (running) {
        // Routes through it may carry traffic again without any route message.
        queueDump(RTM_GETROUTE);
        return;
    }
    // The kernel drops or disables a link's routes without saying so; forget them, so the same
    // route counts as new once the link is back.
    std::erase_if(m_defaultRoutes, [&](const auto& entry) { return entry.second.interfaceIndex == link->ifi_index; });
}

void NetlinkRouteSource::queueDump(std::uint16_t type)
{
    if (std::find(m_pendingDumps.begin(), m_pendingDumps.end(), type) == m_pendingDumps.end())
        m_pendingDumps.push_back(type);
    if (m_dumpType == 0)
        startNextDump();
}

void NetlinkRouteSource::startNextDump()
{
    while (!m_pendingDumps.empty() && m_notifier) {
        const std::uint16_t type = m_pendingDumps.front();
        m_pendingDumps.pop_front();
        struct {
            nlmsghdr header;
            union {
                ifinfomsg link;
                rtmsg route;
            } body;
        } request{};
        request.header.nlmsg_type = type;
        request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        request.header.nlmsg_seq = ++m_dumpSequence;
        request.header.nlmsg_len =
            NLMSG_LENGTH(type == RTM_GETLINK ? sizeof request.body.link : sizeof request.body.route);
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(m_socket.fd(), &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                     sizeof kernel)
            >= 0) {
            m_dumpType = type;
            m_dumpedRoutes.clear();
            return;
        }
        qCWarning(lcApp).noquote() << "Cannot read the routing table:" << errnoText(errno);
    }
}

void NetlinkRouteSource::finishDump()
{
    if (m_dumpType == RTM_GETROUTE) {
        for (const auto& [key, route] : m_dumpedRoutes)
            if (!m_defaultRoutes.contains(key))
                m_reportPending = true;
        m_defaultRoutes = std::move(m_dumpedRoutes);
        m_dumpedRoutes.clear();
    }
    m_dumpType = 0;
    startNextDump();
}

void NetlinkRouteSource::stopWatching(const QString& reason)
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater(); // perhaps from inside its own signal
        m_notifier = nullptr;
    }
    qCWarning(lcApp).noquote() << "Cannot follow the network's route changes (" + reason
                                      + "): a usable network is not seen";
}

} // namespace larkfold::platform
