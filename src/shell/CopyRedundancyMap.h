#pragma once

#include "platform/MountSource.h"
#include "store/BackupPair.h"
#include "store/CopyRedundancy.h"

#include <QUuid>

#include <map>
#include <vector>

namespace larkfold {

// How many independent copies protect each pair's source, by pair id.
using CopyRedundancyMap = std::map<QUuid, CopyRedundancy>;

// Pairs that back up one source folder (compared as standardized paths) share their targets:
// every distinct destination and offsite folder counts once. One target is the only copy left
// when the source is gone from a drive that is there; two or more are redundant. `mounts` is
// the table as read now; every pair gets an entry.
CopyRedundancyMap computeCopyRedundancy(const std::vector<BackupPair>& pairs,
                                        const std::vector<platform::MountEntry>& mounts);

} // namespace larkfold
