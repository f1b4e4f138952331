#include "store/BackupStatus.h"

#include "store/Overloaded.h"

#include <algorithm>
#include <cmath>

namespace larkfold {
namespace {

QString countWithUnit(std::int64_t count, const char* singular, const char* plural)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? singular : plural));
}

// Whole percent, truncated, so a run at 99.9 % never shows 100.
int percentOf(double progress)
{
    if (!std::isfinite(progress))
        return 0;
    return int(std::clamp(progress * 100.0, 0.0, 100.0));
}

} // namespace

QString formatDuration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 60)
        return countWithUnit(std::isfinite(seconds) ? std::int64_t(seconds) : 0, "second", "seconds");
    if (seconds < 3600)
        return countWithUnit(std::int64_t(seconds / 60), "minute", "minutes");
    return countWithUnit(std::int64_t(seconds / 3600), "hour", "hours");
}

QString BackupStatus::displayText() const
{
    return std::visit(
        Overloaded{
            [](const Syncing& s) {
                return QStringLiteral("Backing up %1% \u2014 %2").arg(QString::number(percentOf(s.progress)), s.currentFile);
            },
            [](const Completed& c) {
                return QStringLiteral("Backed up %1 in %2")
                    .arg(countWithUnit(c.fileCount, "file", "files"), formatDuration(c.duration));
            },
            [](const Error& e) {
                const QString text = e.error.errorDescription();
                return text.isEmpty() ? QStringLiteral("An error occurred") : text;
            },
            [](const Idle&) { return QStringLiteral("Up to date"); },
            [](const Scanning&) { return QStringLiteral("Scanning for changes\u2026"); },
            [](const DestinationUnreachable&) { return QStringLiteral("Backup drive not connected"); },
            [](const Paused&) { return QStringLiteral("Paused"); },
            [](const Queued&) { return QStringLiteral("Waiting in queue\u2026"); },
        },
        m_value);
}

} // namespace larkfold
