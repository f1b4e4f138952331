#pragma once

#include <QString>

#include <filesystem>
#include <string_view>

namespace larkfold::platform {

// Writes `bytes` to `path` whole and atomically (temporary, sync, rename) and syncs the folder,
// so a reader sees the old or the new content and the new one survives a power cut.
// For the program's own folder only: inside backup folders the copy engine's file layer writes.
// Who may read the written file: as the umask and the old file allow, or its owner alone (0600
// from its first byte, whatever the umask or the old file's mode).
enum class FileAccess { byUmask, ownerOnly };

// Returns an empty string on success, else the error text.
QString writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                            FileAccess access = FileAccess::byUmask);

// Reads a whole file. Returns false with the error text (errno's) when it cannot.
bool readWholeFile(const std::filesystem::path& path, std::string& bytes, QString& error, int* errorNumber = nullptr);

} // namespace larkfold::platform
