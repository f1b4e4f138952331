#pragma once

#include <QDateTime>
#include <QString>

namespace larkfold {

// How long ago `date` was, seen from `now`, in the largest whole unit that fits, abbreviated:
// "12 sec. ago", "5 min. ago", "3 hr. ago", "1 day ago", "2 wk. ago", "4 mo. ago", "1 yr. ago";
// a date after `now` reads "in 5 min.". Months and years are calendar ones, in local time.
QString abbreviatedRelativeTime(const QDateTime& date, const QDateTime& now);

} // namespace larkfold
