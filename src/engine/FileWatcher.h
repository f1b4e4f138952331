#pragma once

#include "platform/FileEvents.h"
#include "store/BackupError.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace larkfold {

// What the engine needs of a watcher of its source folder.
class FileWatching {
public:
    virtual ~FileWatching() = default;
    // Called on the main thread after a batch of changes; set before start().
    virtual void setOnEventsDetected(std::function<void()> callback) = 0;
    // Called on the main thread, once per start, when some folders could not be watched (the
    // user's watch limit); set before start().
    virtual void setOnWatchesIncomplete(std::function<void()> callback) = 0;
    // Starts watching `path` and everything below it; a watcher already watching keeps its path and
    // succeeds. Returns `watcherFailed` when the folder cannot be watched.
    virtual std::optional<BackupError> start(const std::filesystem::path& path) = 0;
    // Ends watching; does nothing when idle. The watcher can be started again.
    virtual void stop() = 0;
    virtual bool isWatching() const = 0;
};

// Follows the source folder's file events and calls back once for every batch that holds a
// creation, removal, rename or modification, a change of the folder itself, or lost events.
// Main thread only.
class FileWatcher final : public QObject, public FileWatching {
    Q_OBJECT

public:
    // Watches through inotify.
    FileWatcher();
    explicit FileWatcher(std::unique_ptr<platform::FileEvents> events);
    ~FileWatcher() override;

    void setOnEventsDetected(std::function<void()> callback) override;
    void setOnWatchesIncomplete(std::function<void()> callback) override;
    std::optional<BackupError> start(const std::filesystem::path& path) override;
    void stop() override;
    bool isWatching() const override { return m_isWatching; }

private:
    void handleBatch(const platform::FileEventBatch& batch);

    std::function<void()> m_onEventsDetected;
    std::unique_ptr<platform::FileEvents> m_events;
    bool m_isWatching = false;
};

} // namespace larkfold
