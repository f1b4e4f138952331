#include "engine/IntegrityVerifier.h"

#include "engine/FileDigester.h"
#include "platform/Clock.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "store/BackupProfile.h"

#include <QStringDecoder>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace larkfold {
namespace {

using platform::Json;
namespace fs = std::filesystem;

constexpr const char* kTemporaryPrefix = ".larktmp-";
constexpr qint64 kSecondsPerDay = 86400;
// The folder is looked at again after this many removals, so a drive that goes away mid-walk
// stops the walk instead of emptying the database.
constexpr int kPruneRecheckInterval = 100;

// ---- file access -----------------------------------------------------------------------------

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

QString errorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

Fd openFolder(const fs::path& folder)
{
    return Fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Opens `relative` below `dir` without following any symbolic link and without leaving `dir`.
Fd openBeneath(int dir, const std::string& relative, int flags)
{
    open_how how{};
    how.flags = std::uint64_t(flags | O_CLOEXEC | O_NOFOLLOW);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, dir, relative.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != EINTR)
            return Fd(int(fd));
    }
}

enum class Presence { present, absent };

// Whether anything is at `relative` below `dir`. Only a plain "not there" counts as absent; an
// error such as EACCES or EIO keeps the entry, so a flaky drive never prunes fingerprints.
Presence presence(int dir, const std::string& relative)
{
    if (openBeneath(dir, relative, O_PATH))
        return Presence::present;
    switch (errno) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP: // behind a symbolic link: nothing of the backup's is there
    case EXDEV: // outside the backup folder
        return Presence::absent;
    default:
        return Presence::present;
    }
}

bool isFolder(const fs::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

enum class ReadStatus { ok, absent, failed };

ReadStatus readMarker(const fs::path& folder, std::string_view name, std::string& bytes, int& error)
{
    const Fd dir = openFolder(folder);
    Fd file = dir ? openBeneath(dir.get(), std::string(name), O_RDONLY) : Fd();
    if (!file) {
        error = errno;
        return error == ENOENT ? ReadStatus::absent : ReadStatus::failed;
    }
    bytes.clear();
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return ReadStatus::failed;
        }
        if (n == 0)
            return ReadStatus::ok;
        bytes.append(buffer, std::size_t(n));
    }
}

// Replaces `name` in `folder` whole: written under a temporary name the scans pass over, synced,
// then renamed over the old file. Returns the error text, empty on success.
QString writeMarker(const fs::path& folder, std::string_view name, std::string_view bytes)
{
    const Fd dir = openFolder(folder);
    if (!dir)
        return errorText(errno);
    const std::string temporary
        = kTemporaryPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
    Fd file(::openat(dir.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file)
        return errorText(errno);
    auto failWith = [&](int code) {
        ::unlinkat(dir.get(), temporary.c_str(), 0);
        return errorText(code);
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failWith(n < 0 ? errno : EIO);
        done += std::size_t(n);
    }
    if (::fdatasync(file.get()) != 0)
        return failWith(errno);
    if (::renameat(dir.get(), temporary.c_str(), dir.get(), std::string(name).c_str()) != 0)
        return failWith(errno);
    ::fsync(dir.get());
    return {};
}

// "report.pdf" -> "report-1A2B3C4D.pdf", "Makefile" -> "Makefile-1A2B3C4D".
std::string suffixedName(const std::string& name)
{
    const std::string tag = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(8).toStdString();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name + "-" + tag;
    return name.substr(0, dot) + "-" + tag + name.substr(dot);
}

// Moves `name` out of `folder` into today's folder of the trash, beside whatever earlier runs put
// there. Returns the error text, empty on success.
QString moveToTrash(const fs::path& folder, std::string_view name, const fs::path& trash, fs::path& movedTo)
{
    const QString day = platform::wallClock().now().toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
    const fs::path dayFolder = trash / day.toStdString();
    std::error_code error;
    fs::create_directories(dayFolder, error);
    if (error)
        return QString::fromStdString(error.message());
    const Fd from = openFolder(folder);
    const Fd to = openFolder(dayFolder);
    if (!from || !to)
        return errorText(errno);
    std::string target(name);
    struct stat st {};
    if (::fstatat(to.get(), target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        target = suffixedName(target);
    // Never replaces anything already in the trash.
    if (::renameat2(from.get(), std::string(name).c_str(), to.get(), target.c_str(), RENAME_NOREPLACE) != 0)
        return errorText(errno);
    movedTo = dayFolder / target;
    return {};
}

// ---- the database format -------------------------------------------------------------------------

bool isUtf8(std::string_view bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return !decoder.hasError();
}

Json encodeEntry(const IntegrityVerifier::HashEntry& entry)
{
    Json object = Json::object();
    object["relativePath"] = entry.relativePath;
    object["sha256"] = entry.sha256;
    object["fileSize"] = entry.fileSize;
    object["recordedAt"] = platform::encodeDate(entry.recordedAt);
    if (entry.lastVerifiedAt)
        object["lastVerifiedAt"] = platform::encodeDate(*entry.lastVerifiedAt);
    return object;
}

// Throws JsonDecodeError when the text is not a database as a whole.
IntegrityVerifier::Database decodeDatabase(std::string_view bytes)
{
    namespace json = platform::json;
    const Json root = platform::parseJson(bytes);
    if (!root.is_object())
        throw platform::JsonDecodeError("expected an object");
    IntegrityVerifier::Database database;
    for (const auto& [key, value] : root.items()) {
        IntegrityVerifier::HashEntry entry;
        entry.relativePath = json::requireString(value, "relativePath");
        entry.sha256 = json::requireString(value, "sha256");
        entry.fileSize = json::requireInt(value, "fileSize");
        entry.recordedAt = json::requireDate(value, "recordedAt");
        entry.lastVerifiedAt = json::optionalDate(value, "lastVerifiedAt");
        database.emplace(key, std::move(entry));
    }
    return database;
}

// The key text of a relative path; none for a name JSON cannot hold as it is.
std::optional<std::string> keyOf(const fs::path& relativePath)
{
    const std::string& text = relativePath.native();
    if (text.empty() || !isUtf8(text))
        return std::nullopt;
    return text;
}

// Code-point order of the composed text, so a name in either Unicode form sorts the same.
std::string sortKey(const std::string& relativePath)
{
    return QString::fromUtf8(relativePath).normalized(QString::NormalizationForm_C).toUtf8().toStdString();
}

std::optional<QDateTime> oldestVerifiedDate(const IntegrityVerifier::Database& database)
{
    std::optional<QDateTime> oldest;
    for (const auto& [key, entry] : database) {
        if (!entry.lastVerifiedAt)
            return std::nullopt;
        if (!oldest || *entry.lastVerifiedAt < *oldest)
            oldest = entry.lastVerifiedAt;
    }
    return oldest;
}

} // namespace

QString IntegrityVerifier::IntegrityResult::summary(const QDateTime& now) const
{
    if (totalTracked < 1)
        return QStringLiteral("No files are being checked yet.");
    if (neverVerified >= 1)
        return QStringLiteral("%1 %2 still waiting for a first check.")
            .arg(neverVerified)
            .arg(neverVerified == 1 ? QStringLiteral("file") : QStringLiteral("files"));
    if (!oldestVerifiedAt)
        return QStringLiteral("Every file has been checked.");
    const qint64 days = oldestVerifiedAt->secsTo(now) / kSecondsPerDay;
    if (days < 1)
        return QStringLiteral("Every file checked today.");
    if (days == 1)
        return QStringLiteral("Every file checked within the last day.");
    return QStringLiteral("Every file checked within the last %1 days.").arg(days);
}

IntegrityVerifier::IntegrityVerifier(int sampleSize, std::int64_t maxBytesPerCheck)
    : m_sampleSize(sampleSize)
    , m_maxBytesPerCheck(maxBytesPerCheck)
{
}

void IntegrityVerifier::recordHashes(const std::vector<fs::path>& relativePaths, const fs::path& destination,
                                     const fs::path& trash)
{
    if (relativePaths.empty())
        return;
    std::optional<Database> database = loadDatabase(destination, trash);
    if (!database)
        return;
    const Fd dir = openFolder(destination);
    if (!dir)
        return;
    FileDigester digester;
    bool changed = false;
    for (const fs::path& relativePath : relativePaths) {
        const std::optional<std::string> key = keyOf(relativePath);
        if (!key) {
            qCWarning(lcIntegrityVerifier, "Not fingerprinting %s: its name is not valid UTF-8",
                      qUtf8Printable(platform::privateArg(relativePath)));
            continue;
        }
        const Fd file = openBeneath(dir.get(), *key, O_RDONLY);
        std::optional<std::string> digest = file ? digester.sha256Hex(file.get()) : std::nullopt;
        if (!digest) {
            // A fingerprint of the old content would report the fresh copy as damaged.
            changed |= database->erase(*key) > 0;
            continue;
        }
        struct stat st {};
        const std::int64_t size = ::fstat(file.get(), &st) == 0 ? std::int64_t(st.st_size) : 0;
        (*database)[*key] = HashEntry{*key, std::move(*digest), size, platform::wallClock().now(), std::nullopt};
        changed = true;
    }
    if (changed)
        saveDatabase(*database, destination);
}

int IntegrityVerifier::pruneMissing(const fs::path& destination, const fs::path& trash)
{
    if (!isFolder(destination))
        return 0;
    std::optional<Database> database = loadDatabase(destination, trash);
    if (!database || database->empty())
        return 0;
    const Fd dir = openFolder(destination);
    if (!dir)
        return 0;
    int removed = 0;
    for (auto it = database->begin(); it != database->end();) {
        if (removed % kPruneRecheckInterval == 0 && !isFolder(destination))
            break;
        if (presence(dir.get(), it->first) == Presence::absent) {
            it = database->erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    if (removed > 0)
        saveDatabase(*database, destination);
    return removed;
}

std::optional<QDateTime> IntegrityVerifier::lastCheckDate(const fs::path& destination) const
{
    std::string bytes;
    int error = 0;
    if (readMarker(destination, kLastCheckFileName, bytes, error) != ReadStatus::ok || !isUtf8(bytes))
        return std::nullopt;
    return platform::decodeDate(QString::fromUtf8(bytes).trimmed().toStdString());
}

bool IntegrityVerifier::isCheckDue(const fs::path& destination) const
{
    const std::optional<QDateTime> last = lastCheckDate(destination);
    return !last || last->secsTo(platform::wallClock().now()) > kSecondsPerDay;
}

std::optional<IntegrityVerifier::IntegrityResult>
IntegrityVerifier::verifySample(const fs::path& destination, const fs::path& trash, const platform::CancelToken& cancel)
{
    std::optional<Database> database = loadDatabase(destination, trash);
    if (!database)
        return std::nullopt;
    IntegrityResult result;
    if (database->empty()) {
        result.timestamp = platform::wallClock().now();
        return result;
    }

    const Fd dir = openFolder(destination);
    if (!dir)
        return std::nullopt;
    FileDigester digester;
    std::vector<std::string> checked;
    for (const auto& item : selectSample(*database)) {
        if (cancel.isCancelled())
            break;
        const auto& [key, entry] = *item;
        if (presence(dir.get(), key) == Presence::absent) {
            result.missing.push_back(key);
            continue;
        }
        const Fd file = openBeneath(dir.get(), key, O_RDONLY);
        const std::optional<std::string> digest = file ? digester.sha256Hex(file.get()) : std::nullopt;
        if (digest && *digest == entry.sha256)
            ++result.verified;
        else
            result.corrupted.push_back(key);
        checked.push_back(key);
    }

    // A damaged file is marked too, so it moves to the back of the next sample instead of
    // being re-read every day; a missing one stays in front until pruning removes it.
    if (!checked.empty()) {
        const QDateTime now = platform::wallClock().now();
        for (const std::string& key : checked)
            (*database)[key].lastVerifiedAt = now;
        saveDatabase(*database, destination);
    }

    result.timestamp = platform::wallClock().now();
    result.totalTracked = int(database->size());
    result.neverVerified = int(std::count_if(database->begin(), database->end(),
                                             [](const auto& item) { return !item.second.lastVerifiedAt; }));
    result.oldestVerifiedAt = oldestVerifiedDate(*database);
    return result;
}

void IntegrityVerifier::recordCheckTime(const fs::path& destination)
{
    const QString error = writeMarker(destination, kLastCheckFileName, platform::encodeDate(platform::wallClock().now()));
    if (!error.isEmpty())
        qCCritical(lcIntegrityVerifier, "Failed to write last-check timestamp: %s", qUtf8Printable(error));
}

std::optional<IntegrityVerifier::Database> IntegrityVerifier::loadDatabase(const fs::path& destination,
                                                                           const fs::path& trash) const
{
    std::string bytes;
    int error = 0;
    switch (readMarker(destination, kHashesFileName, bytes, error)) {
    case ReadStatus::absent:
        return Database{};
    case ReadStatus::failed:
        // Taking it as empty would overwrite fingerprints that may still be on the disk.
        qCCritical(lcIntegrityVerifier, "Failed to read hash database at %s, skipping fingerprints this time: %s",
                   qUtf8Printable(platform::privateArg(destination / kHashesFileName)),
                   qUtf8Printable(errorText(error)));
        return std::nullopt;
    case ReadStatus::ok:
        break;
    }
    try {
        return decodeDatabase(bytes);
    } catch (const platform::JsonDecodeError& decodeError) {
        // Kept in the trash rather than overwritten, where no scan of the backup folder sees it.
        fs::path movedTo;
        const QString moveError = moveToTrash(destination, kHashesFileName, trash, movedTo);
        if (!moveError.isEmpty()) {
            qCCritical(lcIntegrityVerifier,
                       "Hash database at %s cannot be decoded (%s) nor moved to the trash, skipping fingerprints "
                       "this time: %s",
                       qUtf8Printable(platform::privateArg(destination / kHashesFileName)), decodeError.what(),
                       qUtf8Printable(moveError));
            return std::nullopt;
        }
        qCWarning(lcIntegrityVerifier, "Hash database cannot be decoded (%s); moved it to %s and started a new one",
                  decodeError.what(), qUtf8Printable(platform::privateArg(movedTo)));
        return Database{};
    }
}

void IntegrityVerifier::saveDatabase(const Database& database, const fs::path& destination) const
{
    std::string bytes;
    try {
        Json root = Json::object();
        for (const auto& [key, entry] : database)
            root[key] = encodeEntry(entry);
        bytes = platform::encodeJsonPretty(root);
    } catch (const Json::exception& error) {
        qCCritical(lcIntegrityVerifier, "Failed to encode hash database: %s", error.what());
        return;
    }
    const QString error = writeMarker(destination, kHashesFileName, bytes);
    if (!error.isEmpty())
        qCCritical(lcIntegrityVerifier, "Failed to write hash database to %s: %s",
                   qUtf8Printable(platform::privateArg(destination / kHashesFileName)), qUtf8Printable(error));
}

std::vector<IntegrityVerifier::Database::const_iterator> IntegrityVerifier::selectSample(const Database& database) const
{
    struct Candidate {
        Database::const_iterator item;
        std::string order;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(database.size());
    for (auto it = database.begin(); it != database.end(); ++it)
        candidates.push_back({it, sortKey(it->second.relativePath)});
    // Never-checked entries first (an absent date sorts before any date), then the oldest check.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        const auto& da = a.item->second.lastVerifiedAt;
        const auto& db = b.item->second.lastVerifiedAt;
        if (da != db)
            return !da || (db && *da < *db);
        return a.order < b.order;
    });

    std::vector<Database::const_iterator> sample;
    std::int64_t totalBytes = 0;
    for (const Candidate& candidate : candidates) {
        if (int(sample.size()) >= m_sampleSize)
            break;
        sample.push_back(candidate.item);
        // The entry that reaches the limit is still part of the sample.
        const std::int64_t size = std::max<std::int64_t>(candidate.item->second.fileSize, 0);
        if (size >= m_maxBytesPerCheck - totalBytes)
            break;
        totalBytes += size;
    }
    return sample;
}

} // namespace larkfold
