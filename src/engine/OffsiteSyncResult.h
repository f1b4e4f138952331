#pragma once

#include "copy/FileOperationError.h"

#include <cstdint>
#include <vector>

namespace larkfold {

// The outcome of one offsite copy.
struct OffsiteSyncResult {
    // Files copied into place by this call.
    std::int64_t copiedFiles = 0;
    // Sum of the source sizes of those files (0 for a size that could not be read).
    std::int64_t bytesTransferred = 0;
    // Seconds from the start of the call to the result.
    double duration = 0.0;
    // One entry per failure, in the order they happened.
    std::vector<FileOperationError> errors;
    // The offsite target could not be made, or the offsite target or the backup folder went away.
    bool abortedDueToFolderLoss = false;
    // The copy stopped at a cancel before its last file; what was done so far is counted, but the
    // copy is unfinished and must not be recorded as done.
    bool wasCancelled = false;
};

} // namespace larkfold
