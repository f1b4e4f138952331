#include "platform/Utf8.h"

#include <QStringDecoder>

namespace larkfold::platform {

std::optional<QString> decodeUtf8(std::string_view bytes)
{
    // Stateless: a stateful decoder keeps a cut-off sequence for a next call and reports no error.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

namespace {

// The length of the valid UTF-8 character at the start of `bytes` and its code point; 0 when the
// bytes there are no valid character (stray continuation, overlong form, surrogate, cut off).
std::size_t validCharacterAt(std::string_view bytes, char32_t& codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    codePoint = lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i)
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    return length;
}

} // namespace

QString readableText(std::string_view bytes)
{
    if (const auto text = decodeUtf8(bytes); text && !bytes.starts_with("\xEF\xBB\xBF"))
        return *text;
    QString text;
    text.reserve(qsizetype(bytes.size()));
    while (!bytes.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = validCharacterAt(bytes, codePoint);
        if (length == 0) {
            const auto stray = static_cast<unsigned char>(bytes.front());
            text += QStringLiteral("\\x") + QString::number(stray, 16).toUpper().rightJustified(2, u'0');
            bytes.remove_prefix(1);
        } else {
            // Appended by hand: converting decoders drop a byte order mark.
            if (QChar::requiresSurrogates(codePoint)) {
                text += QChar(QChar::highSurrogate(codePoint));
                text += QChar(QChar::lowSurrogate(codePoint));
            } else {
                text += QChar(char16_t(codePoint));
            }
            bytes.remove_prefix(length);
        }
    }
    return text;
}

} // namespace larkfold::platform
