#include "shell/OverallStatus.h"

#include <algorithm>

namespace larkfold {
namespace {

template <class Case>
bool containsCase(const std::vector<BackupStatus>& statuses)
{
    return std::any_of(statuses.begin(), statuses.end(), [](const BackupStatus& s) { return s.is<Case>(); });
}

template <class Case>
long countCase(const std::vector<BackupStatus>& statuses)
{
    return std::count_if(statuses.begin(), statuses.end(), [](const BackupStatus& s) { return s.is<Case>(); });
}

} // namespace

BackupStatus overallStatus(const std::vector<BackupStatus>& statuses)
{
    if (statuses.empty())
        return BackupStatus::idle();
    for (const BackupStatus& status : statuses)
        if (status.is<BackupStatus::Error>())
            return status;
    if (containsCase<BackupStatus::DestinationUnreachable>(statuses))
        return BackupStatus::destinationUnreachable();

    const BackupStatus* furthest = nullptr; // highest progress; the last of equals
    for (const BackupStatus& status : statuses)
        if (const auto* syncing = status.as<BackupStatus::Syncing>();
            syncing && (!furthest || syncing->progress >= furthest->as<BackupStatus::Syncing>()->progress))
            furthest = &status;
    if (furthest)
        return *furthest;
    if (containsCase<BackupStatus::Scanning>(statuses))
        return BackupStatus::scanning();
    if (containsCase<BackupStatus::Queued>(statuses))
        return BackupStatus::queued();

    const BackupStatus* most = nullptr; // most files; the first of equals
    for (const BackupStatus& status : statuses)
        if (const auto* completed = status.as<BackupStatus::Completed>();
            completed && (!most || completed->fileCount > most->as<BackupStatus::Completed>()->fileCount))
            most = &status;
    if (most)
        return *most;
    if (containsCase<BackupStatus::Paused>(statuses))
        return BackupStatus::paused();
    return BackupStatus::idle();
}

QString statusSummary(const std::vector<BackupStatus>& statuses)
{
    if (statuses.empty())
        return QStringLiteral("No backup pairs configured");
    const long attention =
        countCase<BackupStatus::Error>(statuses) + countCase<BackupStatus::DestinationUnreachable>(statuses);
    if (attention > 0)
        return QStringLiteral("%1 of %2 pair(s) need attention").arg(attention).arg(statuses.size());
    const long active = countCase<BackupStatus::Syncing>(statuses) + countCase<BackupStatus::Scanning>(statuses)
        + countCase<BackupStatus::Queued>(statuses);
    if (active > 0)
        return QStringLiteral("Backup in progress…");
    return overallStatus(statuses).displayText();
}

std::optional<QString> pausedPairsNotice(const std::vector<QString>& pausedNames, std::size_t total)
{
    const std::size_t paused = pausedNames.size();
    if (paused == 0)
        return std::nullopt;
    if (paused == 1) {
        const QString name = QStringLiteral("“%1” is paused").arg(pausedNames.front());
        return total == 1 ? name + QStringLiteral(" — resume it to back it up.")
                          : name + QStringLiteral(" and was left out — resume it to back it up.");
    }
    if (paused == total)
        return QStringLiteral("All backups are paused — choose Resume All to back them up.");
    return QStringLiteral("%1 backups are paused and were left out — resume them to back them up.").arg(paused);
}

} // namespace larkfold
