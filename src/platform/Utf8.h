#pragma once

#include <QString>

#include <cstddef>
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

// What a character of two to four bytes that starts with `lead` must be, as UTF-8 allows it (no
// overlong forms, no surrogates, nothing past U+10FFFF): its length and the range of its second
// byte (the later ones are 0x80 to 0xBF). None for a byte that starts no such character.
struct Utf8Lead {
    std::size_t length;
    unsigned char secondLow;
    unsigned char secondHigh;
};
std::optional<Utf8Lead> utf8Lead(unsigned char lead);

} // namespace larkfold::platform
