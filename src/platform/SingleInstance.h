#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <filesystem>

namespace larkfold::platform {

// Holds the one-instance guard for the life of the process: an exclusive flock on a lock file
// in the data folder, which alone decides whether another instance runs. With a session bus the
// holder also takes the name io.larkfold.Larkfold and offers ShowPopover at /io/larkfold/Larkfold
// under it, so a second launch can bring the first one's popover up before it exits; when
// another process holds that name, the holder runs without the service.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kBusName = "io.larkfold.Larkfold";
    static constexpr const char* kObjectPath = "/io/larkfold/Larkfold";

    explicit SingleInstance(const QDBusConnection& sessionBus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the guard; false with a reason when another instance holds it or it cannot be taken.
    bool acquire(const std::filesystem::path& lockFile, QString& reason);
    // After a failed acquire(): whether another instance holds the guard.
    bool anotherInstanceIsRunning() const { return m_anotherInstanceRuns; }

    // From a second launch: asks the running instance to show its popover and waits, briefly, for
    // it to take the request. False with a reason when no instance took it.
    static bool askRunningInstanceToShowPopover(QString& reason,
                                                const QDBusConnection& sessionBus = QDBusConnection::sessionBus());

signals:
    // Another launch asked this instance to show its popover.
    void showPopoverRequested();

private:
    QDBusConnection m_bus;
    int m_fd = -1;
    bool m_ownsBusName = false;
    bool m_exported = false;
    bool m_anotherInstanceRuns = false;
};

} // namespace larkfold::platform
