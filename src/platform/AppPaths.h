#pragma once

#include <filesystem>

namespace larkfold::platform {

// The program's own data folder: $XDG_DATA_HOME/Larkfold (~/.local/share/Larkfold).
std::filesystem::path appSupportDirectory();

} // namespace larkfold::platform
