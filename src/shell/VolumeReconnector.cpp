#include "shell/VolumeReconnector.h"

#include "engine/BackupEngine.h"
#include "platform/Bookmark.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/NetworkSource.h"
#include "platform/ScreenSleepSource.h"
#include "platform/UtilityTask.h"
#include "platform/WakeSource.h"
#include "shell/StatusManager.h"
#include "store/ConfigStore.h"

#include <QCoreApplication>

namespace larkfold {
namespace {

constexpr std::chrono::seconds kRecentlyHandledSeconds{5};

} // namespace

VolumeReconnector::VolumeReconnector(StatusManager& statusManager, Environment environment, QObject* parent)
    : QObject(parent), m_statusManager(&statusManager), m_environment(environment)
{
    m_pendingAttempt.setSingleShot(true);
    connect(&m_pendingAttempt, &QTimer::timeout, this, [this] {
        attempt(m_pendingTrigger);
        emit reconnectingChanged();
    });
}

VolumeReconnector::~VolumeReconnector()
{
    stop();
}

void VolumeReconnector::start()
{
    platform::requireMainThread("VolumeReconnector::start");
    if (m_started)
        return;
    m_started = true;
    if (m_environment.wake)
        m_connections.push_back(connect(m_environment.wake, &platform::WakeSource::woke, this,
                                        [this] { scheduleAttempt(QStringLiteral("wake")); }));
    if (m_environment.screens)
        m_connections.push_back(connect(m_environment.screens, &platform::ScreenSleepSource::screensDidWake, this,
                                        [this] { scheduleAttempt(QStringLiteral("screens-wake")); }));
    if (m_environment.network)
        m_connections.push_back(connect(m_environment.network, &platform::NetworkSource::networkBecameUsable, this,
                                        [this] { scheduleAttempt(QStringLiteral("network")); }));
}

void VolumeReconnector::stop()
{
    for (const auto& connection : m_connections)
        disconnect(connection);
    m_connections.clear();
    m_started = false;
    if (m_pendingAttempt.isActive()) {
        m_pendingAttempt.stop();
        emit reconnectingChanged();
    }
}

void VolumeReconnector::scheduleAttempt(const QString& trigger)
{
    platform::requireMainThread("VolumeReconnector::scheduleAttempt");
    if (m_pendingAttempt.isActive())
        return; // the pending attempt keeps the first trigger's name
    m_pendingTrigger = trigger;
    m_pendingAttempt.start(m_environment.attemptDelay);
    emit reconnectingChanged();
}

bool VolumeReconnector::isReconnecting(const QUuid& pairId) const
{
    if (m_inFlight.contains(pairId))
        return true;
    return m_pendingAttempt.isActive() && !wasHandledRecently(pairId, now());
}

bool VolumeReconnector::wasHandledRecently(const QUuid& pairId, platform::ContinuousClock::Duration now) const
{
    const auto found = m_recentlyHandled.find(pairId);
    return found != m_recentlyHandled.end() && now - found->second < kRecentlyHandledSeconds;
}

platform::ContinuousClock::Duration VolumeReconnector::now() const
{
    return (m_environment.clock ? *m_environment.clock : platform::continuousClock()).now();
}

void VolumeReconnector::attempt(const QString& trigger)
{
    if (!m_statusManager)
        return;
    const auto current = now();
    std::erase_if(m_recentlyHandled, [&](const auto& entry) { return current - entry.second >= kRecentlyHandledSeconds; });

    std::vector<Candidate> candidates;
    for (const BackupPair& pair : m_statusManager->configStore().pairs()) {
        const BackupEngine* engine = m_statusManager->engine(pair.id);
        if (engine && engine->status().is<BackupStatus::DestinationUnreachable>() && !m_inFlight.contains(pair.id)
            && !wasHandledRecently(pair.id, current))
            candidates.push_back({pair.id, pair});
    }
    if (candidates.empty())
        return;
    std::vector<QUuid> attempted;
    for (const Candidate& candidate : candidates) {
        m_inFlight.insert(candidate.id);
        attempted.push_back(candidate.id);
    }

    const platform::MountSource& mounts =
        m_environment.mounts ? *m_environment.mounts : platform::systemMountSource();
    const platform::Bookmarks& bookmarks =
        m_environment.bookmarks ? *m_environment.bookmarks : platform::systemBookmarks();
    const QPointer<VolumeReconnector> self(this);
    platform::startUtilityTask([self, candidates, attempted, trigger, &mounts, &bookmarks] {
        std::vector<Candidate> reachable;
        for (const Candidate& candidate : candidates)
            if (isReachable(candidate.pair, mounts, bookmarks))
                reachable.push_back(candidate);
        QMetaObject::invokeMethod(
            qApp,
            [self, reachable, attempted, trigger] {
                if (self)
                    self->applyResults(reachable, attempted, trigger);
            },
            Qt::QueuedConnection);
    });
}

bool VolumeReconnector::isReachable(const BackupPair& pair, const platform::MountSource& mounts,
                                    const platform::Bookmarks& bookmarks)
{
    if (BackupEngine::isDestinationAvailable(pair.destinationURL, pair.destinationBookmark, mounts))
        return true;
    // The drive may be back at another mount point; its bookmark finds it there.
    if (!pair.destinationBookmark)
        return false;
    const auto found = bookmarks.resolve(*pair.destinationBookmark);
    if (!found || !BackupEngine::isDestinationAvailable(found->folder, pair.destinationBookmark, mounts))
        return false;
    BackupEngine::logDuplicateMounts(found->folder, mounts);
    return true;
}

void VolumeReconnector::applyResults(const std::vector<Candidate>& reachable, const std::vector<QUuid>& attempted,
                                     const QString& trigger)
{
    for (const QUuid& id : attempted)
        m_inFlight.erase(id);
    if (!m_statusManager)
        return;
    const auto current = now();
    for (const Candidate& candidate : reachable) {
        m_recentlyHandled[candidate.id] = current;
        qCInfo(lcApp).noquote() << QStringLiteral("Auto-reconnected destination for pair \"%1\" (trigger: %2)")
                                       .arg(platform::hashedName(candidate.pair.name), trigger);
        m_statusManager->handleReconnected(candidate.id, candidate.pair);
    }
    emit reconnectingChanged();
    emit attemptFinished(trigger, int(attempted.size()), int(reachable.size()));
}

} // namespace larkfold
