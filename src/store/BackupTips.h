#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace larkfold {

// The rotating tip appended to a completed run's summary: one call in three gives one.
// Advances the "Larkfold.tipCounter" user default on every call; safe from any thread.
std::optional<QString> nextBackupTip(std::int64_t fileCount, bool usedChunkedCopy, bool sampleVerified,
                                     bool wasThrottled);

// "Everything's up to date." or "N files backed up.", followed by the tip when there is one.
QString backupSummaryText(std::int64_t fileCount, const std::optional<QString>& tip);

} // namespace larkfold
