#include "platform/LogindWakeSource.h"

#include "org_freedesktop_login1_manager_interface.h"

namespace larkfold::platform {

LogindWakeSource::LogindWakeSource(const QDBusConnection& connection, QObject* parent)
    : WakeSource(parent)
    , m_manager(std::make_unique<OrgFreedesktopLogin1ManagerInterface>(
          QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath), connection))
{
    connect(m_manager.get(), &OrgFreedesktopLogin1ManagerInterface::PrepareForSleep, this, [this](bool start) {
        if (!start)
            emit woke();
    });
}

LogindWakeSource::~LogindWakeSource() = default;

} // namespace larkfold::platform
