#pragma once

#include "platform/Notifier.h"

#include <QString>

#include <vector>

namespace larkfold::platform {

// Records what would have been shown; can be told to fail every delivery.
class FakeNotifier final : public Notifier {
public:
    void show(const Notification& notification, FailureHandler onFailure) override;
    // Answers at once with the server set by setServer (by default one is there).
    void checkServer(ServerCheckHandler onAnswer) override;

    const std::vector<Notification>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }
    // A non-empty reason makes every later show() fail with it instead of recording.
    void failWith(QString reason) { m_failure = std::move(reason); }
    // What checkServer answers from now on.
    void setServer(NotificationServerCheck check) { m_serverCheck = std::move(check); }
    int serverCheckCount() const { return m_serverChecks; }

private:
    std::vector<Notification> m_shown;
    QString m_failure;
    NotificationServerCheck m_serverCheck{NotificationServerInfo{QStringLiteral("Fake"), {}, {}, {}}, {}};
    int m_serverChecks = 0;
};

} // namespace larkfold::platform
