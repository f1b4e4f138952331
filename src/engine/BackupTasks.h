#pragma once

#include <QObject>

#include <atomic>

namespace larkfold {

// Every backup task of the process, those of engines already destroyed included, so whoever
// quits (or a test) can wait until none is left without asking each engine.
class BackupTasks : public QObject {
    Q_OBJECT

public:
    static BackupTasks& instance();

    // Tasks begun and not yet ended. Any thread.
    int runningCount() const { return m_running.load(); }

signals:
    // On the main thread, each time the last running task has ended.
    void allEnded();

private:
    friend class BackupEngine;
    BackupTasks() = default;

    // On the main thread, before the task's thread starts.
    void taskBegan();
    // On the task's thread, as the last thing it does.
    void taskEnded();

    std::atomic<int> m_running{0};
};

} // namespace larkfold
