#pragma once

#include <QObject>

#include <filesystem>
#include <memory>

class QSocketNotifier;

namespace larkfold::platform {

// Tells when the mount table may have changed: the kernel flags an open mountinfo file for
// poll() with POLLPRI at every mount and unmount. Says nothing about what changed. Main thread.
class MountWatcher : public QObject {
    Q_OBJECT

public:
    explicit MountWatcher(std::filesystem::path file = "/proc/self/mountinfo", QObject* parent = nullptr);
    ~MountWatcher() override;

    // Starts watching; false (logged) when the file cannot be opened. Does nothing when watching.
    bool start();
    void stop();
    bool isWatching() const { return m_fd >= 0; }

signals:
    void changed();

private:
    std::filesystem::path m_file;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace larkfold::platform
