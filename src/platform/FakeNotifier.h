#pragma once

#include "platform/Notifier.h"

#include <QString>

#include <vector>

namespace larkfold::platform {

// Records what would have been shown; can be told to fail every delivery.
class FakeNotifier final : public Notifier {
public:
    void show(const Notification& notification, FailureHandler onFailure) override;

    const std::vector<Notification>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }
    // A non-empty reason makes every later show() fail with it instead of recording.
    void failWith(QString reason) { m_failure = std::move(reason); }

private:
    std::vector<Notification> m_shown;
    QString m_failure;
};

} // namespace larkfold::platform
