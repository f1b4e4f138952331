#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <ctime>
#include <optional>

namespace larkfold {

// What a backup folder's file system keeps of the modification times set on it: how finely, and
// from when to when. The change rule compares a copy's time with what setting the source's time
// there gives, so neither a coarse nor a limited file system makes an unchanged file look changed,
// and on one that keeps nanoseconds a same-size edit a moment later is still seen.
class StoredTimes {
public:
    // Unknown: coarse and without limits, which keeps the 2-second rule.
    StoredTimes() = default;

    // Finds out by setting times on a temporary file in `folder`, which is removed again. A folder
    // where that cannot be done gives the unknown answer.
    static StoredTimes probe(platform::FileSystem& fileSystem, const platform::Directory& folder);
    // Kept to the nanosecond between the given limits (none: any time).
    static StoredTimes exact(std::optional<std::timespec> earliest = std::nullopt,
                             std::optional<std::timespec> latest = std::nullopt);

    // The time a copy carries once `time` is set on it: held within the limits and, where the file
    // system keeps less than nanoseconds but better than a microsecond, cut to what it keeps.
    std::timespec stored(std::timespec time) const;
    // Whether a copy's time no longer stands for the source's: it differs from `stored(source)`
    // at all, or by more than 2 seconds where the file system keeps times coarsely (FAT, exFAT,
    // ext4 with small inodes, or unknown).
    bool differ(std::timespec source, std::timespec copy) const;
    bool isCoarse() const { return m_coarse; }

private:
    bool m_coarse = true;
    // Below a microsecond; 1 when nanoseconds are kept. Unused when coarse.
    long m_resolutionNanoseconds = 1;
    std::optional<std::timespec> m_earliest;
    std::optional<std::timespec> m_latest;
};

} // namespace larkfold
