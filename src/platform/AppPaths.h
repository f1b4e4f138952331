#pragma once

#include <filesystem>
#include <system_error>

namespace larkfold::platform {

// The program's own data folder: $XDG_DATA_HOME/Larkfold (~/.local/share/Larkfold).
std::filesystem::path appSupportDirectory();

// Creates `folder` when missing and keeps it to its owner: the folder 0700 and each regular file
// directly in it 0600, whatever the umask, also when an older version left them open to others.
// A folder or file of another user is left as it is. Returns the error that kept the folder from
// being created.
std::error_code ensurePrivateDirectory(const std::filesystem::path& folder);

} // namespace larkfold::platform
