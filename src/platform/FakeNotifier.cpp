#include "platform/FakeNotifier.h"

namespace larkfold::platform {

void FakeNotifier::show(const Notification& notification, FailureHandler onFailure)
{
    if (m_failure.isEmpty()) {
        m_shown.push_back(notification);
        return;
    }
    if (onFailure)
        onFailure(m_failure);
}

} // namespace larkfold::platform
