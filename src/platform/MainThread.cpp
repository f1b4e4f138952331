#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>

namespace larkfold::platform {
namespace {

struct PendingCall {
    std::function<void()> fn;
    bool finished = false;
    bool ran = false;
};

struct Dispatcher {
    std::mutex mutex;
    std::condition_variable changed;
    bool quitting = false;
    std::set<std::shared_ptr<PendingCall>> waiting;
};

Dispatcher& dispatcher()
{
    static Dispatcher instance;
    return instance;
}

} // namespace

void postToMainThread(std::function<void()> fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

bool runOnMainThreadAndWait(std::function<void()> fn)
{
    if (isMainThread())
        qFatal("runOnMainThreadAndWait called on the main thread");
    Dispatcher& d = dispatcher();
    auto call = std::make_shared<PendingCall>();
    call->fn = std::move(fn);
    {
        std::lock_guard lock(d.mutex);
        if (d.quitting || !QCoreApplication::instance())
            return false;
        d.waiting.insert(call);
    }
    postToMainThread([call] {
        Dispatcher& d = dispatcher();
        {
            std::lock_guard lock(d.mutex);
            if (call->finished)
                return;
        }
        call->fn();
        std::lock_guard lock(d.mutex);
        call->ran = true;
        call->finished = true;
        d.changed.notify_all();
    });
    std::unique_lock lock(d.mutex);
    d.changed.wait(lock, [&] { return call->finished; });
    d.waiting.erase(call);
    return call->ran;
}

void beginQuitting()
{
    Dispatcher& d = dispatcher();
    std::lock_guard lock(d.mutex);
    d.quitting = true;
    for (const auto& call : d.waiting)
        call->finished = true;
    d.changed.notify_all();
}

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void requireMainThread(const char* what)
{
    if (!isMainThread())
        qFatal("%s must run on the main thread", what);
}

} // namespace larkfold::platform
