#pragma once

#include "platform/Notifier.h"
#include "store/AppConfig.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace larkfold {

class ConfigStore;

namespace platform {
class WakeSource;
}

// The program's only sender of user notifications. Reads the notification level and the
// trash-reminder switch from the store each time, counts the day's backups and errors for the
// daily summary and shows that summary at the next 20:00 local time. Lives on the main thread.
class NotificationManager : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kDailySummaryIdentifier = "lark-daily-summary";

    // The store is held weakly. `wake`, when given, re-aims the daily summary after the computer
    // slept (the main loop's timers stand still meanwhile).
    NotificationManager(ConfigStore* configStore, std::unique_ptr<platform::Notifier> notifier,
                        platform::WakeSource* wake = nullptr, QObject* parent = nullptr);
    ~NotificationManager() override;

    // Each may be called from any thread; off the main thread the work is queued to it.
    void notifyError(const QString& pairName, const QString& message);
    void notifyDriveAlmostFull(const QString& driveName, std::int64_t freeBytes);
    void notifyTrashReminder(std::int64_t trashBytes);
    void notifyDriveDisconnected(const QString& driveName);
    // The pair's source has more folders than the system lets the program watch; says how to raise the limit.
    void notifyWatchLimit(const QString& pairName);
    // A given message (the run's summary) takes the place of the file count.
    void notifyBackupComplete(const QString& pairName, int fileCount, const std::optional<QString>& message);

    // Linux asks no permission; this checks that a notification server is on the session bus and
    // logs once when none is, since nothing will be shown then. Main thread.
    void requestAuthorizationIfNeeded();

    // When the pending daily summary will be shown; none while no summary is pending. Main thread.
    std::optional<QDateTime> dailySummaryTime() const;

private:
    void onMainThread(std::function<void()> work);
    // The level to act on: `nothing` when the store says so, `errorsOnly` when the store is gone.
    AppConfig::NotificationLevel currentLevel() const;
    void resetDailyCountersIfNeeded();
    void scheduleDailySummary();
    void aimSummaryTimer();
    void summaryTimerFired();
    void deliverDailySummary();
    void post(const QString& title, const QString& body, const QString& identifier);

    QPointer<ConfigStore> m_configStore;
    std::unique_ptr<platform::Notifier> m_notifier;
    int m_todayBackupCount = 0;
    int m_todayErrorCount = 0;
    QDateTime m_lastResetDate;
    std::optional<QDateTime> m_lastTrashReminderDate;
    std::optional<platform::Notification> m_pendingSummary;
    QDateTime m_summaryAt;
    QTimer m_summaryTimer;
};

} // namespace larkfold
