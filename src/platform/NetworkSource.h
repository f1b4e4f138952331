#pragma once

#include <QObject>

namespace larkfold::platform {

// Tells when the network becomes usable: once soon after it starts when it already is (its first
// report), then at every change that brings a usable network.
class NetworkSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void networkBecameUsable();
};

// A network source that a test triggers.
class FakeNetworkSource final : public NetworkSource {
    Q_OBJECT
public:
    using NetworkSource::NetworkSource;
    void simulateUsable() { emit networkBecameUsable(); }
};

} // namespace larkfold::platform
