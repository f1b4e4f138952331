#pragma once

#include <QObject>
#include <QUuid>

namespace larkfold {

// The application's own requests between windows that do not know each other: a pair row asks
// for the restore window, the status menu for the add-a-backup sheet. Main thread only; the
// application delegate observes them for the life of the process.
class AppNotifications : public QObject {
    Q_OBJECT

public:
    static AppNotifications& instance();

    void postShowRestore(const QUuid& pairId) { emit showRestoreRequested(pairId); }
    void postShowAddBackup() { emit showAddBackupRequested(); }

signals:
    // "larkfoldShowRestore": the restore window for the pair.
    void showRestoreRequested(const QUuid& pairId);
    // "larkfoldShowAddBackup": the popover on its add-a-backup sheet.
    void showAddBackupRequested();

private:
    AppNotifications() = default;
};

} // namespace larkfold
