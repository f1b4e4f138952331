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
