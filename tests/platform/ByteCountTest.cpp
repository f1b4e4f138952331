#include "platform/ByteCount.h"

#include <gtest/gtest.h>

using larkfold::platform::formatByteCount;

TEST(ByteCount, FileStyleDecimalTexts)
{
    const struct {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999, "999 bytes"},
        {1000, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"},
        {999'499, "999 KB"},
        {999'999, "1 MB"},
        {12'000'000, "12 MB"},
        {73'400'000, "73.4 MB"},
        {73'449'999, "73.4 MB"},
        {999'950'000, "1 GB"},
        {1'230'000'000, "1.23 GB"},
        {1'500'000'000, "1.5 GB"},
        {2'000'000'000'000, "2 TB"},
        {-1000, "-1 KB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(formatByteCount(c.bytes).toStdString(), c.text);
    }
}
