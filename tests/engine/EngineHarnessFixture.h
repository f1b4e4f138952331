#pragma once

#include "copy/BandwidthThrottle.h"
#include "engine/BackupEngine.h"
#include "engine/BackupQueue.h"
#include "engine/NotificationManager.h"
#include "platform/FakeNotifier.h"
#include "platform/FakePowerSource.h"
#include "platform/FakeVolumeInfo.h"
#include "platform/IdleTime.h"
#include "platform/UserDefaults.h"
#include "store/ConfigStore.h"
#include "support/TempTree.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace larkfold::test {

// What the coordinator will do for an engine, and no more: one store, one queue and one
// notification manager shared by the engines it makes, each handed those three before start().
// The computer's power, volume space and the notification server are fakes; folders are real.
class EngineHarness {
public:
    explicit EngineHarness(BackupQueue::Options queueOptions = {});
    ~EngineHarness();

    // A pair of real folders below the harness's own temporary folder, added to the store.
    BackupPair addPair(const QString& name, const std::filesystem::path& source,
                       const std::filesystem::path& destination);
    // Creates the pair's engine, gives it the store, the queue and the notifications, and starts it.
    BackupEngine& startEngine(const BackupPair& pair);
    // Creates and wires the engine without starting it.
    BackupEngine& makeEngine(const BackupPair& pair);

    BackupEngine& engine() { return *m_engines.back(); }
    // Every status the last engine took, in order, from its creation.
    const std::vector<BackupStatus>& statuses() const { return m_statuses; }
    // Spins the event loop until the engine's status matches; false after `timeoutMs`.
    // The bounds only matter when something is wrong: a loaded or sanitized machine takes its time.
    bool waitForStatus(const std::function<bool(const BackupStatus&)>& matches, int timeoutMs = 60000);
    bool waitUntilIdleAfterRun(int timeoutMs = 60000);
    // Spins until the engine's tasks have ended and what they sent to the main thread has arrived.
    bool waitForTasks(int timeoutMs = 60000);

    std::vector<BackupEvent::EventType> eventTypes() const;
    std::vector<QString> eventMessages() const;
    // Titles of the notifications shown so far.
    std::vector<QString> notificationTitles() const;
    std::vector<QString> notificationBodies() const;
    void setNotificationLevel(AppConfig::NotificationLevel level);

    // The pair's record as the store holds it now.
    BackupPair storedPair(const QUuid& id) const;

    const TempDir& dir() const { return m_dir; }
    ConfigStore& store() { return *m_store; }
    BackupQueue& queue() { return *m_queue; }

    BackupEngine::Environment environment;
    platform::FakeVolumeInfo volumes;
    platform::FakePowerSource power;
    platform::FakeIdleTime idle{std::chrono::hours(1)};
    platform::MemoryUserDefaults defaults;

private:
    TempDir m_dir;
    TempDir m_appSupport;
    std::unique_ptr<ConfigStore> m_store;
    std::shared_ptr<BackupQueue> m_queue;
    platform::FakeNotifier* m_notifier = nullptr;
    std::unique_ptr<NotificationManager> m_notifications;
    std::vector<std::unique_ptr<BackupEngine>> m_engines;
    std::vector<BackupStatus> m_statuses;
};

// The quiet bandwidth mode's 30 ms before each file, so a run lasts long enough to act during it.
class QuietMode {
public:
    QuietMode() { currentBandwidthMode = 1; }
    ~QuietMode() { currentBandwidthMode = 0; }
};

bool isIdle(const BackupStatus& status);
bool isCompleted(const BackupStatus& status);
bool isError(const BackupStatus& status);

} // namespace larkfold::test
