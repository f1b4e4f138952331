#pragma once

#include "platform/Clock.h"
#include "store/BackupPair.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <map>
#include <set>
#include <vector>

namespace larkfold {

class StatusManager;

namespace platform {
class Bookmarks;
class MountSource;
class NetworkSource;
class ScreenSleepSource;
class WakeSource;
} // namespace platform

// Re-checks pairs waiting for their destination when a destination may have come back without a
// mount event: after wake, when the screens wake, when the network becomes usable. Reachable ones
// go back to the coordinator. Main thread; the probes run on utility threads.
class VolumeReconnector : public QObject {
    Q_OBJECT

public:
    // What the reconnector listens to and probes with; each source may be null (that trigger never
    // fires). The mount source and bookmarks must outlive every probe.
    struct Environment {
        platform::WakeSource* wake = nullptr;
        platform::ScreenSleepSource* screens = nullptr;
        platform::NetworkSource* network = nullptr;
        const platform::MountSource* mounts = nullptr;
        const platform::Bookmarks* bookmarks = nullptr;
        platform::ContinuousClock* clock = nullptr; // for how long a reconnected pair is left alone
        std::chrono::milliseconds attemptDelay = std::chrono::seconds(2);
    };

    VolumeReconnector(StatusManager& statusManager, Environment environment, QObject* parent = nullptr);
    ~VolumeReconnector() override;

    // Listens to the triggers; once only.
    void start();
    // Stops listening and drops a pending attempt; a probe under way still reports.
    void stop();

    // One attempt `attemptDelay` after the first trigger; later triggers meanwhile join it.
    void scheduleAttempt(const QString& trigger);

    bool hasPendingAttempt() const { return m_pendingAttempt.isActive(); }
    // Whether an attempt is about to look for the pair's destination, or looking now.
    bool isReconnecting(const QUuid& pairId) const;

    // Whether the pair's destination can be written again: at its path, or where its bookmark
    // finds it now. Any thread.
    static bool isReachable(const BackupPair& pair, const platform::MountSource& mounts,
                            const platform::Bookmarks& bookmarks);

signals:
    // A probe ended, with the pairs it found reachable (for tests and logs).
    void attemptFinished(const QString& trigger, int probed, int reconnected);
    // An attempt was scheduled, began or ended: isReconnecting() may say otherwise now.
    void reconnectingChanged();

private:
    struct Candidate {
        QUuid id;
        BackupPair pair;
    };
    void attempt(const QString& trigger);
    void applyResults(const std::vector<Candidate>& reachable, const std::vector<QUuid>& attempted,
                      const QString& trigger);
    platform::ContinuousClock::Duration now() const;
    // Reconnected less than a few seconds ago: the next attempt leaves the pair alone.
    bool wasHandledRecently(const QUuid& pairId, platform::ContinuousClock::Duration now) const;

    QPointer<StatusManager> m_statusManager;
    Environment m_environment;
    bool m_started = false;
    std::vector<QMetaObject::Connection> m_connections;
    std::map<QUuid, platform::ContinuousClock::Duration> m_recentlyHandled;
    std::set<QUuid> m_inFlight;
    QTimer m_pendingAttempt;
    QString m_pendingTrigger;
};

} // namespace larkfold
