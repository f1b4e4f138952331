#pragma once

#include "platform/FileEvents.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <variant>

namespace larkfold::platform {

// One inotify instance and one thread that every file-event stream of the process shares. The
// kernel lets a user hold only a few instances (max_user_instances, 128 on most systems), and
// watches are counted per user: one instance per backup pair would run out of both and take
// them from the user's other programs. A folder watched for several streams costs one watch.
//
// Streams are added and removed on the main thread; folders are watched on the instance's thread,
// a few at a time, so one large tree does not hold up the events of the others. Batches reach
// the main thread through the instance's own QObject.
class InotifyInstance final : public QObject {
    Q_OBJECT

public:
    struct Options {
        // The user's watch limit, read once at start. Nine tenths of it at most are taken, so the
        // user's other programs keep at least a tenth.
        std::filesystem::path watchLimitFile = "/proc/sys/fs/inotify/max_user_watches";
    };

    // What a stream hears from the instance, on the main thread.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void batchArrived(const FileEventBatch& batch) = 0;
        // Some folders could not be watched; said once per stream.
        virtual void watchesIncomplete() = 0;
    };

    using StreamId = quint64;

    InotifyInstance();
    explicit InotifyInstance(Options options);
    ~InotifyInstance() override;

    // The process's instance, made on first use (on the main thread).
    static InotifyInstance& shared();

    // Watches `root` and everything below it for `listener` until removeStream(). Returns the
    // failure text when the root itself cannot be watched (or the instance cannot be had).
    // Main thread only.
    std::variant<StreamId, QString> addStream(const std::filesystem::path& root, Listener& listener,
                                              std::chrono::milliseconds latency, std::size_t maxWatches);
    // No batch of the stream is delivered afterwards. Main thread only.
    void removeStream(StreamId id);

    // The most watches the streams hold together.
    std::size_t watchBudget() const { return m_watchBudget; }
    // Watches held now, and those of one stream.
    std::size_t watchCount() const;
    std::size_t watchCount(StreamId id) const;
    // Every folder the stream had at its start is watched, or a limit stopped it.
    bool isSetUp(StreamId id) const;

private:
    struct State;
    void deliver(StreamId id, const std::optional<FileEventBatch>& batch);

    Options m_options;
    std::size_t m_watchBudget = std::numeric_limits<std::size_t>::max();
    std::unique_ptr<State> m_state;
    // Main thread only.
    std::map<StreamId, Listener*> m_listeners;
};

} // namespace larkfold::platform
