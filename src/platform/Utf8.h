#pragma once

#include <QString>

#include <optional>
#include <string_view>

namespace larkfold::platform {

// The text of `bytes`, or none when they are not valid UTF-8 (a character cut off at the end
// counts as invalid). A leading byte order mark is dropped, as QString::fromUtf8 does.
std::optional<QString> decodeUtf8(std::string_view bytes);

// The text to show for a name or path of bytes: valid UTF-8 as it stands, and each byte that is
// not part of a valid character as "\xNN" (two upper-case hex digits), so an undecodable name
// stays readable and is told apart from its neighbours. For display only: never a path.
QString readableText(std::string_view bytes);

} // namespace larkfold::platform
