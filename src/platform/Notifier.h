#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace larkfold::platform {

// One user notification, shown at once with the default sound.
struct Notification {
    QString identifier; // the request's own name, e.g. "error-" + UUID; never reused to replace another
    QString title;
    QString body; // plain text: the notifier escapes it for servers that read markup

    bool operator==(const Notification&) const = default;
};

// What a desktop notification server says of itself.
struct NotificationServerInfo {
    QString name;
    QString vendor;
    QString version;
    QString specVersion;
};

// Whether a notification server is there: its description, or none and why.
struct NotificationServerCheck {
    std::optional<NotificationServerInfo> server;
    QString reason;
};

// Shows user notifications. Call it on the thread that created it.
class Notifier {
public:
    using FailureHandler = std::function<void(const QString& reason)>;
    using ServerCheckHandler = std::function<void(const NotificationServerCheck& check)>;

    virtual ~Notifier() = default;
    // Hands the notification to the desktop; when it cannot be shown, onFailure gets a readable
    // reason on the same thread, possibly later. Authorisation needs no asking on Linux.
    virtual void show(const Notification& notification, FailureHandler onFailure) = 0;
    // Asks whether a notification server is there to show them; `onAnswer` runs on the same
    // thread, possibly later.
    virtual void checkServer(ServerCheckHandler onAnswer) = 0;
};

} // namespace larkfold::platform
