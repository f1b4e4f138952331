#pragma once

#include <QObject>

namespace larkfold::platform {

// Tells when the user's session stops being the active one: it is locked, or another session
// (another user, another console) takes over the seat.
class SessionActivitySource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void sessionDidResignActive();
};

// A session activity source that a test triggers.
class FakeSessionActivitySource final : public SessionActivitySource {
    Q_OBJECT
public:
    using SessionActivitySource::SessionActivitySource;
    void simulateResignActive() { emit sessionDidResignActive(); }
};

} // namespace larkfold::platform
