#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QThread>

namespace larkfold::test {

class StatusNotifierWatcherService;

// A tray host's registry (org.kde.StatusNotifierWatcher at /StatusNotifierWatcher) that records the
// items and hosts registering with it and always reports a host, so Qt's QSystemTrayIcon exports
// its item over D-Bus. It answers from a thread of its own: Qt's tray asks it with blocking calls
// from the main thread, which a service on the main thread could never answer.
class FakeStatusNotifierWatcher {
public:
    static constexpr const char* kServiceName = "org.kde.StatusNotifierWatcher";
    static constexpr const char* kObjectPath = "/StatusNotifierWatcher";

    // Connects to the bus at `busAddress` and takes the watcher's name there; check isRegistered().
    explicit FakeStatusNotifierWatcher(const QString& busAddress);
    ~FakeStatusNotifierWatcher();
    FakeStatusNotifierWatcher(const FakeStatusNotifierWatcher&) = delete;
    FakeStatusNotifierWatcher& operator=(const FakeStatusNotifierWatcher&) = delete;

    bool isRegistered() const { return m_registered; }
    // The registered items as "<bus name>/<object path>", oldest first; an item whose bus name
    // left the bus is dropped, as real watchers do.
    QStringList items() const;
    QStringList hosts() const;
    // Runs the event loop until an item is registered and returns the newest; empty on timeout.
    QString waitForItem(int timeoutMs = 10000) const;

private:
    QString m_connectionName;
    QThread m_thread;
    StatusNotifierWatcherService* m_service = nullptr;
    bool m_registered = false;
};

} // namespace larkfold::test
