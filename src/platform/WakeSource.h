#pragma once

#include <QObject>

namespace larkfold::platform {

// Tells when the computer has woken from sleep (timers of the main loop stood still meanwhile).
class WakeSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void woke();
};

// A wake source that a test triggers.
class FakeWakeSource final : public WakeSource {
    Q_OBJECT
public:
    using WakeSource::WakeSource;
    void simulateWake() { emit woke(); }
};

} // namespace larkfold::platform
