#pragma once

#include <QString>

#include <optional>
#include <string_view>

namespace larkfold::platform {

// The text of `bytes`, or none when they are not valid UTF-8 (a character cut off at the end
// counts as invalid). A leading byte order mark is dropped, as QString::fromUtf8 does.
std::optional<QString> decodeUtf8(std::string_view bytes);

} // namespace larkfold::platform
