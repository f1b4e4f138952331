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
