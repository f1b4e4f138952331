#pragma once

#include "store/BackupStatus.h"

#include <QString>

#include <optional>
#include <vector>

namespace larkfold {

// The one status that matters most among the pairs' statuses, visited in the store's order:
// error, destination unreachable, syncing (highest progress), scanning, queued, completed (most
// files), paused, idle. Idle without any.
BackupStatus overallStatus(const std::vector<BackupStatus>& statuses);

// One line for the tooltip: how many pairs need attention, a backup in progress, or the overall
// status's own text.
QString statusSummary(const std::vector<BackupStatus>& statuses);

// What "Back Up Now" says of the paused pairs it left out (their names, in order) when it was
// asked to back up `total` pairs; none when it left none out.
std::optional<QString> pausedPairsNotice(const std::vector<QString>& pausedNames, std::size_t total);

} // namespace larkfold
