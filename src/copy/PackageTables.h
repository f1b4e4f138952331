#pragma once

#include "store/BackupProfile.h"

#include <string_view>

namespace larkfold {

// Folder extensions (lower case) that make a folder a single item under every profile:
// application bundles, plug-ins, media libraries.
const NameSet& packageExtensions();

// Extensions that make a package only under one profile (editing projects); empty for profiles
// that add none.
const NameSet& profilePackageExtensions(BackupProfile profile);

// Whether a folder of this name is taken whole by the scans, under `profile`. Only folders are
// ever asked about; a file is never a package.
bool isPackageFolder(std::string_view folderName, BackupProfile profile);

} // namespace larkfold
