#pragma once

#include "platform/FileSystem.h"

#include <string>
#include <string_view>

namespace larkfold {

// Names of the copy engine's unfinished items in a backup folder: a temporary copy and a
// partly streamed large file.
inline constexpr std::string_view kTemporaryNamePrefix = platform::kTemporaryPrefix;
inline constexpr std::string_view kResumeNamePrefix = ".larkresume-";

inline bool hasTemporaryOrResumeName(std::string_view name)
{
    return name.starts_with(kTemporaryNamePrefix) || name.starts_with(kResumeNamePrefix);
}

// The text after a name's last "."; empty when there is none, when the name ends with it, or
// when the only "." begins the name (".bashrc" has no extension).
std::string_view pathExtension(std::string_view name);

// The first bytes of `text`, at most `maxBytes`, cut before a UTF-8 character rather than inside it.
std::string_view cutToFit(std::string_view text, std::size_t maxBytes);

// Lower case: ASCII byte by byte; a valid UTF-8 name with other letters by Unicode rules.
// Bytes that are not UTF-8 stay as they are.
std::string lowerCased(std::string_view text);

} // namespace larkfold
