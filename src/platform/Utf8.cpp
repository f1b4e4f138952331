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

std::optional<Utf8Lead> utf8Lead(unsigned char lead)
{
    const auto form = [](std::size_t length, unsigned low, unsigned high) {
        return Utf8Lead{length, static_cast<unsigned char>(low), static_cast<unsigned char>(high)};
    };
    if (lead >= 0xC2 && lead <= 0xDF)
        return form(2, 0x80, 0xBF);
    if (lead >= 0xE0 && lead <= 0xEF)
        return form(3, lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF);
    if (lead >= 0xF0 && lead <= 0xF4)
        return form(4, lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF);
    return std::nullopt;
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
    const std::optional<Utf8Lead> form = utf8Lead(lead);
    if (!form)
        return 0;
    const std::size_t length = form->length;
    if (bytes.size() < length || byte(1) < form->secondLow || byte(1) > form->secondHigh)
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
