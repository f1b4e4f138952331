#include "copy/FileNames.h"

#include "platform/Utf8.h"

#include <algorithm>

namespace larkfold {

std::string_view pathExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

std::string_view cutToFit(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    // Continuation bytes are 10xxxxxx; back up over at most three of them.
    for (std::size_t back = 0; back < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++back)
        --end;
    return text.substr(0, end);
}

std::string lowerCased(std::string_view text)
{
    std::string result(text);
    bool ascii = true;
    for (char& c : result) {
        if (static_cast<unsigned char>(c) >= 0x80)
            ascii = false;
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    if (ascii)
        return result;
    const std::optional<QString> decoded = platform::decodeUtf8(text);
    if (!decoded)
        return result;
    return decoded->toLower().toStdString();
}

} // namespace larkfold
