#pragma once

#include "platform/FileEvents.h"

#include <QObject>

#include <chrono>
#include <cstddef>
#include <limits>
#include <memory>

namespace larkfold::platform {

// File events from inotify: one watch per folder, set up on a thread of its own and extended to
// folders that appear later. Events are gathered for `latency` after the first one of a batch and
// then handed to the main thread as one batch.
class InotifyFileEvents final : public QObject, public FileEvents {
    Q_OBJECT

public:
    struct Options {
        std::chrono::milliseconds latency{500};
        // Watches this stream may hold; the kernel's own limit (fs.inotify.max_user_watches) also applies.
        std::size_t maxWatches = std::numeric_limits<std::size_t>::max();
    };

    InotifyFileEvents();
    explicit InotifyFileEvents(Options options);
    ~InotifyFileEvents() override;

    std::optional<QString> start(const std::filesystem::path& root, BatchHandler onBatch) override;
    void stop() override;

    // True once every folder present at start is watched, or the watch limit stopped the set-up.
    bool isSetUp() const;
    // Folders watched now.
    std::size_t watchCount() const;

private:
    struct Session;
    void deliver(quint64 generation, const FileEventBatch& batch);

    Options m_options;
    std::unique_ptr<Session> m_session;
    BatchHandler m_onBatch;
    quint64 m_generation = 0;
};

} // namespace larkfold::platform
