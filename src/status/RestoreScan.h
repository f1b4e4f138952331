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

// The destination's backup trash, ".Larkfold-Trash", opened as the backups write it: a link at
// its name is refused (ELOOP), as the backups do not follow one.
platform::PosixResult<platform::Directory> openBackupTrash(platform::FileSystem& fileSystem,
                                                           const std::filesystem::path& destination);

// Why a backup folder that is a link is not listed: the words the backups refuse it with.
QString linkedBackupFolderRefusal();

// Every regular file below `backupFolder` that a restore can bring back, sorted by
// sortByDisplayPath. Hidden names are left out with all they hold (the program's markers,
// unfinished copies and trash among them), and so are links, which are never followed, and
// special files. Empty when the folder cannot be read or `cancel` fires. Any thread.
std::vector<RestoreFileItem> scanBackup(const platform::Directory& backupFolder,
                                        const platform::CancelToken& cancel = {});

// Every file of the backup trash that a restore can bring back: those below its day folders
// (named "yyyy-MM-dd" for a real date), newest day first, each day's in sortByDisplayPath order,
// with paths below the day. What scanBackup leaves out is left out here too, and so is
// anything outside a day folder. Any thread.
std::vector<RestoreFileItem> scanTrash(platform::FileSystem& fileSystem, const platform::Directory& trashFolder,
                                       const platform::CancelToken& cancel = {});

// Whether a name at the top of the backup trash is a day folder's: "2026-03-09", a real date.
bool isTrashDayName(std::string_view name);

// Orders items by path as a file manager does, in the user's locale: runs of digits by their
// value, letter case and width ignored. Paths the order holds equal keep the order of their bytes.
void sortByDisplayPath(std::vector<RestoreFileItem>& items);

} // namespace larkfold
