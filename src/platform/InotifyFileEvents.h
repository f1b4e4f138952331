#pragma once

#include "platform/FileEvents.h"
#include "platform/InotifyInstance.h"

#include <chrono>
#include <cstddef>
#include <limits>
#include <optional>

namespace larkfold::platform {

// File events from inotify: one watch per folder, on the process's one inotify instance, set up
// on its thread and extended to folders that appear later. Events are gathered for `latency`
// after the first one of a batch and then handed to the main thread as one batch.
class InotifyFileEvents final : public FileEvents, private InotifyInstance::Listener {
public:
    struct Options {
        std::chrono::milliseconds latency{500};
        // Watches this stream may hold; the instance's budget (nine tenths of
        // fs.inotify.max_user_watches) applies to all streams together.
        std::size_t maxWatches = std::numeric_limits<std::size_t>::max();
        // The instance to watch through; none: the process's own.
        InotifyInstance* instance = nullptr;
    };

    InotifyFileEvents();
    explicit InotifyFileEvents(Options options);
    ~InotifyFileEvents() override;

    void setOnIncomplete(IncompleteHandler handler) override;
    std::optional<QString> start(const std::filesystem::path& root, BatchHandler onBatch) override;
    void stop() override;

    // True once every folder present at start is watched, or the watch limit stopped the set-up.
    bool isSetUp() const;
    // Folders watched now.
    std::size_t watchCount() const;

private:
    void batchArrived(const FileEventBatch& batch) override;
    void watchesIncomplete() override;

    Options m_options;
    InotifyInstance& m_instance;
    std::optional<InotifyInstance::StreamId> m_stream;
    BatchHandler m_onBatch;
    IncompleteHandler m_onIncomplete;
};

} // namespace larkfold::platform
