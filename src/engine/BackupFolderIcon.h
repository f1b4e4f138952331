#pragma once

#include <filesystem>

namespace larkfold {

namespace platform {
class VolumeInfo;
}

// Gives a pair's backup folder the program's logo as its file-manager icon. Best effort: a missing
// logo, a missing folder, a network volume or a refusal ends it silently; nothing is written into
// the folder.
void setBackupFolderIcon(const std::filesystem::path& folder);
void setBackupFolderIcon(const std::filesystem::path& folder, const platform::VolumeInfo& volumes);

} // namespace larkfold
