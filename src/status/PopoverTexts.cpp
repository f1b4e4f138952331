#include "status/PopoverTexts.h"

#include "platform/ByteCount.h"
#include "platform/Paths.h"
#include "store/Overloaded.h"

#include <QFile>

#include <algorithm>

namespace larkfold {
namespace {

constexpr qint64 kMinuteSeconds = 60;
constexpr qint64 kHourSeconds = 3600;
constexpr qint64 kDaySeconds = 86400;
constexpr std::int64_t kLowFreeSpaceBytes = 1'073'741'824;
constexpr double kPercentNudge = 1e-9;

QString folderName(const std::filesystem::path& folder)
{
    return QFile::decodeName(QByteArray::fromStdString(platform::lastPathComponent(folder).native()));
}

} // namespace

QString relativeTimeText(const QDateTime& date, const QDateTime& now)
{
    const qint64 seconds = date.secsTo(now);
    if (seconds < kMinuteSeconds)
        return QStringLiteral("Just now");
    if (seconds < kHourSeconds)
        return QString::number(seconds / kMinuteSeconds) + QStringLiteral("m ago");
    if (seconds < kDaySeconds)
        return QString::number(seconds / kHourSeconds) + QStringLiteral("h ago");
    return QString::number(seconds / kDaySeconds) + QStringLiteral("d ago");
}

std::optional<QString> lastBackupText(const std::vector<BackupPair>& pairs, const QDateTime& now)
{
    std::optional<QDateTime> newest;
    for (const BackupPair& pair : pairs) {
        if (pair.lastBackupAt && (!newest || *pair.lastBackupAt > *newest))
            newest = pair.lastBackupAt;
    }
    if (!newest)
        return std::nullopt;
    return QStringLiteral("Last backup: ") + relativeTimeText(*newest, now);
}

int progressPercent(double progress)
{
    // The nudge keeps a fraction such as 0.29, which doubles hold as 0.28999…, at its own whole number.
    return int(std::clamp(progress, 0.0, 1.0) * 100.0 + kPercentNudge);
}

QString statusLabel(const BackupStatus& status, const std::optional<QDateTime>& lastBackupAt, const QDateTime& now,
                    bool reconnecting)
{
    const auto doneText = [&](const QString& without) {
        return lastBackupAt ? QStringLiteral("✓ ") + relativeTimeText(*lastBackupAt, now) : without;
    };
    return std::visit(
        Overloaded{
            [](const BackupStatus::Syncing& syncing) {
                return QStringLiteral("↑ %1%").arg(progressPercent(syncing.progress));
            },
            [&](const BackupStatus::Completed&) { return doneText(QStringLiteral("✓ Done")); },
            [](const BackupStatus::Error& error) {
                if (const auto* held = error.error.as<BackupError::DeletionHeld>())
                    return held->sourceLooksEmpty ? QStringLiteral("⚠ Folder empty") : QStringLiteral("⚠ Many deleted");
                return QStringLiteral("⚠ Error");
            },
            [&](const BackupStatus::Idle&) { return doneText(QStringLiteral("Up to date")); },
            [](const BackupStatus::Scanning&) { return QStringLiteral("Scanning…"); },
            // Nothing is looking for it between attempts: saying so would promise what does not happen.
            [&](const BackupStatus::DestinationUnreachable&) {
                return reconnecting ? QStringLiteral("Reconnecting…") : QStringLiteral("Not connected");
            },
            [](const BackupStatus::Paused&) { return QStringLiteral("Paused"); },
            [](const BackupStatus::Queued&) { return QStringLiteral("Queued"); },
        },
        status.value());
}

QString offsiteSummary(const BackupPair& pair, const QDateTime& now)
{
    if (!pair.offsiteURL)
        return {};
    const QString when = pair.lastOffsiteAt
        ? QStringLiteral(" — last synced ") + relativeTimeText(*pair.lastOffsiteAt, now)
        : QStringLiteral(" — first sync coming soon");
    return QStringLiteral("Offsite copy in ") + folderName(*pair.offsiteURL) + when;
}

std::optional<QString> freeSpaceWarning(std::optional<std::int64_t> freeBytes)
{
    if (!freeBytes || *freeBytes >= kLowFreeSpaceBytes)
        return std::nullopt;
    return platform::formatByteCount(*freeBytes) + QStringLiteral(" free on destination");
}

std::optional<RedundancyWarning> redundancyWarning(const std::optional<CopyRedundancy>& redundancy)
{
    if (!redundancy)
        return std::nullopt;
    const QString triangle = QStringLiteral("exclamationmark.triangle.fill");
    return std::visit(
        Overloaded{
            [](const CopyRedundancy::Redundant&) -> std::optional<RedundancyWarning> { return std::nullopt; },
            [&](const CopyRedundancy::NoBackup&) -> std::optional<RedundancyWarning> {
                return RedundancyWarning{triangle, Tone::red,
                                         QStringLiteral("This folder isn't being backed up anywhere yet.")};
            },
            [&](const CopyRedundancy::OnlyCopy&) -> std::optional<RedundancyWarning> {
                return RedundancyWarning{
                    triangle, Tone::red,
                    QStringLiteral("This is the only copy of these files. The original folder is gone, so if this "
                                   "drive stops working they're gone for good.")};
            },
            [](const CopyRedundancy::SingleBackup&) -> std::optional<RedundancyWarning> {
                return RedundancyWarning{
                    QStringLiteral("exclamationmark.circle"), Tone::amber,
                    QStringLiteral("There's just one backup of this folder. If this drive stops working, the "
                                   "original folder is all you'd have left.")};
            },
        },
        redundancy->value());
}

namespace {

// Files the guard kept are safe and wait for an answer: a warning, not a failure.
bool holdsDeletions(const BackupStatus& status)
{
    const auto* error = status.as<BackupStatus::Error>();
    return error && error->error.is<BackupError::DeletionHeld>();
}

} // namespace

Tone statusDotTone(const BackupStatus& status)
{
    if (holdsDeletions(status))
        return Tone::amber;
    return std::visit(Overloaded{
                          [](const BackupStatus::Syncing&) { return Tone::amber; },
                          [](const BackupStatus::Completed&) { return Tone::green; },
                          [](const BackupStatus::Error&) { return Tone::red; },
                          [](const BackupStatus::Idle&) { return Tone::green; },
                          [](const BackupStatus::Scanning&) { return Tone::amber; },
                          [](const BackupStatus::DestinationUnreachable&) { return Tone::red; },
                          [](const BackupStatus::Paused&) { return Tone::tertiary; },
                          [](const BackupStatus::Queued&) { return Tone::amber; },
                      },
                      status.value());
}

Tone statusTextTone(const BackupStatus& status)
{
    if (status.is<BackupStatus::Paused>())
        return Tone::tertiary;
    if (status.is<BackupStatus::DestinationUnreachable>() || holdsDeletions(status))
        return Tone::amber;
    if (status.is<BackupStatus::Error>())
        return Tone::red;
    return Tone::secondary;
}

bool isBusy(const BackupStatus& status)
{
    return status.is<BackupStatus::Syncing>() || status.is<BackupStatus::Scanning>()
        || status.is<BackupStatus::Queued>();
}

bool hasProblem(const BackupStatus& status)
{
    return status.is<BackupStatus::Error>() || status.is<BackupStatus::DestinationUnreachable>();
}

std::optional<BackupError> problemError(const BackupStatus& status, const std::filesystem::path& destination)
{
    if (const auto* error = status.as<BackupStatus::Error>())
        return error->error;
    if (status.is<BackupStatus::DestinationUnreachable>())
        return BackupError::destinationNotFound(destination);
    return std::nullopt;
}

bool offersRelink(const BackupStatus& status)
{
    return hasProblem(status) && !holdsDeletions(status);
}

std::vector<ProblemAction> problemActions(const BackupStatus& status, bool hasRunErrors)
{
    if (!status.is<BackupStatus::Error>())
        return {};
    std::vector<ProblemAction> actions;
    if (hasRunErrors)
        actions.push_back(ProblemAction::showDetails);
    if (holdsDeletions(status)) {
        actions.push_back(ProblemAction::restoreHeld);
        actions.push_back(ProblemAction::confirmDeletion);
    }
    return actions;
}

QString problemActionLabel(ProblemAction action)
{
    switch (action) {
    case ProblemAction::showDetails: return QStringLiteral("Show Details…");
    case ProblemAction::restoreHeld: return QStringLiteral("Restore Them…");
    case ProblemAction::confirmDeletion: return QStringLiteral("Confirm Deletion…");
    }
    return {};
}

PauseButtonAction pauseButtonAction(const std::vector<BackupStatus>& engineStatuses)
{
    const bool hasUnpausedEngine = std::any_of(engineStatuses.begin(), engineStatuses.end(),
                                               [](const BackupStatus& status) { return !status.is<BackupStatus::Paused>(); });
    return hasUnpausedEngine ? PauseButtonAction::pauseAll : PauseButtonAction::resumeAll;
}

} // namespace larkfold
