#include "platform/InotifyFileEvents.h"

#include "platform/Log.h"
#include "platform/MainThread.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
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

} // namespace

struct InotifyFileEvents::Session {
    enum class Added { added, known, limit, failed };

    InotifyFileEvents* owner = nullptr;
    quint64 generation = 0;
    Options options;
    std::string root;
    int fd = -1;
    int wakeFd = -1;
    int rootWd = -1;
    bool limitReached = false;
    std::unordered_map<int, std::string> pathOfWatch;
    std::map<std::string, int> watchOfPath;
    std::atomic<std::size_t> watchCount{0};
    std::atomic<bool> setUp{false};
    std::jthread thread;

    ~Session()
    {
        if (thread.joinable()) {
            thread.request_stop();
            const uint64_t one = 1;
            [[maybe_unused]] auto written = ::write(wakeFd, &one, sizeof one);
            thread.join();
        }
        if (wakeFd >= 0)
            ::close(wakeFd);
        if (fd >= 0)
            ::close(fd);
    }

    void noteLimit()
    {
        if (limitReached)
            return;
        limitReached = true;
        qCWarning(lcBackupEngine).noquote()
            << QStringLiteral("Stopped adding inotify watches at %1 folders under %2: the watch limit is reached "
                              "(raise fs.inotify.max_user_watches). Changes in the other folders are picked up by "
                              "the scheduled backups.")
                   .arg(watchCount.load())
                   .arg(privateArg(std::filesystem::path(root)));
    }

    Added addWatch(const std::string& path, uint32_t extraMask, int* error = nullptr)
    {
        if (limitReached)
            return Added::limit;
        if (watchCount.load() >= options.maxWatches) {
            noteLimit();
            return Added::limit;
        }
        const int wd = inotify_add_watch(fd, path.c_str(), kWatchMask | extraMask);
        if (wd < 0) {
            if (error)
                *error = errno;
            if (errno == ENOSPC || errno == ENOMEM) {
                noteLimit();
                return Added::limit;
            }
            return Added::failed;
        }
        auto [it, inserted] = pathOfWatch.try_emplace(wd, path);
        if (!inserted) {
            // The same folder seen again: on a rescan under its own path, otherwise through a bind mount
            // (not descended, so a mount loop cannot recurse forever).
            return it->second == path ? Added::added : Added::known;
        }
        watchOfPath[path] = wd;
        watchCount.store(pathOfWatch.size());
        return Added::added;
    }

    // Watches `top` (already watched when `topWatched`) and every folder below it.
    void addTree(const std::string& top, bool topWatched, const std::stop_token& stop)
    {
        if (!topWatched && addWatch(top, IN_DONT_FOLLOW) != Added::added)
            return;
        std::vector<std::string> folders{top};
        while (!folders.empty() && !stop.stop_requested() && !limitReached) {
            const std::string folder = std::move(folders.back());
            folders.pop_back();
            DIR* dir = ::opendir(folder.c_str());
            if (!dir)
                continue;
            while (const dirent* entry = ::readdir(dir)) {
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                std::string child = joinPath(folder, name);
                bool isFolder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat st{};
                    isFolder = ::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
                }
                if (!isFolder)
                    continue;
                const Added added = addWatch(child, IN_DONT_FOLLOW);
                if (added == Added::limit)
                    break;
                if (added == Added::added)
                    folders.push_back(std::move(child));
            }
            ::closedir(dir);
        }
    }

    void removeTree(const std::string& top)
    {
        const auto drop = [&](std::map<std::string, int>::iterator it) {
            inotify_rm_watch(fd, it->second);
            pathOfWatch.erase(it->second);
            return watchOfPath.erase(it);
        };
        if (const auto it = watchOfPath.find(top); it != watchOfPath.end())
            drop(it);
        // From "top/" on: names such as "top 2" or "top.old" sort between "top" and its contents.
        for (auto it = watchOfPath.lower_bound(top + '/'); it != watchOfPath.end() && isUnder(it->first, top);)
            it = drop(it);
        watchCount.store(pathOfWatch.size());
    }

    void forget(int wd)
    {
        const auto it = pathOfWatch.find(wd);
        if (it == pathOfWatch.end())
            return;
        const auto byPath = watchOfPath.find(it->second);
        if (byPath != watchOfPath.end() && byPath->second == wd)
            watchOfPath.erase(byPath);
        pathOfWatch.erase(it);
        watchCount.store(pathOfWatch.size());
    }

    void post(const FileEventBatch& batch)
    {
        InotifyFileEvents* target = owner;
        const quint64 gen = generation;
        QMetaObject::invokeMethod(
            target, [target, gen, batch] { target->deliver(gen, batch); }, Qt::QueuedConnection);
    }

    void run(const std::stop_token& stop)
    {
        if (rootWd >= 0)
            addTree(root, true, stop);
        setUp.store(true);

        using Clock = std::chrono::steady_clock;
        alignas(inotify_event) char buffer[kReadBufferBytes];
        FileEventBatch batch;
        // The end of the current batch; none while no event waits.
        bool batchOpen = false;
        Clock::time_point deadline{};
        while (!stop.stop_requested()) {
            int timeoutMs = -1;
            if (batchOpen) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                timeoutMs = static_cast<int>(std::max<long long>(0, left.count()));
            }
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR)
                break;
            if (stop.stop_requested())
                break;
            bool rescan = false;
            if (fds[0].revents & POLLIN) {
                for (;;) {
                    const ssize_t length = ::read(fd, buffer, sizeof buffer);
                    if (length <= 0)
                        break;
                    for (ssize_t at = 0; at < length;) {
                        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                        rescan |= handle(*event, batch, stop);
                    }
                }
            }
            if (rescan)
                addTree(root, true, stop);
            if (batch.eventCount > 0 && !batchOpen) {
                batchOpen = true;
                deadline = Clock::now() + options.latency;
            }
            if (batchOpen && Clock::now() >= deadline) {
                post(batch);
                batch = {};
                batchOpen = false;
            }
        }
    }

    // Adds the event to the batch and follows folders coming and going; true when the tree must be rescanned.
    bool handle(const inotify_event& event, FileEventBatch& batch, const std::stop_token& stop)
    {
        if (event.mask & IN_Q_OVERFLOW) {
            batch.flags |= FileEventFlag::mustScan;
            ++batch.eventCount;
            return true;
        }
        if (event.mask & IN_IGNORED) {
            forget(event.wd);
            return false;
        }
        const auto it = pathOfWatch.find(event.wd);
        if (it == pathOfWatch.end())
            return false;
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
            if (event.wd == rootWd) {
                batch.flags |= FileEventFlag::rootChanged;
                ++batch.eventCount;
            }
            return false;
        }
        FileEventFlags flags;
        if (event.mask & IN_CREATE)
            flags |= FileEventFlag::created;
        if (event.mask & IN_DELETE)
            flags |= FileEventFlag::removed;
        if (event.mask & (IN_MOVED_FROM | IN_MOVED_TO))
            flags |= FileEventFlag::renamed;
        if (event.mask & IN_MODIFY)
            flags |= FileEventFlag::modified;
        if (!flags)
            return false;
        batch.flags |= flags;
        ++batch.eventCount;
        if ((event.mask & IN_ISDIR) && event.len > 0) {
            const std::string child = joinPath(it->second, event.name);
            if (event.mask & IN_MOVED_FROM)
                removeTree(child);
            else if (event.mask & (IN_CREATE | IN_MOVED_TO))
                addTree(child, false, stop);
        }
        return false;
    }
};

InotifyFileEvents::InotifyFileEvents() : InotifyFileEvents(Options{}) {}

InotifyFileEvents::InotifyFileEvents(Options options) : m_options(options) {}

InotifyFileEvents::~InotifyFileEvents()
{
    m_session.reset();
}

std::optional<QString> InotifyFileEvents::start(const std::filesystem::path& root, BatchHandler onBatch)
{
    requireMainThread("InotifyFileEvents::start");
    stop();
    auto session = std::make_unique<Session>();
    session->owner = this;
    session->generation = ++m_generation;
    session->options = m_options;
    session->root = root.string();
    while (session->root.size() > 1 && session->root.back() == '/')
        session->root.pop_back();
    session->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (session->fd < 0)
        return failureText("inotify_init1", root, errno);
    session->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (session->wakeFd < 0)
        return failureText("eventfd", root, errno);
    // The root is watched here so that a folder that cannot be watched is reported to the caller.
    int error = 0;
    const auto added = session->addWatch(session->root, 0, &error);
    if (added == Session::Added::failed)
        return failureText("inotify_add_watch", root, error);
    if (added == Session::Added::added)
        session->rootWd = session->watchOfPath.at(session->root);

    Session* raw = session.get();
    session->thread = std::jthread([raw](const std::stop_token& stop) { raw->run(stop); });
    m_session = std::move(session);
    m_onBatch = std::move(onBatch);
    return std::nullopt;
}

void InotifyFileEvents::stop()
{
    m_session.reset();
    m_onBatch = nullptr;
    ++m_generation;
}

bool InotifyFileEvents::isSetUp() const
{
    return m_session && m_session->setUp.load();
}

std::size_t InotifyFileEvents::watchCount() const
{
    return m_session ? m_session->watchCount.load() : 0;
}

void InotifyFileEvents::deliver(quint64 generation, const FileEventBatch& batch)
{
    if (generation == m_generation && m_onBatch)
        m_onBatch(batch);
}

} // namespace larkfold::platform
