#pragma once

#include "platform/CancelToken.h"
#include "platform/FileSystem.h"
#include "status/RestoreFileItem.h"

#include <QString>

#include <filesystem>
#include <vector>

namespace larkfold {

// The pair's backup folder opened as the backups write it: the destination as chosen (links in
// its path followed), then "Larkfold" where the backups add it and the pair's folder, neither of
// which may be a link (ELOOP): the backups refuse such a folder, and a restore through it would
// list and copy out whatever it leads to.
platform::PosixResult<platform::Directory> openBackupFolder(platform::FileSystem& fileSystem,
                                                            const std::filesystem::path& destination,
                                                            const QString& pairName);

// Why a backup folder that is a link is not listed: the words the backups refuse it with.
QString linkedBackupFolderRefusal();

// Every regular file below `backupFolder` that a restore can bring back, sorted by
// sortByDisplayPath. Hidden names are left out with all they hold (the program's markers,
// unfinished copies and trash among them), and so are links, which are never followed, and
// special files. Empty when the folder cannot be read or `cancel` fires. Any thread.
std::vector<RestoreFileItem> scanBackup(const platform::Directory& backupFolder,
                                        const platform::CancelToken& cancel = {});

// Orders items by path as a file manager does, in the user's locale: runs of digits by their
// value, letter case and width ignored. Paths the order holds equal keep the order of their bytes.
void sortByDisplayPath(std::vector<RestoreFileItem>& items);

} // namespace larkfold
