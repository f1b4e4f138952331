#include "platform/InotifyInstance.h"

#include "platform/Log.h"
#include "platform/MainThread.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace larkfold::platform {
namespace {

// IN_ATTRIB and IN_CLOSE_WRITE stay out: a touch or chmod alone is no change of content.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_DELETE_SELF
    | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::size_t kReadBufferBytes = 64 * 1024;
// Folders listed between two looks at the events, so a large tree being set up does not hold
// up the other streams.
constexpr int kFoldersPerSlice = 64;

using Clock = std::chrono::steady_clock;

QString failureText(const char* call, const std::filesystem::path& path, int error)
{
    return QStringLiteral("%1 failed for path: %2 (%3)")
        .arg(QLatin1String(call), QString::fromStdString(path.string()), QString::fromLocal8Bit(std::strerror(error)));
}

std::string joinPath(const std::string& folder, const char* name)
{
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    path += name;
    return path;
}

bool isUnder(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// Nine tenths of the user's limit, so the user's other programs keep at least a tenth.
std::size_t budgetFrom(const std::filesystem::path& limitFile)
{
    std::ifstream in(limitFile);
    unsigned long long limit = 0;
    if (!(in >> limit) || limit == 0)
        return std::numeric_limits<std::size_t>::max();
    return std::size_t(limit - (limit + 9) / 10);
}

} // namespace

struct InotifyInstance::State {
    enum class Added { added, known, limit, failed };

    struct Stream {
        StreamId id = 0;
        std::string root;
        std::chrono::milliseconds latency{};
        std::size_t maxWatches = 0;
        int rootWd = -1;
        // The stream's own names for the watches it holds: one folder may be watched for several
        // streams under different paths (a bind mount).
        std::unordered_map<int, std::string> pathOfWatch;
        std::map<std::string, int> watchOfPath;
        bool incomplete = false;
        std::size_t pendingFolders = 0;
        FileEventBatch batch;
        bool batchOpen = false;
        Clock::time_point deadline{};
    };

    struct Task {
        StreamId stream;
        std::string folder;
    };

    InotifyInstance* owner = nullptr;
    std::size_t budget = 0;

    mutable std::mutex mutex;
    int fd = -1;
    int wakeFd = -1;
    // Which streams each watch serves; a watch goes when the last of them lets it go.
    std::unordered_map<int, std::vector<StreamId>> subscribers;
    std::unordered_map<StreamId, std::unique_ptr<Stream>> streams;
    // Removed streams whose watches the thread still has to let go.
    std::vector<std::unique_ptr<Stream>> removed;
    std::deque<Task> folders;
    StreamId lastId = 0;
    std::jthread thread;

    ~State()
    {
        if (thread.joinable()) {
            thread.request_stop();
            wake();
            thread.join();
        }
        if (wakeFd >= 0)
            ::close(wakeFd);
        if (fd >= 0)
            ::close(fd);
    }

    void wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(wakeFd, &one, sizeof one);
    }

    std::optional<QString> open(const std::filesystem::path& root)
    {
        if (fd >= 0)
            return std::nullopt;
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0)
            return failureText("inotify_init1", root, errno);
        wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd < 0) {
            const int error = errno;
            ::close(fd);
            fd = -1;
            return failureText("eventfd", root, error);
        }
        thread = std::jthread([this](const std::stop_token& stop) { run(stop); });
        return std::nullopt;
    }

    void post(StreamId id, std::optional<FileEventBatch> batch)
    {
        InotifyInstance* target = owner;
        QMetaObject::invokeMethod(
            target, [target, id, batch] { target->deliver(id, batch); }, Qt::QueuedConnection);
    }

    void noteLimit(Stream& stream)
    {
        if (stream.incomplete)
            return;
        stream.incomplete = true;
        qCWarning(lcBackupEngine).noquote()
            << QStringLiteral("Stopped adding inotify watches at %1 folders under %2: the watch limit is reached "
                              "(raise fs.inotify.max_user_watches). Changes in the other folders are picked up by "
                              "the scheduled backups.")
                   .arg(stream.pathOfWatch.size())
                   .arg(privateArg(std::filesystem::path(stream.root)));
        post(stream.id, std::nullopt);
    }

    void letGo(StreamId id, int wd)
    {
        const auto it = subscribers.find(wd);
        if (it == subscribers.end())
            return;
        std::erase(it->second, id);
        if (it->second.empty()) {
            inotify_rm_watch(fd, wd);
            subscribers.erase(it);
        }
    }

    Added addWatch(Stream& stream, const std::string& path, uint32_t extraMask, int* error = nullptr)
    {
        if (stream.incomplete)
            return Added::limit;
        if (stream.pathOfWatch.size() >= stream.maxWatches) {
            noteLimit(stream);
            return Added::limit;
        }
        const int wd = inotify_add_watch(fd, path.c_str(), kWatchMask | extraMask);
        if (wd < 0) {
            const int failure = errno;
            if (error)
                *error = failure;
            if (failure == ENOSPC || failure == ENOMEM) {
                noteLimit(stream);
                return Added::limit;
            }
            return Added::failed;
        }
        auto [subscribed, isNew] = subscribers.try_emplace(wd);
        // A folder some stream already watches costs nothing more; a new one must fit the budget.
        if (isNew && subscribers.size() > budget) {
            subscribers.erase(subscribed);
            inotify_rm_watch(fd, wd);
            noteLimit(stream);
            return Added::limit;
        }
        auto [it, inserted] = stream.pathOfWatch.try_emplace(wd, path);
        if (!inserted) {
            // The same folder seen again: on a rescan under its own path, otherwise through a bind mount
            // (not descended, so a mount loop cannot recurse forever).
            return it->second == path ? Added::added : Added::known;
        }
        subscribed->second.push_back(stream.id);
        stream.watchOfPath[path] = wd;
        return Added::added;
    }

    void queueFolder(Stream& stream, std::string folder)
    {
        ++stream.pendingFolders;
        folders.push_back({stream.id, std::move(folder)});
    }

    // Watches the folders inside one folder of a stream and queues them to be listed in turn.
    void listFolder(const Task& task)
    {
        const auto found = streams.find(task.stream);
        if (found == streams.end())
            return;
        Stream& stream = *found->second;
        --stream.pendingFolders;
        if (stream.incomplete)
            return;
        DIR* dir = ::opendir(task.folder.c_str());
        if (!dir)
            return;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            std::string child = joinPath(task.folder, name);
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st{};
                isFolder = ::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            if (!isFolder)
                continue;
            const Added added = addWatch(stream, child, IN_DONT_FOLLOW);
            if (added == Added::limit)
                break;
            if (added == Added::added)
                queueFolder(stream, std::move(child));
        }
        ::closedir(dir);
    }

    void removeTree(Stream& stream, const std::string& top)
    {
        const auto drop = [&](std::map<std::string, int>::iterator it) {
            letGo(stream.id, it->second);
            stream.pathOfWatch.erase(it->second);
            return stream.watchOfPath.erase(it);
        };
        if (const auto it = stream.watchOfPath.find(top); it != stream.watchOfPath.end())
            drop(it);
        // From "top/" on: names such as "top 2" or "top.old" sort between "top" and its contents.
        for (auto it = stream.watchOfPath.lower_bound(top + '/');
             it != stream.watchOfPath.end() && isUnder(it->first, top);)
            it = drop(it);
    }

    // The watch is gone (its folder removed or unmounted): every stream forgets it.
    void forget(int wd)
    {
        const auto it = subscribers.find(wd);
        if (it == subscribers.end())
            return;
        for (const StreamId id : it->second) {
            const auto found = streams.find(id);
            if (found == streams.end())
                continue;
            Stream& stream = *found->second;
            const auto path = stream.pathOfWatch.find(wd);
            if (path == stream.pathOfWatch.end())
                continue;
            const auto byPath = stream.watchOfPath.find(path->second);
            if (byPath != stream.watchOfPath.end() && byPath->second == wd)
                stream.watchOfPath.erase(byPath);
            stream.pathOfWatch.erase(path);
        }
        subscribers.erase(it);
    }

    static void add(Stream& stream, FileEventFlags flags)
    {
        stream.batch.flags |= flags;
        ++stream.batch.eventCount;
        if (!stream.batchOpen) {
            stream.batchOpen = true;
            stream.deadline = Clock::now() + stream.latency;
        }
    }

    void handle(const inotify_event& event)
    {
        if (event.mask & IN_Q_OVERFLOW) {
            // Events were lost for everyone: each stream looks at its whole tree again.
            for (auto& [id, stream] : streams) {
                add(*stream, FileEventFlag::mustScan);
                if (stream->rootWd >= 0)
                    queueFolder(*stream, stream->root);
            }
            return;
        }
        if (event.mask & IN_IGNORED) {
            forget(event.wd);
            return;
        }
        const auto subscribed = subscribers.find(event.wd);
        if (subscribed == subscribers.end())
            return;
        FileEventFlags flags;
        if (event.mask & IN_CREATE)
            flags |= FileEventFlag::created;
        if (event.mask & IN_DELETE)
            flags |= FileEventFlag::removed;
        if (event.mask & (IN_MOVED_FROM | IN_MOVED_TO))
            flags |= FileEventFlag::renamed;
        if (event.mask & IN_MODIFY)
            flags |= FileEventFlag::modified;
        const bool self = event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT);
        // Copied: following a folder below may change who subscribes.
        const std::vector<StreamId> ids = subscribed->second;
        for (const StreamId id : ids) {
            const auto found = streams.find(id);
            if (found == streams.end())
                continue;
            Stream& stream = *found->second;
            if (self) {
                if (event.wd == stream.rootWd)
                    add(stream, FileEventFlag::rootChanged);
                continue;
            }
            if (!flags)
                continue;
            add(stream, flags);
            const auto parent = stream.pathOfWatch.find(event.wd);
            if (!(event.mask & IN_ISDIR) || event.len == 0 || parent == stream.pathOfWatch.end())
                continue;
            std::string child = joinPath(parent->second, event.name);
            if (event.mask & IN_MOVED_FROM) {
                removeTree(stream, child);
            } else if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
                // Watched at once, so what happens inside it from now on is seen; what is below it comes in turn.
                if (addWatch(stream, child, IN_DONT_FOLLOW) == Added::added)
                    queueFolder(stream, std::move(child));
            }
        }
    }

    void run(const std::stop_token& stop)
    {
        alignas(inotify_event) char buffer[kReadBufferBytes];
        while (!stop.stop_requested()) {
            int timeoutMs = -1;
            {
                std::lock_guard lock(mutex);
                if (!folders.empty() || !removed.empty()) {
                    timeoutMs = 0;
                } else {
                    for (const auto& [id, stream] : streams) {
                        if (!stream->batchOpen)
                            continue;
                        const auto left = std::chrono::ceil<std::chrono::milliseconds>(stream->deadline - Clock::now());
                        const int ms = static_cast<int>(std::max<long long>(0, left.count()));
                        timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
                    }
                }
            }
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR)
                break;
            if (stop.stop_requested())
                break;
            if (fds[1].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] auto got = ::read(wakeFd, &count, sizeof count);
            }
            std::lock_guard lock(mutex);
            if (fds[0].revents & POLLIN) {
                for (;;) {
                    const ssize_t length = ::read(fd, buffer, sizeof buffer);
                    if (length <= 0)
                        break;
                    for (ssize_t at = 0; at < length;) {
                        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                        handle(*event);
                    }
                }
            }
            for (auto& stream : removed) {
                for (const auto& [wd, path] : stream->pathOfWatch)
                    letGo(stream->id, wd);
            }
            removed.clear();
            for (int n = 0; n < kFoldersPerSlice && !folders.empty() && !stop.stop_requested(); ++n) {
                const Task task = std::move(folders.front());
                folders.pop_front();
                listFolder(task);
            }
            const auto now = Clock::now();
            for (auto& [id, stream] : streams) {
                if (stream->batchOpen && now >= stream->deadline) {
                    post(id, stream->batch);
                    stream->batch = {};
                    stream->batchOpen = false;
                }
            }
        }
    }
};

InotifyInstance::InotifyInstance() : InotifyInstance(Options{}) {}

InotifyInstance::InotifyInstance(Options options)
    : m_options(std::move(options)), m_watchBudget(budgetFrom(m_options.watchLimitFile)),
      m_state(std::make_unique<State>())
{
    m_state->owner = this;
    m_state->budget = m_watchBudget;
}

InotifyInstance::~InotifyInstance()
{
    m_state.reset();
}

InotifyInstance& InotifyInstance::shared()
{
    // Never destroyed: streams of objects that outlive main() may still let go of it.
    static InotifyInstance* instance = new InotifyInstance();
    return *instance;
}

std::variant<InotifyInstance::StreamId, QString> InotifyInstance::addStream(const std::filesystem::path& path,
                                                                            Listener& listener,
                                                                            std::chrono::milliseconds latency,
                                                                            std::size_t maxWatches)
{
    requireMainThread("InotifyInstance::addStream");
    std::string root = path.string();
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    std::lock_guard lock(m_state->mutex);
    if (auto failure = m_state->open(path))
        return *failure;
    auto stream = std::make_unique<State::Stream>();
    stream->id = ++m_state->lastId;
    stream->root = root;
    stream->latency = latency;
    stream->maxWatches = maxWatches;
    // The root is watched here so that a folder that cannot be watched is reported to the caller.
    int error = 0;
    const auto added = m_state->addWatch(*stream, root, 0, &error);
    if (added == State::Added::failed)
        return failureText("inotify_add_watch", path, error);
    const StreamId id = stream->id;
    m_listeners[id] = &listener;
    if (added == State::Added::added) {
        stream->rootWd = stream->watchOfPath.at(root);
        m_state->queueFolder(*stream, root);
    }
    m_state->streams.emplace(id, std::move(stream));
    m_state->wake();
    return id;
}

void InotifyInstance::removeStream(StreamId id)
{
    requireMainThread("InotifyInstance::removeStream");
    m_listeners.erase(id);
    std::lock_guard lock(m_state->mutex);
    const auto found = m_state->streams.find(id);
    if (found == m_state->streams.end())
        return;
    m_state->removed.push_back(std::move(found->second));
    m_state->streams.erase(found);
    m_state->wake();
}

std::size_t InotifyInstance::watchCount() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->subscribers.size();
}

std::size_t InotifyInstance::watchCount(StreamId id) const
{
    std::lock_guard lock(m_state->mutex);
    const auto found = m_state->streams.find(id);
    return found == m_state->streams.end() ? 0 : found->second->pathOfWatch.size();
}

bool InotifyInstance::isSetUp(StreamId id) const
{
    std::lock_guard lock(m_state->mutex);
    const auto found = m_state->streams.find(id);
    return found != m_state->streams.end() && found->second->pendingFolders == 0;
}

void InotifyInstance::deliver(StreamId id, const std::optional<FileEventBatch>& batch)
{
    const auto found = m_listeners.find(id);
    if (found == m_listeners.end())
        return;
    if (batch)
        found->second->batchArrived(*batch);
    else
        found->second->watchesIncomplete();
}

} // namespace larkfold::platform
