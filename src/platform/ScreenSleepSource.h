#pragma once

#include <QObject>

namespace larkfold::platform {

// Tells when the screens go to sleep and when they wake.
class ScreenSleepSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void screensDidSleep();
    void screensDidWake();
};

// A screen sleep source that a test triggers.
class FakeScreenSleepSource final : public ScreenSleepSource {
    Q_OBJECT
public:
    using ScreenSleepSource::ScreenSleepSource;
    void simulateSleep() { emit screensDidSleep(); }
    void simulateWake() { emit screensDidWake(); }
};

} // namespace larkfold::platform
