#pragma once

#include "platform/ContinuousTimer.h"
#include "platform/FakeNotifier.h"
#include "platform/FakePowerSource.h"
#include "platform/FakeVolumeInfo.h"
#include "platform/IdleTime.h"
#include "platform/UserDefaults.h"
#include "shell/StatusManager.h"
#include "store/ConfigStore.h"
#include "support/TempTree.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace larkfold::test {

// A coordinator over real folders with real engines: its own store in a temporary folder, a
// computer on mains with unknown volume space, and notifications recorded by a fake unless the
// test hands in another notifier. The coordinator is built by start(), after the test has
// stored the pairs it should find at launch.
class Coordinator {
public:
    Coordinator();
    // Destroys the coordinator and waits until every task of the process has ended.
    ~Coordinator();

    // A record of real folders, stored or only made (for StatusManager::addPair).
    BackupPair storePair(const QString& name, const std::filesystem::path& source,
                         const std::filesystem::path& destination, bool isEnabled = true);
    BackupPair makePair(const QString& name, const std::filesystem::path& source,
                        const std::filesystem::path& destination, bool isEnabled = true) const;

    // "Docs" with `docsFileCount` files and the paused "Music", both backed up into "dest".
    struct TwoPairs {
        BackupPair docs;
        BackupPair music;
    };
    TwoPairs storeDocsAndPausedMusic(int docsFileCount = 1);

    // Before start(), which hands it to the copy loops; quiet gives each file 30 ms, so a run
    // lasts long enough to act during it.
    void setBandwidthMode(AppConfig::BandwidthMode mode);
    StatusManager& start(std::unique_ptr<platform::Notifier> notifier = nullptr);
    StatusManager& manager() { return *m_manager; }
    ConfigStore& store() { return m_store; }
    BackupEngine& engine(const QUuid& id);
    BackupPair storedPair(const QUuid& id) const;

    // The pair's events of that type so far.
    int eventCount(const QUuid& id, BackupEvent::EventType type) const;
    std::vector<BackupEvent::EventType> eventTypes(const QUuid& id) const;
    // Spins until the pair has `count` events of that type; false after `timeoutMs`.
    bool waitForEvents(const QUuid& id, BackupEvent::EventType type, int count, int timeoutMs = 15000);
    // Spins until no backup task of the process is left and what they sent has arrived.
    bool waitForTasks(int timeoutMs = 15000);
    // Titles of the notifications the fake recorded.
    std::vector<QString> notificationTitles() const;

    // The schedule's clock and timer: advance the clock, then poll the timer.
    platform::FakeContinuousTimer& scheduleTimer() { return *m_scheduleTimer; }
    // Moves the continuous clock on (as a suspend does) and lets a due schedule fire.
    void advanceClock(std::chrono::seconds by);

    StatusManager::Environment environment;
    platform::FakeContinuousClock clock;
    platform::FakeWakeSource wake;
    platform::FakeScreenSleepSource screens;
    platform::FakeNetworkSource network;
    platform::FakeVolumeInfo volumes;
    platform::FakePowerSource power;
    platform::FakeIdleTime idle{std::chrono::hours(1)};
    platform::MemoryUserDefaults defaults;
    TempTree tree;

private:
    TempDir m_appSupport;
    ConfigStore m_store;
    platform::FakeNotifier* m_notifier = nullptr;
    platform::FakeContinuousTimer* m_scheduleTimer = nullptr;
    std::unique_ptr<StatusManager> m_manager;
};

} // namespace larkfold::test
