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

void FakeNotifier::checkServer(ServerCheckHandler onAnswer)
{
    ++m_serverChecks;
    if (onAnswer)
        onAnswer(m_serverCheck);
}

} // namespace larkfold::platform
