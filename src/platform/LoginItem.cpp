#include "platform/LoginItem.h"

namespace larkfold::platform {

QString FakeLoginItem::registerItem()
{
    ++m_registers;
    if (m_failure.isEmpty())
        m_status = Status::enabled;
    return m_failure;
}

QString FakeLoginItem::unregisterItem()
{
    ++m_unregisters;
    if (m_failure.isEmpty())
        m_status = Status::notRegistered;
    return m_failure;
}

} // namespace larkfold::platform
