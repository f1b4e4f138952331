#include "engine/FileWatcher.h"

#include "platform/InotifyFileEvents.h"
#include "platform/MainThread.h"

namespace larkfold {
namespace {

constexpr platform::FileEventFlags kFlagsOfInterest = platform::FileEventFlag::mustScan
    | platform::FileEventFlag::rootChanged | platform::FileEventFlag::created | platform::FileEventFlag::removed
    | platform::FileEventFlag::renamed | platform::FileEventFlag::modified;

} // namespace

FileWatcher::FileWatcher() : FileWatcher(std::make_unique<platform::InotifyFileEvents>()) {}

FileWatcher::FileWatcher(std::unique_ptr<platform::FileEvents> events) : m_events(std::move(events)) {}

FileWatcher::~FileWatcher()
{
    stop();
}

void FileWatcher::setOnEventsDetected(std::function<void()> callback)
{
    m_onEventsDetected = std::move(callback);
}

void FileWatcher::setOnWatchesIncomplete(std::function<void()> callback)
{
    m_events->setOnIncomplete(std::move(callback));
}

std::optional<BackupError> FileWatcher::start(const std::filesystem::path& path)
{
    platform::requireMainThread("FileWatcher::start");
    if (m_isWatching)
        return std::nullopt;
    if (auto failure = m_events->start(path, [this](const platform::FileEventBatch& batch) { handleBatch(batch); }))
        return BackupError::watcherFailed(*failure);
    m_isWatching = true;
    return std::nullopt;
}

void FileWatcher::stop()
{
    if (!m_isWatching)
        return;
    m_events->stop();
    m_isWatching = false;
}

void FileWatcher::handleBatch(const platform::FileEventBatch& batch)
{
    if (batch.eventCount == 0 || !(batch.flags & kFlagsOfInterest))
        return;
    // One more hop, so the engine never runs inside the event delivery itself.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_onEventsDetected)
                m_onEventsDetected();
        },
        Qt::QueuedConnection);
}

} // namespace larkfold
