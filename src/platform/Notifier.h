#pragma once

#include <QString>

#include <functional>

namespace larkfold::platform {

// One user notification, shown at once with the default sound.
struct Notification {
    QString identifier; // the request's own name, e.g. "error-" + UUID; never reused to replace another
    QString title;
    QString body;

    bool operator==(const Notification&) const = default;
};

// Shows user notifications. Call it on the thread that created it.
class Notifier {
public:
    using FailureHandler = std::function<void(const QString& reason)>;

    virtual ~Notifier() = default;
    // Hands the notification to the desktop; when it cannot be shown, onFailure gets a readable
    // reason on the same thread, possibly later. Authorisation needs no asking on Linux.
    virtual void show(const Notification& notification, FailureHandler onFailure) = 0;
};

} // namespace larkfold::platform
