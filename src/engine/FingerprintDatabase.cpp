#include "engine/FingerprintDatabase.h"

#include "platform/JsonFwd.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <new>

namespace larkfold {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::size_t kMinimumIndexSlots = 16;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + std::int64_t(dayOfEra) - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    return {std::int64_t(yearOfEra) + era * 400 + (month <= 2), month, day};
}

bool isLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(std::int64_t year, unsigned month)
{
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<FingerprintDatabase::Digest> FingerprintDatabase::digestFromHex(std::string_view hex)
{
    Digest digest;
    if (hex.size() != digest.size() * 2)
        return std::nullopt;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = hexDigit(hex[2 * i]);
        const int low = hexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = std::uint8_t(high << 4 | low);
    }
    return digest;
}

std::string FingerprintDatabase::hexOf(const Digest& digest)
{
    std::string text;
    appendHex(text, digest);
    return text;
}

void FingerprintDatabase::appendHex(std::string& out, const Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    const std::size_t at = out.size();
    out.resize(at + digest.size() * 2);
    for (std::size_t i = 0; i < digest.size(); ++i) {
        out[at + 2 * i] = kDigits[digest[i] >> 4];
        out[at + 2 * i + 1] = kDigits[digest[i] & 0x0f];
    }
}

std::string FingerprintDatabase::encodeDate(std::int64_t seconds)
{
    std::string text;
    appendDate(text, seconds);
    return text;
}

void FingerprintDatabase::appendDate(std::string& out, std::int64_t seconds)
{
    const std::int64_t days = seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds - 1) / kSecondsPerDay) - 1;
    const auto secondOfDay = unsigned(seconds - days * kSecondsPerDay);
    const CivilDate date = civilFromDays(days);
    // Qt's own form outside the years the short one covers.
    if (date.year < 1 || date.year > 9999) {
        out += platform::encodeDate(QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()));
        return;
    }
    const std::size_t at = out.size();
    out += "0000-00-00T00:00:00Z";
    const auto put = [&](std::size_t offset, unsigned value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            out[at + offset + std::size_t(i)] = char('0' + value % 10);
    };
    put(0, unsigned(date.year), 4);
    put(5, date.month, 2);
    put(8, date.day, 2);
    put(11, secondOfDay / 3600, 2);
    put(14, secondOfDay / 60 % 60, 2);
    put(17, secondOfDay % 60, 2);
}

std::optional<std::int64_t> FingerprintDatabase::decodeDate(std::string_view text)
{
    constexpr std::string_view kForm = "0000-00-00T00:00:00Z";
    if (text.size() != kForm.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const bool digitExpected = kForm[i] == '0';
        const bool isDigit = text[i] >= '0' && text[i] <= '9';
        if (digitExpected ? !isDigit : text[i] != kForm[i])
            return std::nullopt;
    }
    const auto number = [&](std::size_t at, int digits) {
        unsigned value = 0;
        for (int i = 0; i < digits; ++i)
            value = value * 10 + unsigned(text[at + std::size_t(i)] - '0');
        return value;
    };
    const std::int64_t year = number(0, 4);
    const unsigned month = number(5, 2);
    const unsigned day = number(8, 2);
    const unsigned hour = number(11, 2);
    const unsigned minute = number(14, 2);
    const unsigned second = number(17, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59
        || second > 59)
        return std::nullopt;
    return daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

// --- The map ---

std::optional<std::size_t> FingerprintDatabase::locate(std::string_view path) const
{
    if (m_index.empty())
        return std::nullopt;
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>{}(path) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = m_index[slot];
        if (held == 0)
            return std::nullopt;
        if (pathOf(m_records[held - 1]) == path)
            return held - 1;
    }
}

const FingerprintDatabase::Entry* FingerprintDatabase::find(std::string_view path) const
{
    const auto at = locate(path);
    return at && !isRemoved(m_records[*at]) ? &m_records[*at].entry : nullptr;
}

FingerprintDatabase::Entry* FingerprintDatabase::find(std::string_view path)
{
    return const_cast<Entry*>(std::as_const(*this).find(path));
}

void FingerprintDatabase::appendRecord(std::string_view path, const Entry& entry)
{
    // Offsets and sizes are 32-bit: far beyond what the file's size limit lets in.
    if (m_paths.size() + path.size() > kRemovedBit || m_records.size() >= kRemovedBit)
        throw std::bad_alloc();
    m_records.push_back({entry, std::uint32_t(m_paths.size()), std::uint32_t(path.size())});
    m_paths.append(path);
}

void FingerprintDatabase::set(std::string_view path, const Entry& entry)
{
    if (const auto at = locate(path)) {
        Record& record = m_records[*at];
        if (isRemoved(record)) {
            record.pathBytes &= ~kRemovedBit;
            --m_removedCount;
        }
        record.entry = entry;
        return;
    }
    appendRecord(path, entry);
    if (m_records.size() * 2 > m_index.size()) {
        rebuildIndex();
        return;
    }
    const std::size_t mask = m_index.size() - 1;
    std::size_t slot = std::hash<std::string_view>{}(path) & mask;
    while (m_index[slot] != 0)
        slot = (slot + 1) & mask;
    m_index[slot] = std::uint32_t(m_records.size());
}

bool FingerprintDatabase::erase(std::string_view path)
{
    const auto at = locate(path);
    if (!at || isRemoved(m_records[*at]))
        return false;
    // Kept in place, so the index needs no change until the records are next put in order.
    m_records[*at].pathBytes |= kRemovedBit;
    ++m_removedCount;
    return true;
}

void FingerprintDatabase::rebuildIndex()
{
    std::size_t slotCount = kMinimumIndexSlots;
    while (slotCount < m_records.size() * 2)
        slotCount *= 2;
    m_index.assign(slotCount, 0);
    const std::size_t mask = slotCount - 1;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        std::size_t slot = std::hash<std::string_view>{}(pathOf(m_records[i])) & mask;
        while (m_index[slot] != 0)
            slot = (slot + 1) & mask;
        m_index[slot] = std::uint32_t(i + 1);
    }
}

void FingerprintDatabase::sortByKey()
{
    if (m_sortedCount == m_records.size() && m_removedCount == 0)
        return;
    const auto byPath = [this](const Record& a, const Record& b) { return pathOf(a) < pathOf(b); };
    const auto added = m_records.begin() + std::ptrdiff_t(m_sortedCount);
    std::sort(added, m_records.end(), byPath);
    std::inplace_merge(m_records.begin(), added, m_records.end(), byPath);
    std::erase_if(m_records, [](const Record& record) { return isRemoved(record); });
    // Paths of removed entries stay in the buffer until it is mostly theirs.
    std::size_t livePathBytes = 0;
    for (const Record& record : m_records)
        livePathBytes += record.pathBytes;
    if (livePathBytes < m_paths.size() / 2) {
        std::string paths;
        paths.reserve(livePathBytes);
        for (Record& record : m_records) {
            const std::string_view path = pathOf(record);
            record.pathOffset = std::uint32_t(paths.size());
            paths.append(path);
        }
        m_paths = std::move(paths);
    }
    m_sortedCount = m_records.size();
    m_removedCount = 0;
    rebuildIndex();
}

void FingerprintDatabase::forEach(const std::function<void(std::string_view, const Entry&)>& visit)
{
    sortByKey();
    for (const Record& record : m_records)
        visit(pathOf(record), record.entry);
}

std::size_t FingerprintDatabase::removeWhere(const std::function<Verdict(std::string_view, const Entry&)>& judge)
{
    sortByKey();
    std::size_t removed = 0;
    for (Record& record : m_records) {
        const Verdict verdict = judge(pathOf(record), record.entry);
        if (verdict == Verdict::stop)
            break;
        if (verdict == Verdict::remove) {
            record.pathBytes |= kRemovedBit;
            ++removed;
        }
    }
    m_removedCount += removed;
    return removed;
}

} // namespace larkfold
