#include "platform/UtilityTask.h"

#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <sys/resource.h>
#include <unistd.h>

namespace larkfold::platform {
namespace {

// A nice value sets CPU and, on the default I/O schedulers, disk priority for one thread.
constexpr int kUtilityNiceness = 10;

QThreadPool* utilityPool()
{
    static QPointer<QThreadPool> pool;
    if (!pool && QCoreApplication::instance()) {
        // A child of the application: its destruction waits for the tasks still running.
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setObjectName(QStringLiteral("io.larkfold.utility"));
    }
    return pool;
}

} // namespace

void startUtilityTask(std::function<void()> work)
{
    requireMainThread("startUtilityTask");
    QThreadPool* pool = utilityPool();
    if (!pool)
        return;
    pool->start([work = std::move(work)] {
        // Only this pool's threads run utility work, so the raised nice value may stay with them.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kUtilityNiceness);
        work();
    });
}

bool waitForUtilityTasks(int timeoutMs)
{
    requireMainThread("waitForUtilityTasks");
    QThreadPool* pool = utilityPool();
    return !pool || pool->waitForDone(timeoutMs);
}

} // namespace larkfold::platform
