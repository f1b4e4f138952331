#include "engine/NotificationManager.h"

#include "platform/ByteCount.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/WakeSource.h"
#include "store/ConfigStore.h"

#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <chrono>

namespace larkfold {
namespace {

using Level = AppConfig::NotificationLevel;

constexpr int kDailySummaryHour = 20;
// The summary timer never waits longer than this before checking the wall clock again, so a
// changed clock or a sleep nobody announced delays the summary by at most this much.
constexpr std::int64_t kMaxSummaryWaitMs = 3600 * 1000;

const QString kDash = QStringLiteral(" \u2014 ");

QString requestIdentifier(const char* kind)
{
    return QLatin1String(kind) + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

bool isSameLocalDay(const QDateTime& a, const QDateTime& b)
{
    return a.toLocalTime().date() == b.toLocalTime().date();
}

QString counted(int count, const char* singular, const char* plural)
{
    return QString::number(count) + u' ' + QLatin1String(count == 1 ? singular : plural);
}

QString dailySummaryBody(int backups, int errors)
{
    QStringList parts;
    if (backups >= 1)
        parts << counted(backups, "backup", "backups") + QStringLiteral(" completed");
    if (errors >= 1)
        parts << counted(errors, "error", "errors");
    if (parts.isEmpty())
        return QStringLiteral("No backup activity today.");
    return parts.join(QStringLiteral(", ")) + u'.';
}

} // namespace

NotificationManager::NotificationManager(ConfigStore* configStore, std::unique_ptr<platform::Notifier> notifier,
                                         platform::WakeSource* wake, QObject* parent)
    : QObject(parent)
    , m_configStore(configStore)
    , m_notifier(std::move(notifier))
    , m_lastResetDate(platform::wallClock().now())
{
    // A coarse timer may be off by minutes over a day's wait.
    m_summaryTimer.setTimerType(Qt::PreciseTimer);
    m_summaryTimer.setSingleShot(true);
    connect(&m_summaryTimer, &QTimer::timeout, this, &NotificationManager::summaryTimerFired);
    if (wake)
        connect(wake, &platform::WakeSource::woke, this, &NotificationManager::aimSummaryTimer);
}

NotificationManager::~NotificationManager() = default;

void NotificationManager::onMainThread(std::function<void()> work)
{
    if (platform::isMainThread())
        work();
    else
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

AppConfig::NotificationLevel NotificationManager::currentLevel() const
{
    return m_configStore ? m_configStore->appConfig().notificationLevel : Level::errorsOnly;
}

void NotificationManager::notifyError(const QString& pairName, const QString& message)
{
    onMainThread([this, pairName, message] {
        const Level level = currentLevel();
        if (level == Level::nothing)
            return;
        if (level == Level::dailySummary) {
            resetDailyCountersIfNeeded();
            ++m_todayErrorCount;
        }
        post(QStringLiteral("Backup Problem"), pairName + kDash + message, requestIdentifier("error-"));
    });
}

void NotificationManager::notifyDriveAlmostFull(const QString& driveName, std::int64_t freeBytes)
{
    onMainThread([this, driveName, freeBytes] {
        if (currentLevel() == Level::nothing)
            return;
        post(QStringLiteral("Backup Drive Almost Full"),
             driveName + QStringLiteral(" \u2014 only ") + platform::formatByteCount(freeBytes)
                 + QStringLiteral(" left on the backup drive."),
             requestIdentifier("disk-low-"));
    });
}

void NotificationManager::notifyTrashReminder(std::int64_t trashBytes)
{
    onMainThread([this, trashBytes] {
        if (currentLevel() == Level::nothing)
            return;
        if (!m_configStore || !m_configStore->appConfig().trashReminderEnabled)
            return;
        const QDateTime now = platform::wallClock().now();
        // At most one reminder a calendar day, whichever pair asks.
        if (m_lastTrashReminderDate && isSameLocalDay(*m_lastTrashReminderDate, now))
            return;
        m_lastTrashReminderDate = now;
        post(QStringLiteral("Backup Trash Using ") + platform::formatByteCount(trashBytes),
             QStringLiteral("Old versions of deleted files are still on your backup drive. "
                            "You can review them in the file manager."),
             requestIdentifier("trash-reminder-"));
    });
}

void NotificationManager::notifyDriveDisconnected(const QString& driveName)
{
    onMainThread([this, driveName] {
        if (currentLevel() == Level::nothing)
            return;
        post(QStringLiteral("Backup Drive Disconnected"),
             driveName + QStringLiteral(" can't back up until the drive is reconnected."),
             requestIdentifier("volume-lost-"));
    });
}

void NotificationManager::notifyWatchLimit(const QString& pairName)
{
    onMainThread([this, pairName] {
        if (currentLevel() == Level::nothing)
            return;
        post(QStringLiteral("Some Folders Aren't Watched"),
             pairName
                 + QStringLiteral(" \u2014 it has more folders than the system lets Larkfold watch, so changes in "
                                  "some are backed up on the schedule only. To watch them all, raise the "
                                  "fs.inotify.max_user_watches setting, for example with "
                                  "“sudo sysctl fs.inotify.max_user_watches=524288”."),
             requestIdentifier("watch-limit-"));
    });
}

void NotificationManager::notifyBackupComplete(const QString& pairName, int fileCount,
                                               const std::optional<QString>& message)
{
    onMainThread([this, pairName, fileCount, message] {
        switch (currentLevel()) {
        case Level::nothing:
        case Level::errorsOnly:
            return;
        case Level::dailySummary:
            resetDailyCountersIfNeeded();
            ++m_todayBackupCount;
            scheduleDailySummary();
            return;
        case Level::everyBackup: {
            const QString detail =
                message ? *message : counted(fileCount, "file", "files") + QStringLiteral(" backed up.");
            post(QStringLiteral("Backup Complete"), pairName + kDash + detail, requestIdentifier("backup-"));
            return;
        }
        }
    });
}

void NotificationManager::requestAuthorizationIfNeeded()
{
    const QPointer<NotificationManager> self(this);
    m_notifier->checkServer([self](const platform::NotificationServerCheck& check) {
        if (self && !check.server)
            qCWarning(lcApp).noquote()
                << QStringLiteral("No notification server is running; notifications will not be shown: %1")
                       .arg(check.reason);
    });
}

std::optional<QDateTime> NotificationManager::dailySummaryTime() const
{
    if (!m_pendingSummary)
        return std::nullopt;
    return m_summaryAt;
}

void NotificationManager::resetDailyCountersIfNeeded()
{
    const QDateTime now = platform::wallClock().now();
    if (isSameLocalDay(m_lastResetDate, now))
        return;
    m_todayBackupCount = 0;
    m_todayErrorCount = 0;
    m_lastResetDate = now;
}

void NotificationManager::scheduleDailySummary()
{
    // A summary whose time passed while the timer stood still (an unannounced sleep) is still due.
    if (m_pendingSummary && platform::wallClock().now() >= m_summaryAt)
        deliverDailySummary();
    // Replaces the pending summary: it shows the counts as they stand now.
    m_pendingSummary = platform::Notification{QString::fromLatin1(kDailySummaryIdentifier),
                                              QStringLiteral("Daily Backup Summary"),
                                              dailySummaryBody(m_todayBackupCount, m_todayErrorCount)};
    m_summaryAt = platform::nextLocalTimeOfDay(platform::wallClock().now(), QTime(kDailySummaryHour, 0));
    aimSummaryTimer();
}

void NotificationManager::aimSummaryTimer()
{
    m_summaryTimer.stop();
    if (!m_pendingSummary)
        return;
    const std::int64_t waitMs = platform::wallClock().now().msecsTo(m_summaryAt);
    if (waitMs <= 0) {
        deliverDailySummary();
        return;
    }
    m_summaryTimer.start(std::chrono::milliseconds(std::min(waitMs, kMaxSummaryWaitMs)));
}

void NotificationManager::summaryTimerFired()
{
    if (!m_pendingSummary)
        return;
    // The timer counts time awake only; the wall clock decides whether 20:00 has come.
    if (platform::wallClock().now() < m_summaryAt)
        aimSummaryTimer();
    else
        deliverDailySummary();
}

void NotificationManager::deliverDailySummary()
{
    const platform::Notification summary = *m_pendingSummary;
    m_pendingSummary.reset();
    post(summary.title, summary.body, summary.identifier);
}

void NotificationManager::post(const QString& title, const QString& body, const QString& identifier)
{
    m_notifier->show({identifier, title, body}, [](const QString& reason) {
        qCCritical(lcApp, "Failed to deliver notification: %s", qUtf8Printable(reason));
    });
}

} // namespace larkfold
