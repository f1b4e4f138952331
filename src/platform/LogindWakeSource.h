#pragma once

#include "platform/WakeSource.h"

#include <QDBusConnection>

#include <memory>

class OrgFreedesktopLogin1ManagerInterface;

namespace larkfold::platform {

// Wake from systemd-logind's PrepareForSleep(false). Without logind on the bus there is simply no
// wake event; it is picked up when logind appears later.
class LogindWakeSource final : public WakeSource {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.freedesktop.login1";
    static constexpr const char* kObjectPath = "/org/freedesktop/login1";

    explicit LogindWakeSource(const QDBusConnection& connection = QDBusConnection::systemBus(),
                              QObject* parent = nullptr);
    ~LogindWakeSource() override;

private:
    std::unique_ptr<OrgFreedesktopLogin1ManagerInterface> m_manager;
};

} // namespace larkfold::platform
