#include "platform/Utf8.h"

#include <gtest/gtest.h>

using larkfold::platform::decodeUtf8;

TEST(Utf8Test, DecodesOnlyWholeValidText)
{
    struct Case {
        std::string_view bytes;
        std::optional<QString> text;
    } const cases[] = {
        {"", QString()},
        {"plain", QStringLiteral("plain")},
        {"Caf\xc3\xa9", QStringLiteral(u"Caf\u00e9")},
        {std::string_view("a\0b", 3), QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")},
        {"\xef\xbb\xbf" "abc", QStringLiteral("abc")}, // as QString::fromUtf8
        {"bad\xff", std::nullopt},
        {"Caf\xc3", std::nullopt},          // cut off at the end
        {"\xe2\x82", std::nullopt},
        {"\xc0\xaf", std::nullopt},         // overlong "/"
        {"\xed\xa0\x80", std::nullopt},     // a UTF-16 surrogate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        EXPECT_EQ(decodeUtf8(c.bytes), c.text);
    }
}

TEST(Utf8Test, ReadableTextShowsEveryStrayByteAndKeepsTheRest)
{
    using larkfold::platform::readableText;
    struct Case {
        std::string_view bytes;
        QString text;
    } const cases[] = {
        {"", QString()},
        {"Caf\xc3\xa9.txt", QStringLiteral(u"Caf\u00e9.txt")},
        {"caf\xe9.txt", QStringLiteral("caf\\xE9.txt")}, // Latin-1
        {"Caf\xc3", QStringLiteral("Caf\\xC3")},          // cut off at the end
        {"\xc0\xaf", QStringLiteral("\\xC0\\xAF")},       // overlong "/"
        {"\xed\xa0\x80", QStringLiteral("\\xED\\xA0\\x80")},
        {"\xf0\x9f\x93\xb7 \xff", QStringLiteral(u"\U0001F4F7 \\xFF")},
        {"\xef\xbb\xbf" "abc", QString(QChar(0xFEFF)) + QStringLiteral("abc")}, // nothing dropped for display
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        EXPECT_EQ(readableText(c.bytes), c.text);
    }
    // Two names that differ only in their stray bytes read differently.
    EXPECT_NE(readableText("a\xe9"), readableText("a\xe8"));
}
