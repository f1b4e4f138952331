#pragma once

#include <QString>

#include <cstdint>

namespace larkfold::platform {

// Every size the program shows, in decimal file-style units: "Zero KB", "1 byte", "512 bytes",
// "1 KB", "73.4 MB", "1.23 GB".
QString formatByteCount(std::int64_t bytes);

} // namespace larkfold::platform
