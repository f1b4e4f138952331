#include "copy/StoredTimes.h"

#include <string>

namespace larkfold {
namespace {

constexpr long kNanosecondsPerSecond = 1'000'000'000;
// Times this close count as equal where the file system keeps them coarsely (FAT keeps 2 s).
constexpr std::int64_t kCoarseToleranceNanoseconds = 2 * std::int64_t(kNanosecondsPerSecond);
// Resolutions finer than this are cut exactly; anything coarser takes the tolerance.
constexpr long kFineResolutionNanoseconds = 1000;

// Odd seconds and all nines, so whatever a file system drops of it shows.
constexpr std::timespec kFineProbe{1'700'000'001, kNanosecondsPerSecond - 1};
// Far beyond every file system's limits (ext4's end is 2446, FAT's 2107, 32-bit times' 2038).
constexpr std::timespec kLateProbe{std::time_t(1) << 40, 0};
constexpr std::timespec kEarlyProbe{-(std::time_t(1) << 40), 0};

bool before(const std::timespec& a, const std::timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

bool same(const std::timespec& a, const std::timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// |a - b| > limit, without the overflow of whole nanoseconds beyond 2262.
bool apartMoreThan(const std::timespec& a, const std::timespec& b, std::int64_t limitNanoseconds)
{
    const std::int64_t seconds = std::int64_t(a.tv_sec) - std::int64_t(b.tv_sec);
    if (seconds > limitNanoseconds / kNanosecondsPerSecond + 1 || -seconds > limitNanoseconds / kNanosecondsPerSecond + 1)
        return true;
    std::int64_t difference = seconds * kNanosecondsPerSecond + (a.tv_nsec - b.tv_nsec);
    if (difference < 0)
        difference = -difference;
    return difference > limitNanoseconds;
}

// What the file system gives back for `time`; none when it cannot be set there.
std::optional<std::timespec> roundTrip(platform::FileSystem& fileSystem, const platform::File& file,
                                       const std::timespec& time)
{
    if (fileSystem.setTimes(file, time, time))
        return std::nullopt;
    const auto status = fileSystem.status(file);
    if (!status)
        return std::nullopt;
    return status->modificationTime;
}

} // namespace

StoredTimes StoredTimes::exact(std::optional<std::timespec> earliest, std::optional<std::timespec> latest)
{
    StoredTimes times;
    times.m_coarse = false;
    times.m_earliest = earliest;
    times.m_latest = latest;
    return times;
}

StoredTimes StoredTimes::probe(platform::FileSystem& fileSystem, const platform::Directory& folder)
{
    const std::string name = platform::temporaryNameFor("time-probe");
    auto file = fileSystem.openFile(folder, name, platform::OpenMode::createNew, 0600);
    if (!file)
        return {};
    StoredTimes times;
    if (const auto fine = roundTrip(fileSystem, *file, kFineProbe)) {
        if (fine->tv_sec == kFineProbe.tv_sec && fine->tv_nsec <= kFineProbe.tv_nsec
            && kFineProbe.tv_nsec - fine->tv_nsec < kFineResolutionNanoseconds) {
            times.m_coarse = false;
            // All nines cut to a resolution that divides a second leave one less than it.
            times.m_resolutionNanoseconds = kFineProbe.tv_nsec - fine->tv_nsec + 1;
        }
    }
    if (const auto late = roundTrip(fileSystem, *file, kLateProbe); late && before(*late, kLateProbe))
        times.m_latest = *late;
    if (const auto early = roundTrip(fileSystem, *file, kEarlyProbe); early && before(kEarlyProbe, *early))
        times.m_earliest = *early;
    file->close();
    fileSystem.removeFile(folder, name);
    return times;
}

std::timespec StoredTimes::stored(std::timespec time) const
{
    if (m_latest && before(*m_latest, time))
        return *m_latest;
    if (m_earliest && before(time, *m_earliest))
        return *m_earliest;
    if (!m_coarse && m_resolutionNanoseconds > 1)
        time.tv_nsec -= time.tv_nsec % m_resolutionNanoseconds;
    return time;
}

bool StoredTimes::differ(std::timespec source, std::timespec copy) const
{
    const std::timespec expected = stored(source);
    if (m_coarse)
        return apartMoreThan(copy, expected, kCoarseToleranceNanoseconds);
    return !same(copy, expected);
}

} // namespace larkfold
