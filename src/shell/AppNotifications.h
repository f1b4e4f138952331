#pragma once

#include <QObject>
#include <QUuid>

#include <string>
#include <vector>

namespace larkfold {

// The application's own requests between windows that do not know each other: a pair row asks
// for the restore window, the status menu for the add-a-backup sheet. Main thread only; the
// application delegate observes them for the life of the process.
class AppNotifications : public QObject {
    Q_OBJECT

public:
    static AppNotifications& instance();

    // `tick`: files of the backup (paths below the pair's backup folder) to tick in the list.
    void postShowRestore(const QUuid& pairId, const std::vector<std::string>& tick = {})
    {
        emit showRestoreRequested(pairId, tick);
    }
    void postShowRunErrors(const QUuid& pairId) { emit showRunErrorsRequested(pairId); }
    void postShowAddBackup() { emit showAddBackupRequested(); }

signals:
    // "larkfoldShowRestore": the restore window for the pair, with those files ticked.
    void showRestoreRequested(const QUuid& pairId, const std::vector<std::string>& tick);
    // The window listing what failed in the pair's last run.
    void showRunErrorsRequested(const QUuid& pairId);
    // "larkfoldShowAddBackup": the popover on its add-a-backup sheet.
    void showAddBackupRequested();

private:
    AppNotifications() = default;
};

} // namespace larkfold
