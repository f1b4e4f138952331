#include "platform/ByteCount.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace larkfold::platform {
namespace {

struct Unit {
    const char* name;
    double size;
    int decimals;
};

constexpr std::array<Unit, 5> kUnits{{
    {"KB", 1e3, 0},
    {"MB", 1e6, 1},
    {"GB", 1e9, 2},
    {"TB", 1e12, 2},
    {"PB", 1e15, 2},
}};

QString formatPositive(std::uint64_t bytes)
{
    if (bytes == 1)
        return QStringLiteral("1 byte");
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    for (size_t i = 0; i < kUnits.size(); ++i) {
        const Unit& unit = kUnits[i];
        const double scale = std::pow(10.0, unit.decimals);
        const double rounded = std::round(double(bytes) / unit.size * scale) / scale;
        // A value that rounds up to 1000 of a unit is written in the next one.
        if (rounded >= 1000.0 && i + 1 < kUnits.size())
            continue;
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", unit.decimals, rounded);
        QString number = QString::fromLatin1(text);
        if (number.contains(u'.')) {
            while (number.endsWith(u'0'))
                number.chop(1);
            if (number.endsWith(u'.'))
                number.chop(1);
        }
        return number + u' ' + QLatin1String(unit.name);
    }
    return {};
}

} // namespace

QString formatByteCount(std::int64_t bytes)
{
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    if (bytes < 0)
        return u'-' + formatPositive(std::uint64_t(-(bytes + 1)) + 1);
    return formatPositive(std::uint64_t(bytes));
}

} // namespace larkfold::platform
