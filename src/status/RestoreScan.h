#pragma once

#include "platform/CancelToken.h"
#include "status/RestoreFileItem.h"

#include <filesystem>
#include <vector>

namespace larkfold {

// Every regular file below `backupFolder` that a restore can bring back, sorted by
// sortByDisplayPath. Hidden names are left out with all they hold (the program's markers,
// unfinished copies and trash among them), and so are links, which are never followed, and
// special files. Empty when the folder cannot be opened or `cancel` fires. Any thread.
std::vector<RestoreFileItem> scanBackup(const std::filesystem::path& backupFolder,
                                        const platform::CancelToken& cancel = {});

// Orders items by path as a file manager does, in the user's locale: runs of digits by their
// value, letter case and width ignored. Paths the order holds equal keep the order of their bytes.
void sortByDisplayPath(std::vector<RestoreFileItem>& items);

} // namespace larkfold
