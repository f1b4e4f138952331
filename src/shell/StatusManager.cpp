#include "shell/StatusManager.h"

#include "copy/BandwidthThrottle.h"
#include "engine/NotificationManager.h"
#include "engine/PowerConditions.h"
#include "platform/Bookmark.h"
#include "platform/ContinuousTimer.h"
#include "platform/FileSystem.h"
#include "platform/LinuxNetworkSource.h"
#include "platform/LinuxNotifier.h"
#include "platform/LogindWakeSource.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/Paths.h"
#include "platform/Reachability.h"
#include "platform/ScreenSaverSleepSource.h"
#include "platform/VolumeInfo.h"
#include "shell/OverallStatus.h"
#include "shell/VolumeReconnector.h"
#include "store/ConfigStore.h"

#include <QPointer>

#include <sys/stat.h>

#include <algorithm>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds kPowerPollIntervalSeconds{30};

// The same folder: equal canonical paths, or the same device and inode where both exist.
bool isSameFolder(const fs::path& a, const fs::path& b)
{
    if (platform::canonicalPath(a) == platform::canonicalPath(b))
        return true;
    struct stat first{};
    struct stat second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

std::unique_ptr<platform::Notifier> notifierOrDefault(std::unique_ptr<platform::Notifier> notifier)
{
    return notifier ? std::move(notifier) : std::make_unique<platform::LinuxNotifier>();
}

} // namespace

StatusManager::StatusManager(ConfigStore& configStore, QObject* parent)
    : StatusManager(configStore, Environment{}, parent)
{
}

StatusManager::StatusManager(ConfigStore& configStore, Environment environment, QObject* parent)
    : QObject(parent), m_configStore(configStore), m_engineEnvironment(environment.engine),
      m_backupQueue(std::make_shared<BackupQueue>(environment.queue)), m_clock(environment.clock),
      m_scheduleTimer(std::move(environment.scheduleTimer))
{
    platform::requireMainThread("StatusManager");
    const auto moveOn = [this] {
        ++m_statusGeneration;
        emit statusMayHaveChanged();
    };
    connect(this, &StatusManager::enginesChanged, this, moveOn);
    connect(&m_configStore, &ConfigStore::pairsChanged, this, moveOn);
    // One wake source serves the daily summary and the reconnector.
    platform::WakeSource* wake = environment.wake;
    if (!wake) {
        m_ownWake = std::make_unique<platform::LogindWakeSource>();
        wake = m_ownWake.get();
    }
    VolumeMonitor::Environment monitorEnvironment = environment.volumeMonitor;
    if (!monitorEnvironment.mounts)
        monitorEnvironment.mounts = m_engineEnvironment.mounts;
    m_volumeMonitor = std::make_unique<VolumeMonitor>(std::move(monitorEnvironment));
    m_notificationManager =
        std::make_unique<NotificationManager>(&m_configStore, notifierOrDefault(std::move(environment.notifier)), wake);
    currentBandwidthMode = static_cast<std::uint8_t>(m_configStore.appConfig().bandwidthMode);

    const QPointer<StatusManager> self(this);
    m_volumeMonitor->setOnVolumeDidMount([self](const fs::path& mountPoint) {
        if (self)
            self->handleVolumeMounted(mountPoint);
    });
    m_volumeMonitor->setOnVolumeDidUnmount([self](const fs::path& mountPoint) {
        if (self)
            self->handleVolumeUnmounted(mountPoint);
    });
    m_volumeMonitor->start();
    setupEngines();

    if (!m_scheduleTimer)
        m_scheduleTimer = std::make_unique<platform::BootTimeTimer>();
    connect(m_scheduleTimer.get(), &platform::ContinuousTimer::fired, this, &StatusManager::scheduledRunDue);
    rescheduleTimer();

    m_powerPollTimer.setInterval(kPowerPollIntervalSeconds);
    connect(&m_powerPollTimer, &QTimer::timeout, this, &StatusManager::powerPollTick);
    m_powerPollTimer.start();

    VolumeReconnector::Environment reconnect;
    reconnect.wake = wake;
    reconnect.screens = environment.screens;
    if (!reconnect.screens) {
        m_ownScreens = std::make_unique<platform::ScreenSaverSleepSource>();
        reconnect.screens = m_ownScreens.get();
    }
    reconnect.network = environment.network;
    if (!reconnect.network) {
        m_ownNetwork = std::make_unique<platform::LinuxNetworkSource>();
        reconnect.network = m_ownNetwork.get();
    }
    reconnect.mounts = &mounts();
    reconnect.bookmarks = m_engineEnvironment.bookmarks ? m_engineEnvironment.bookmarks : &platform::systemBookmarks();
    reconnect.clock = m_clock;
    reconnect.attemptDelay = environment.reconnectDelay;
    m_volumeReconnector = std::make_unique<VolumeReconnector>(*this, reconnect);
    connect(m_volumeReconnector.get(), &VolumeReconnector::reconnectingChanged, this,
            &StatusManager::reconnectingChanged);
    m_volumeReconnector->start();

    if (m_configStore.appConfig().notificationLevel != AppConfig::NotificationLevel::nothing)
        m_notificationManager->requestAuthorizationIfNeeded();
}

StatusManager::~StatusManager()
{
    stopTimers();
    stopAll();
    m_volumeMonitor->stop();
}

// --- Overall status ---

std::vector<BackupStatus> StatusManager::engineStatuses() const
{
    std::vector<BackupStatus> statuses;
    for (const BackupPair& pair : m_configStore.pairs())
        if (const BackupEngine* engine = this->engine(pair.id))
            statuses.push_back(engine->status());
    return statuses;
}

BackupStatus StatusManager::overallStatus() const
{
    return larkfold::overallStatus(engineStatuses());
}

QString StatusManager::statusSummary() const
{
    return larkfold::statusSummary(engineStatuses());
}

// --- Schedule and power poll ---

std::optional<std::chrono::seconds> StatusManager::scheduleInterval(AppConfig::BackupInterval interval)
{
    using Interval = AppConfig::BackupInterval;
    switch (interval) {
    case Interval::thirtyMinutes:
        return std::chrono::seconds(1800);
    case Interval::hourly:
        return std::chrono::seconds(3600);
    case Interval::fourHours:
        return std::chrono::seconds(14400);
    case Interval::manual:
        break;
    }
    return std::nullopt;
}

platform::ContinuousClock& StatusManager::clock() const
{
    return m_clock ? *m_clock : platform::continuousClock();
}

void StatusManager::rescheduleTimer()
{
    currentBandwidthMode = static_cast<std::uint8_t>(m_configStore.appConfig().bandwidthMode);
    m_scheduleTimer->stop();
    m_scheduleInterval = scheduleInterval(m_configStore.appConfig().backupInterval);
    if (!m_scheduleInterval)
        return;
    m_nextRun = clock().now() + *m_scheduleInterval;
    m_scheduleTimer->startAt(m_nextRun);
}

std::optional<platform::ContinuousClock::Duration> StatusManager::nextScheduledRun() const
{
    if (!m_scheduleInterval || !m_scheduleTimer->isActive())
        return std::nullopt;
    return m_nextRun;
}

void StatusManager::scheduledRunDue()
{
    if (!m_scheduleInterval)
        return;
    // Counted from now: after a long sleep one run is due at once, not one for each interval missed.
    m_nextRun = clock().now() + *m_scheduleInterval;
    m_scheduleTimer->startAt(m_nextRun);
    // Paused pairs, also those "Pause All" holds, wait for the user to resume them.
    backupAllNow();
}

void StatusManager::powerPollTick()
{
    if (powerPauseReason(m_engineEnvironment.power ? *m_engineEnvironment.power : platform::systemPowerSource()))
        return;
    for (const BackupPair& pair : std::vector<BackupPair>(m_configStore.pairs())) {
        BackupEngine* engine = this->engine(pair.id);
        if (engine && !isPaused(pair) && engine->status() == BackupStatus::paused()) {
            engine->debouncer().cancel();
            engine->triggerBackup(pair);
        }
    }
}

void StatusManager::stopTimers()
{
    m_scheduleTimer->stop();
    m_scheduleInterval.reset();
    m_powerPollTimer.stop();
    if (m_volumeReconnector)
        m_volumeReconnector->stop();
}

// --- Pairs ---

void StatusManager::addPair(const BackupPair& pair)
{
    m_configStore.addPair(pair);
    if (!m_held.empty() && pair.isEnabled) {
        // "Pause All" holds: the new pair waits with the others, and "Resume All" starts it.
        createEngine(pair.id).setStatus(BackupStatus::paused());
        std::set<QUuid> held = m_held;
        held.insert(pair.id);
        setHeld(std::move(held));
    } else {
        setupEngine(pair);
    }
    recomputeCopyRedundancy();
}

void StatusManager::removePair(const QUuid& id)
{
    if (auto engine = takeEngine(id))
        engine->stop();
    releaseHold(id);
    m_configStore.removePair(id);
    recomputeCopyRedundancy();
}

StatusManager::RelinkResult StatusManager::relinkPair(const QUuid& id, const fs::path& newDestination)
{
    auto record = storedPair(id);
    if (!record)
        return {false, QStringLiteral("This backup no longer exists.")};
    // Mirroring into another pair's backup folder would move that pair's files to the trash.
    if (const auto other = pairUsingBackupFolder(*record, newDestination))
        return {false,
                QStringLiteral("The backup “%1” already uses the folder “%2” there — choose another destination.")
                    .arg(other->name, BackupPair::sanitizedFolderName(record->name))};

    if (auto engine = takeEngine(id))
        engine->stop();
    // Pointed somewhere new by the user, the pair runs again.
    releaseHold(id);
    record->destinationURL = newDestination;
    QString error;
    if (auto bookmark = bookmarks().create(newDestination, &error)) {
        record->destinationBookmark = std::move(bookmark);
        record->isEnabled = true;
        m_configStore.updatePair(*record);
        setupEngine(*record);
    } else {
        qCCritical(lcBookmark).noquote()
            << QStringLiteral("Could not create destination bookmark for relink: %1").arg(error);
        // The old folder's bookmark would lead the pair back there; without one the user can relink again.
        record->destinationBookmark.reset();
        m_configStore.updatePair(*record);
        createEngine(id).setStatus(BackupStatus::error(BackupError::bookmarkAccessDenied(newDestination)));
    }
    recomputeCopyRedundancy();
    return {true, {}};
}

void StatusManager::togglePause(const QUuid& id)
{
    BackupEngine* engine = this->engine(id);
    auto record = storedPair(id);
    if (!engine || !record)
        return;
    if (isPaused(*record)) {
        resume(*engine, *record);
    } else {
        engine->stop();
        engine->setStatus(BackupStatus::paused());
        record->isEnabled = false;
        m_configStore.updatePair(*record);
    }
}

void StatusManager::resume(BackupEngine& engine, BackupPair pair)
{
    releaseHold(pair.id);
    if (!pair.isEnabled) {
        pair.isEnabled = true;
        m_configStore.updatePair(pair);
    }
    engine.start(pair);
}

void StatusManager::pauseAll()
{
    std::set<QUuid> held;
    for (auto& [id, engine] : m_engines) {
        engine->stop();
        engine->setStatus(BackupStatus::paused());
        held.insert(id);
    }
    setHeld(std::move(held));
}

void StatusManager::resumeAll()
{
    setHeld({});
    for (const BackupPair& pair : std::vector<BackupPair>(m_configStore.pairs()))
        if (BackupEngine* engine = this->engine(pair.id))
            resume(*engine, pair);
}

void StatusManager::releaseHold(const QUuid& id)
{
    if (!m_held.contains(id))
        return;
    std::set<QUuid> held = m_held;
    held.erase(id);
    setHeld(std::move(held));
}

void StatusManager::setHeld(std::set<QUuid> held)
{
    if (held == m_held)
        return;
    m_held = std::move(held);
    emit heldChanged();
}

std::vector<BackupPair> StatusManager::backupAllNow()
{
    std::vector<BackupPair> leftOut;
    for (const BackupPair& pair : std::vector<BackupPair>(m_configStore.pairs())) {
        BackupEngine* engine = this->engine(pair.id);
        if (!engine)
            continue;
        if (isPaused(pair)) {
            leftOut.push_back(pair);
            continue;
        }
        engine->debouncer().cancel();
        engine->triggerBackup(pair);
    }
    return leftOut;
}

void StatusManager::backupPairNow(const QUuid& id)
{
    BackupEngine* engine = this->engine(id);
    const auto record = storedPair(id);
    if (!engine || !record || isPaused(*record))
        return;
    engine->debouncer().cancel();
    engine->triggerBackup(*record);
}

std::vector<std::unique_ptr<BackupEngine>> StatusManager::stopAll()
{
    std::vector<std::unique_ptr<BackupEngine>> stopped;
    for (auto& [id, engine] : m_engines) {
        engine->stop();
        stopped.push_back(std::move(engine));
    }
    if (stopped.empty())
        return stopped;
    m_engines.clear();
    emit enginesChanged();
    return stopped;
}

void StatusManager::setupEngines()
{
    for (const BackupPair& pair : std::vector<BackupPair>(m_configStore.pairs()))
        setupEngine(pair);
    recomputeCopyRedundancy();
}

void StatusManager::setupEngine(const BackupPair& pair)
{
    if (BackupEngine* old = engine(pair.id))
        old->stop();
    createEngine(pair.id).start(pair);
}

void StatusManager::logEvent(const QUuid& pairId, BackupEvent::EventType type)
{
    BackupEvent event;
    event.id = QUuid::createUuid();
    event.pairId = pairId;
    event.timestamp = QDateTime::currentDateTimeUtc();
    event.type = type;
    m_configStore.addEvent(event);
}

// --- Volumes ---

void StatusManager::handleVolumeMounted(const fs::path& mountPoint)
{
    for (const BackupPair& pair : std::vector<BackupPair>(m_configStore.pairs())) {
        BackupEngine* engine = this->engine(pair.id);
        if (engine && engine->status().is<BackupStatus::DestinationUnreachable>()
            && isDestinationOnVolume(pair, *engine, mountPoint))
            resumeReturned(*engine, pair);
    }
    recomputeCopyRedundancy();
}

void StatusManager::handleVolumeUnmounted(const fs::path& mountPoint)
{
    for (const BackupPair& pair : std::vector<BackupPair>(m_configStore.pairs())) {
        BackupEngine* engine = this->engine(pair.id);
        // A pair the user paused, alone or with all, has nothing to stop and stays paused.
        if (!engine || isPaused(pair) || !isDestinationOnVolume(pair, *engine, mountPoint))
            continue;
        engine->stop();
        engine->setStatus(BackupStatus::destinationUnreachable());
        logEvent(pair.id, BackupEvent::EventType::volumeLost);
        m_notificationManager->notifyDriveDisconnected(pair.name);
    }
    recomputeCopyRedundancy();
}

void StatusManager::handleReconnected(const QUuid& pairId, const BackupPair& pair)
{
    BackupEngine* engine = this->engine(pairId);
    if (!engine || !engine->status().is<BackupStatus::DestinationUnreachable>())
        return;
    resumeReturned(*engine, storedPair(pairId).value_or(pair));
    recomputeCopyRedundancy();
}

void StatusManager::resumeReturned(BackupEngine& engine, const BackupPair& pair)
{
    // Another file system at or above the mount point does not bring the destination back.
    if (pair.isEnabled && BackupEngine::isDestinationAvailable(pair.destinationURL, pair.destinationBookmark, mounts()))
        logEvent(pair.id, BackupEvent::EventType::volumeRestored);
    // "Pause All" holds: the pair waits paused for the user to resume.
    if (isHeld(pair.id)) {
        engine.setStatus(BackupStatus::paused());
        return;
    }
    // start() checks the destination itself, watches the source anew and backs up; a disabled
    // pair it only shows as paused.
    engine.start(pair);
}

bool StatusManager::isDestinationOnVolume(const BackupPair& pair, const BackupEngine& engine,
                                          const fs::path& mountPoint) const
{
    const auto& resolved = engine.resolvedDestinationURL();
    return isOnVolume(pair.destinationURL, mountPoint) || (resolved && isOnVolume(*resolved, mountPoint));
}

bool StatusManager::isOnVolume(const fs::path& path, const fs::path& mountPoint)
{
    return platform::isSameOrBelow(platform::canonicalPath(path), platform::canonicalPath(mountPoint));
}

// --- Copy redundancy ---

void StatusManager::recomputeCopyRedundancy()
{
    setCopyRedundancy(computeCopyRedundancy(m_configStore.pairs(), mounts().mounts()));
}

std::optional<bool> StatusManager::isSourceMissing(const fs::path& source, const std::optional<QByteArray>& bookmark,
                                                   const std::vector<platform::MountEntry>& mounts)
{
    switch (platform::folderPresence(source, bookmark, mounts)) {
    case platform::FolderPresence::missing:
        return true;
    case platform::FolderPresence::reachable:
    case platform::FolderPresence::notAFolder:
        return false;
    case platform::FolderPresence::elsewhere:
        break;
    }
    return std::nullopt;
}

void StatusManager::setCopyRedundancy(CopyRedundancyMap redundancy)
{
    if (redundancy == m_copyRedundancy)
        return;
    m_copyRedundancy = std::move(redundancy);
    emit copyRedundancyChanged();
}

// --- Helpers ---

BackupEngine* StatusManager::engine(const QUuid& id) const
{
    const auto found = m_engines.find(id);
    return found == m_engines.end() ? nullptr : found->second.get();
}

BackupEngine& StatusManager::createEngine(const QUuid& id)
{
    auto engine = std::make_unique<BackupEngine>(id, m_engineEnvironment);
    engine->setConfigStore(&m_configStore);
    engine->setBackupQueue(m_backupQueue);
    engine->setNotificationManager(m_notificationManager.get());
    // The engine marks the suggestion as made before it tells: unheard, it would be lost for good.
    connect(engine.get(), &BackupEngine::profileSuggested, this, &StatusManager::profileSuggested);
    connect(engine.get(), &BackupEngine::statusChanged, this, [this] {
        ++m_statusGeneration;
        emit statusMayHaveChanged();
    });
    BackupEngine& created = *engine;
    m_engines.insert_or_assign(id, std::move(engine));
    emit enginesChanged();
    return created;
}

std::unique_ptr<BackupEngine> StatusManager::takeEngine(const QUuid& id)
{
    const auto found = m_engines.find(id);
    if (found == m_engines.end())
        return nullptr;
    std::unique_ptr<BackupEngine> engine = std::move(found->second);
    m_engines.erase(found);
    emit enginesChanged();
    return engine;
}

std::optional<BackupPair> StatusManager::storedPair(const QUuid& id) const
{
    const auto& pairs = m_configStore.pairs();
    const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const BackupPair& p) { return p.id == id; });
    return found == pairs.end() ? std::nullopt : std::optional<BackupPair>(*found);
}

std::optional<BackupPair> StatusManager::pairUsingBackupFolder(const BackupPair& pair, const fs::path& destination) const
{
    const fs::path folder = BackupEngine::backupFolder(destination, pair.name);
    for (const BackupPair& other : m_configStore.pairs())
        if (other.id != pair.id && isSameFolder(BackupEngine::backupFolder(other.destinationURL, other.name), folder))
            return other;
    return std::nullopt;
}

platform::MountSource& StatusManager::mounts() const
{
    return m_engineEnvironment.mounts ? *m_engineEnvironment.mounts : platform::systemMountSource();
}

const platform::Bookmarks& StatusManager::bookmarks() const
{
    return m_engineEnvironment.bookmarks ? *m_engineEnvironment.bookmarks : platform::systemBookmarks();
}

const platform::VolumeInfo& StatusManager::volumes() const
{
    return m_engineEnvironment.volumes ? *m_engineEnvironment.volumes : platform::systemVolumeInfo();
}

platform::FileSystem& StatusManager::fileSystem() const
{
    return m_engineEnvironment.fileSystem ? *m_engineEnvironment.fileSystem : platform::systemFileSystem();
}

} // namespace larkfold
