#include "engine/BackupTasks.h"

#include "platform/MainThread.h"

namespace larkfold {

BackupTasks& BackupTasks::instance()
{
    static BackupTasks tasks;
    return tasks;
}

void BackupTasks::taskBegan()
{
    ++m_running;
}

void BackupTasks::taskEnded()
{
    if (--m_running != 0)
        return;
    // Asked again on the main thread: a task may have begun since.
    platform::postToMainThread([] {
        BackupTasks& tasks = instance();
        if (tasks.runningCount() == 0)
            emit tasks.allEnded();
    });
}

} // namespace larkfold
