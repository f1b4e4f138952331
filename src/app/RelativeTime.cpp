#include "app/RelativeTime.h"

namespace larkfold {
namespace {

constexpr qint64 kSecondsPerMinute = 60;
constexpr qint64 kSecondsPerHour = 3600;
constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kDaysPerWeek = 7;

// Whole calendar months from `from` to the later `to`.
int wholeMonths(const QDateTime& from, const QDateTime& to)
{
    const QDate a = from.date();
    const QDate b = to.date();
    int months = (b.year() - a.year()) * 12 + (b.month() - a.month());
    if (months > 0 && from.addMonths(months) > to)
        --months;
    return std::max(months, 0);
}

QString amount(qint64 count, const char* unit)
{
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(unit);
}

} // namespace

QString abbreviatedRelativeTime(const QDateTime& date, const QDateTime& now)
{
    const bool future = date > now;
    const QDateTime from = (future ? now : date).toLocalTime();
    const QDateTime to = (future ? date : now).toLocalTime();
    const qint64 seconds = from.secsTo(to);

    QString text;
    const int months = wholeMonths(from, to);
    if (months >= 12)
        text = amount(months / 12, "yr.");
    else if (months >= 1)
        text = amount(months, "mo.");
    else if (seconds >= kSecondsPerDay * kDaysPerWeek)
        text = amount(seconds / (kSecondsPerDay * kDaysPerWeek), "wk.");
    else if (seconds >= kSecondsPerDay)
        text = amount(seconds / kSecondsPerDay, seconds / kSecondsPerDay == 1 ? "day" : "days");
    else if (seconds >= kSecondsPerHour)
        text = amount(seconds / kSecondsPerHour, "hr.");
    else if (seconds >= kSecondsPerMinute)
        text = amount(seconds / kSecondsPerMinute, "min.");
    else
        text = amount(seconds, "sec.");
    return future ? QStringLiteral("in ") + text : text + QStringLiteral(" ago");
}

} // namespace larkfold
