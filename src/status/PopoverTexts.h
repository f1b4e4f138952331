#pragma once

#include "store/BackupPair.h"
#include "store/BackupStatus.h"
#include "store/CopyRedundancy.h"
#include "widgets/Tone.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace larkfold {

// What the popover and its pair rows say, decided from values alone.

// "Just now" under a minute (a date in the future too), then whole minutes, hours or days,
// truncated: "5m ago", "3h ago", "2d ago".
QString relativeTimeText(const QDateTime& date, const QDateTime& now);

// "Last backup: " and the age of the newest last backup of any pair (disabled ones included);
// none when no pair has been backed up.
std::optional<QString> lastBackupText(const std::vector<BackupPair>& pairs, const QDateTime& now);

// The row's short status: "↑ 42%", "✓ 5m ago", "⚠ Error" and so on. A destination that cannot
// be reached reads "Reconnecting…" only while `reconnecting` (an attempt to find it is pending or
// under way), "Not connected" otherwise.
QString statusLabel(const BackupStatus& status, const std::optional<QDateTime>& lastBackupAt, const QDateTime& now,
                    bool reconnecting);
// The whole percent a progress shows, truncated: 99.9 % is not done yet.
int progressPercent(double progress);

// "Offsite copy in <folder> — last synced <age>" (or "— first sync coming soon"); empty
// without an offsite folder.
QString offsiteSummary(const BackupPair& pair, const QDateTime& now);

// The tooltip of the free-space warning, shown while less than 1 GiB is free at the destination;
// none when the space is unknown or enough.
std::optional<QString> freeSpaceWarning(std::optional<std::int64_t> freeBytes);

// The colours a row draws in, resolved against the palette by the view.

struct RedundancyWarning {
    QString symbol;
    Tone tone;
    QString text; // the tooltip, and what a screen reader says
};
// None when the copies are redundant or not known.
std::optional<RedundancyWarning> redundancyWarning(const std::optional<CopyRedundancy>& redundancy);

// The status dot's colour, and the status text's.
Tone statusDotTone(const BackupStatus& status);
Tone statusTextTone(const BackupStatus& status);
// Syncing, scanning or queued: the dot pulses.
bool isBusy(const BackupStatus& status);
// An error or a destination that cannot be reached: the row offers "Relink" and unfolds the details.
bool hasProblem(const BackupStatus& status);
// The error whose details the row unfolds: the status's own, or for a destination that cannot
// be reached, that it was not found at `destination`. None without a problem.
std::optional<BackupError> problemError(const BackupStatus& status, const std::filesystem::path& destination);
// Whether "Relink" may mend the problem: not when files the guard kept wait for the user.
bool offersRelink(const BackupStatus& status);

// What the unfolded error detail offers beside its words, in this order.
enum class ProblemAction {
    showDetails,     // "Show Details…": the last run's failures
    restoreHeld,     // "Restore Them…": the restore window on the files the guard kept
    confirmDeletion, // "Confirm Deletion…"
};
// `hasRunErrors`: the last run left failures to list.
std::vector<ProblemAction> problemActions(const BackupStatus& status, bool hasRunErrors);
QString problemActionLabel(ProblemAction action);

// What the footer's pause button does: "Pause All" while any engine is not paused, else (also
// without engines) "Resume All".
enum class PauseButtonAction { pauseAll, resumeAll };
PauseButtonAction pauseButtonAction(const std::vector<BackupStatus>& engineStatuses);

} // namespace larkfold
