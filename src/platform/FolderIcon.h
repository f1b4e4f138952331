#pragma once

#include <QStringList>

#include <filesystem>

namespace larkfold::platform {

// Gives a folder a custom icon in the file manager through GIO metadata ("metadata::custom-icon",
// kept by the desktop's metadata store, never as a file inside the folder). Needs `gio` on PATH;
// returns whether it accepted the icon. Blocks for at most a few seconds.
bool setFolderCustomIcon(const std::filesystem::path& folder, const std::filesystem::path& image);

// The `gio` arguments that set the icon; paths go as file URIs so names that are not UTF-8 survive.
QStringList folderIconArguments(const std::filesystem::path& folder, const std::filesystem::path& image);

} // namespace larkfold::platform
