#pragma once

#include "engine/BackupEngine.h"
#include "engine/BackupQueue.h"
#include "platform/Clock.h"
#include "platform/ContinuousTimer.h"
#include "platform/NetworkSource.h"
#include "platform/Notifier.h"
#include "platform/ScreenSleepSource.h"
#include "platform/WakeSource.h"
#include "shell/VolumeReconnector.h"
#include "shell/CopyRedundancyMap.h"
#include "shell/VolumeMonitor.h"
#include "store/AppConfig.h"
#include "store/BackupEvent.h"

#include <QObject>
#include <QTimer>
#include <QUuid>

#include <chrono>

#include <filesystem>
#include <map>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace larkfold {

class ConfigStore;
class NotificationManager;

namespace platform {
class Bookmarks;
}

// The one coordinator between the user's world and the backup machinery: one engine per pair,
// the shared job queue, the notifications, the volume monitor and the copy-redundancy map. Every
// change a window, the menu or a setup flow makes to a pair goes through it, and it turns volume
// events into engine actions and event-log entries. Main thread only.
class StatusManager : public QObject {
    Q_OBJECT

public:
    // The parts of the computer the coordinator and its engines ask; tests hand in fakes. Null or
    // empty means the system's own.
    struct Environment {
        // Handed to every engine; its mount source and bookmarks also serve the coordinator.
        BackupEngine::Environment engine;
        // Without a mount source of its own the monitor reads the engines' one.
        VolumeMonitor::Environment volumeMonitor;
        BackupQueue::Options queue;
        // Null: the desktop's notification server on the session bus.
        std::unique_ptr<platform::Notifier> notifier;
        // The schedule counts on this clock, which goes on while the computer sleeps; with a
        // clock given, a timer that follows it must be given too. Null: the boot-time clock and timer.
        platform::ContinuousClock* clock = nullptr;
        std::unique_ptr<platform::ContinuousTimer> scheduleTimer;
        // The reconnector's triggers; null: logind, the screen saver and the network of this computer.
        platform::WakeSource* wake = nullptr;
        platform::ScreenSleepSource* screens = nullptr;
        platform::NetworkSource* network = nullptr;
        std::chrono::milliseconds reconnectDelay = std::chrono::seconds(2);
    };

    // What became of a request to back a pair up into another folder.
    struct RelinkResult {
        bool accepted = false;
        QString reason; // user-facing, when not accepted
    };

    using EngineMap = std::map<QUuid, std::unique_ptr<BackupEngine>>;

    // Brings everything up, in this order: the volume monitor started, one started engine per
    // stored pair and the copy-redundancy map, the schedule, the power poll, the reconnector and
    // the check for a notification server. The store must outlive the coordinator.
    explicit StatusManager(ConfigStore& configStore, QObject* parent = nullptr);
    StatusManager(ConfigStore& configStore, Environment environment, QObject* parent = nullptr);
    // Stops the timers and the reconnector, then every engine and the volume monitor. Tasks
    // still running end by themselves.
    ~StatusManager() override;

    // Stores the pair, creates and starts its engine, recomputes copy redundancy.
    void addPair(const BackupPair& pair);
    // Stops and drops the pair's engine, removes the record, recomputes copy redundancy.
    void removePair(const QUuid& id);
    // Points the pair at a new destination with a fresh bookmark and a new, started engine.
    // Refused, with the reason, when another pair already keeps its backup in the folder the
    // pair would use there. When no bookmark can be made the folder is still taken: the pair
    // shows the access error and keeps no bookmark, so the user can choose again.
    RelinkResult relinkPair(const QUuid& id, const std::filesystem::path& newDestination);
    // Resumes a paused pair (one the user paused, or one "Pause All" holds); pauses any other
    // for good (stored).
    void togglePause(const QUuid& id);
    // Stops every engine and shows it paused; no record changes. Each pair is held until it is
    // resumed, by resumeAll() or on its own; a pair added meanwhile joins the hold. Not stored.
    void pauseAll();
    // Resumes every paused pair: those "Pause All" holds and those the user paused one by one
    // (stored as enabled again); every engine starts, whatever it is doing.
    void resumeAll();
    // Whether "Pause All" holds the pair: nothing resumes it by itself meanwhile.
    bool isHeld(const QUuid& id) const { return m_held.contains(id); }
    // Whether the user paused the pair, on its own or with all: no backup of it starts until it is resumed.
    bool isPaused(const BackupPair& pair) const { return !pair.isEnabled || isHeld(pair.id); }
    // Backs up every pair that is not paused now; a run under way finishes and the new one
    // follows it. The paused pairs it left out, in the store's order.
    std::vector<BackupPair> backupAllNow();
    // Backs up the pair now, as backupAllNow() does for each; nothing while it is paused.
    void backupPairNow(const QUuid& id);
    // Stops every engine and empties the dictionary (used at quit). The stopped engines are the
    // caller's: keep them until BackupTasks says no task is left, as their tasks may still run.
    std::vector<std::unique_ptr<BackupEngine>> stopAll();

    // Takes the bandwidth mode from the settings and restarts the schedule's count for the
    // chosen interval (none for manual).
    void rescheduleTimer();
    // Every 30 s: once no power condition holds work back, backs up the enabled pairs that wait paused.
    void powerPollTick();
    // When the schedule runs next, on the continuous clock; none for manual.
    std::optional<platform::ContinuousClock::Duration> nextScheduledRun() const;
    // Stops the schedule, the power poll and the reconnector, so nothing starts new work (at quit).
    void stopTimers();
    VolumeReconnector* volumeReconnector() const { return m_volumeReconnector.get(); }
    // Whether the reconnector is about to look, or looks now, for the pair's destination.
    bool isReconnecting(const QUuid& pairId) const
    {
        return m_volumeReconnector && m_volumeReconnector->isReconnecting(pairId);
    }
    bool isPowerPollRunning() const { return m_powerPollTimer.isActive(); }
    // The timer's interval for each setting; none for manual.
    static std::optional<std::chrono::seconds> scheduleInterval(AppConfig::BackupInterval interval);

    // One started engine per stored pair, in stored order, then copy redundancy.
    void setupEngines();
    // Replaces the pair's engine with a new, started one.
    void setupEngine(const BackupPair& pair);
    // Records an event without counts.
    void logEvent(const QUuid& pairId, BackupEvent::EventType type);

    // A file system joined `mountPoint`: pairs that waited for their destination there start
    // again (watching included); pairs the user paused stay paused.
    void handleVolumeMounted(const std::filesystem::path& mountPoint);
    // A file system left `mountPoint`: enabled pairs whose destination was on it stop and wait,
    // with an event and a notification each.
    void handleVolumeUnmounted(const std::filesystem::path& mountPoint);
    // The reconnector found the pair's destination reachable again: as handleVolumeMounted()
    // does for one pair.
    void handleReconnected(const QUuid& pairId, const BackupPair& pair);
    // Recomputes copyRedundancy() from the store and a fresh mount table.
    void recomputeCopyRedundancy();
    // Offers a profile for the pair through profileSuggested(), as an engine does after a run.
    void suggestProfile(const QUuid& pairId, const QString& pairName, BackupProfile recommendedProfile,
                        qint64 approximateBytes)
    {
        emit profileSuggested(pairId, pairName, recommendedProfile, approximateBytes);
    }

    // Whether the source folder is gone: true when it lies where its drive (as the bookmark, or
    // without one the media folders, tell) is there and nothing is at its path; false when
    // something is; none when its drive is away or the path cannot be examined. Any thread.
    static std::optional<bool> isSourceMissing(const std::filesystem::path& source,
                                               const std::optional<QByteArray>& bookmark,
                                               const std::vector<platform::MountEntry>& mounts);
    // `path` is `mountPoint` or lies below it, compared on canonical paths.
    static bool isOnVolume(const std::filesystem::path& path, const std::filesystem::path& mountPoint);

    // The status of all pairs together, and its one-line summary; engines visited in the store's order.
    BackupStatus overallStatus() const;
    QString statusSummary() const;
    // The engines' statuses in the store's order of the pairs.
    std::vector<BackupStatus> engineStatuses() const;
    // Moves on whenever overallStatus() or statusSummary() may have changed: an engine's status,
    // the engines or the pairs. The icon's frequent look costs a comparison while it stays.
    std::uint64_t statusGeneration() const { return m_statusGeneration; }

    const EngineMap& engines() const { return m_engines; }
    // Null when the pair has no engine.
    BackupEngine* engine(const QUuid& id) const;
    ConfigStore& configStore() const { return m_configStore; }
    VolumeMonitor& volumeMonitor() { return *m_volumeMonitor; }
    const std::shared_ptr<BackupQueue>& backupQueue() const { return m_backupQueue; }
    NotificationManager& notificationManager() { return *m_notificationManager; }
    const CopyRedundancyMap& copyRedundancy() const { return m_copyRedundancy; }
    // The mount table, bookmarks, volumes and file layer the engines use, for windows that set pairs up.
    platform::MountSource& mounts() const;
    const platform::Bookmarks& bookmarks() const;
    const platform::VolumeInfo& volumes() const;
    platform::FileSystem& fileSystem() const;

signals:
    // An engine was added, replaced or removed.
    void enginesChanged();
    void copyRedundancyChanged();
    // A pair came into or left the hold of "Pause All".
    void heldChanged();
    void reconnectingChanged();
    // statusGeneration() moved.
    void statusMayHaveChanged();
    // A pair's engine found a better-fitting profile; offered once per pair.
    void profileSuggested(const QUuid& pairId, const QString& pairName, BackupProfile recommendedProfile,
                          qint64 approximateBytes);

private:
    // A new engine for the pair, wired to the store, the queue and the notifications, in the
    // dictionary in place of any other; not started.
    BackupEngine& createEngine(const QUuid& id);
    std::unique_ptr<BackupEngine> takeEngine(const QUuid& id);
    std::optional<BackupPair> storedPair(const QUuid& id) const;
    // Starts a pair found again after its destination went; records the return once it no longer waits.
    void resumeReturned(BackupEngine& engine, const BackupPair& pair);
    bool isDestinationOnVolume(const BackupPair& pair, const BackupEngine& engine,
                               const std::filesystem::path& mountPoint) const;
    // Another pair that keeps its backup in the folder `pair` would use at `destination`.
    std::optional<BackupPair> pairUsingBackupFolder(const BackupPair& pair,
                                                    const std::filesystem::path& destination) const;
    void setCopyRedundancy(CopyRedundancyMap redundancy);
    void setHeld(std::set<QUuid> held);
    void releaseHold(const QUuid& id);
    // Ends the pair's pause, whichever it is, and starts its engine.
    void resume(BackupEngine& engine, BackupPair pair);

    void scheduledRunDue();
    platform::ContinuousClock& clock() const;

    ConfigStore& m_configStore;
    BackupEngine::Environment m_engineEnvironment;
    EngineMap m_engines;
    std::shared_ptr<BackupQueue> m_backupQueue;
    CopyRedundancyMap m_copyRedundancy;
    std::unique_ptr<VolumeMonitor> m_volumeMonitor;
    std::unique_ptr<NotificationManager> m_notificationManager;
    std::set<QUuid> m_held;
    platform::ContinuousClock* m_clock = nullptr;
    std::unique_ptr<platform::ContinuousTimer> m_scheduleTimer;
    std::optional<std::chrono::seconds> m_scheduleInterval;
    platform::ContinuousClock::Duration m_nextRun{};
    QTimer m_powerPollTimer;
    std::uint64_t m_statusGeneration = 0;
    // Triggers this coordinator made itself because none were handed in.
    std::unique_ptr<platform::WakeSource> m_ownWake;
    std::unique_ptr<platform::ScreenSleepSource> m_ownScreens;
    std::unique_ptr<platform::NetworkSource> m_ownNetwork;
    std::unique_ptr<VolumeReconnector> m_volumeReconnector;
};

} // namespace larkfold
