#pragma once

#include <QFlags>
#include <QString>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>

namespace larkfold::platform {

// The kinds of change a file-event stream reports.
enum class FileEventFlag : unsigned {
    created = 1u << 0,
    removed = 1u << 1,
    renamed = 1u << 2,
    modified = 1u << 3,
    // The watched folder itself was removed, moved or unmounted.
    rootChanged = 1u << 4,
    // Events were lost; the whole tree must be looked at again.
    mustScan = 1u << 5,
};
Q_DECLARE_FLAGS(FileEventFlags, FileEventFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(FileEventFlags)

// One delivered batch: the flags of all its events together, and how many events it held.
struct FileEventBatch {
    FileEventFlags flags;
    std::size_t eventCount = 0;
};

// A stream of change events for one folder and everything below it.
class FileEvents {
public:
    using BatchHandler = std::function<void(const FileEventBatch&)>;
    using IncompleteHandler = std::function<void()>;

    virtual ~FileEvents() = default;

    // Called on the main thread, once per start, when some folders could not be watched (the
    // user's watch limit): their changes go unreported. Set before start().
    virtual void setOnIncomplete(IncompleteHandler handler) { (void)handler; }

    // Starts reporting changes made from now on; batches reach `onBatch` on the main thread.
    // Returns the failure text when the folder cannot be watched at all. Main thread only.
    virtual std::optional<QString> start(const std::filesystem::path& root, BatchHandler onBatch) = 0;
    // Ends the stream; no batch is delivered afterwards. Does nothing when not started.
    virtual void stop() = 0;
};

} // namespace larkfold::platform
