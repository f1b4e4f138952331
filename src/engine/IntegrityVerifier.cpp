#include "engine/IntegrityVerifier.h"

#include "copy/FileCopier.h"
#include "engine/FileDigester.h"
#include "platform/Clock.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/Utf8.h"
#include "store/BackupProfile.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <unordered_set>

namespace larkfold {
namespace {

using platform::Directory;
using platform::Json;
namespace fs = std::filesystem;

constexpr qint64 kSecondsPerDay = 86400;
// The folder is looked at again after this many removals, so a drive that goes away mid-walk
// stops the walk instead of emptying the database.
constexpr int kPruneRecheckInterval = 100;

QString errorText(const std::error_code& error)
{
    return QString::fromStdString(error.message());
}

enum class Presence { present, absent };

// Whether anything is at `relative` below the backup folder. Only a plain "not there" counts as
// absent; an error such as EACCES or EIO keeps the entry, so a flaky drive never prunes fingerprints.
Presence presence(platform::FileSystem& fileSystem, const Directory& dir, const std::string& relative)
{
    const auto status = fileSystem.status(dir, relative);
    if (status)
        return Presence::present;
    switch (status.error().value()) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:  // behind a symbolic link: nothing of the backup's is there
    case EINVAL: // absolute or with "..": never inside the backup folder
        return Presence::absent;
    default:
        return Presence::present;
    }
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
    if (text.empty() || !platform::decodeUtf8(text))
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

IntegrityVerifier::IntegrityVerifier(platform::FileSystem& fileSystem)
    : IntegrityVerifier(fileSystem, Limits{})
{
}

IntegrityVerifier::IntegrityVerifier(platform::FileSystem& fileSystem, Limits limits)
    : m_fileSystem(fileSystem)
    , m_limits(limits)
{
}

void IntegrityVerifier::recordHashes(const std::vector<fs::path>& relativePaths, const Directory& destination,
                                     const fs::path& trash)
{
    if (relativePaths.empty())
        return;
    recordHashes(relativePaths, {}, destination, trash, {});
}

void IntegrityVerifier::recordHashes(const std::vector<fs::path>& copied, const std::vector<std::string>& listed,
                                     const Directory& destination, const fs::path& trash,
                                     const platform::CancelToken& cancel)
{
    if (copied.empty() && listed.empty())
        return;
    std::optional<Database> database = loadDatabase(destination, trash);
    if (!database)
        return;
    FileDigester digester(m_fileSystem);
    bool changed = false;
    // Returns the size of the file it fingerprinted; none when it could not.
    const auto record = [&](const fs::path& relativePath) -> std::optional<std::int64_t> {
        const std::optional<std::string> key = keyOf(relativePath);
        if (!key) {
            qCWarning(lcIntegrityVerifier, "Not fingerprinting %s: its name is not valid UTF-8",
                      qUtf8Printable(platform::privateArg(relativePath)));
            return std::nullopt;
        }
        const auto file = m_fileSystem.openFile(destination, *key, platform::OpenMode::read);
        const auto status = file ? m_fileSystem.status(*file) : platform::PosixResult<platform::FileStatus>(
                                                                     platform::posixError(ENOENT));
        std::optional<std::string> digest =
            status && status->isRegular() ? digester.sha256Hex(*file) : std::nullopt;
        if (!digest) {
            // A fingerprint of the old content would report the fresh copy as damaged.
            changed |= database->erase(*key) > 0;
            return std::nullopt;
        }
        (*database)[*key] =
            HashEntry{*key, std::move(*digest), status->size, platform::wallClock().now(), std::nullopt};
        changed = true;
        return status->size;
    };

    // First the files earlier runs left without one, so a long row of stopped runs cannot keep
    // them waiting; bounded, so a large backlog costs each run only a share.
    const std::unordered_set<std::string> copiedNow(copied.begin(), copied.end());
    int caughtUpFiles = 0;
    std::int64_t caughtUpBytes = 0;
    for (const std::string& relativePath : listed) {
        if (cancel.isCancelled() || caughtUpFiles >= m_limits.catchUpFilesPerRun
            || caughtUpBytes >= m_limits.catchUpBytesPerRun)
            break;
        if (database->contains(relativePath) || copiedNow.contains(relativePath) || !keyOf(relativePath))
            continue;
        if (const auto size = record(relativePath)) {
            ++caughtUpFiles;
            caughtUpBytes += *size;
        }
    }
    for (const fs::path& relativePath : copied) {
        if (cancel.isCancelled())
            break;
        record(relativePath);
    }
    if (changed)
        saveDatabase(*database, destination);
}

int IntegrityVerifier::pruneMissing(const Directory& destination, const fs::path& trash)
{
    std::optional<Database> database = loadDatabase(destination, trash);
    if (!database || database->empty())
        return 0;
    int removed = 0;
    for (auto it = database->begin(); it != database->end();) {
        if (removed % kPruneRecheckInterval == 0 && !m_fileSystem.isStillAtPath(destination))
            break;
        if (presence(m_fileSystem, destination, it->first) == Presence::absent) {
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

std::optional<QDateTime> IntegrityVerifier::lastCheckDate(const Directory& destination) const
{
    // An oversized one is no date either; the next check's time replaces it.
    const auto bytes =
        m_fileSystem.readWholeFile(destination, std::string(kLastCheckFileName), m_limits.maxLastCheckBytes);
    const std::optional<QString> text = bytes ? platform::decodeUtf8(*bytes) : std::nullopt;
    if (!text)
        return std::nullopt;
    return platform::decodeDate(text->trimmed().toStdString());
}

bool IntegrityVerifier::isCheckDue(const Directory& destination) const
{
    if (m_fileSystem.holdsOtherThanRegularFile(destination, std::string(kLastCheckFileName)))
        return false;
    const std::optional<QDateTime> last = lastCheckDate(destination);
    return !last || last->secsTo(platform::wallClock().now()) > kSecondsPerDay;
}

std::vector<std::string> IntegrityVerifier::foreignItems(const Directory& destination) const
{
    std::vector<std::string> names;
    for (const std::string_view name : {kHashesFileName, kLastCheckFileName}) {
        if (m_fileSystem.holdsOtherThanRegularFile(destination, std::string(name)))
            names.emplace_back(name);
    }
    return names;
}

std::optional<IntegrityVerifier::IntegrityResult>
IntegrityVerifier::verifySample(const Directory& destination, const fs::path& trash, const platform::CancelToken& cancel)
{
    std::optional<Database> database = loadDatabase(destination, trash);
    if (!database)
        return std::nullopt;
    IntegrityResult result;
    if (database->empty()) {
        result.timestamp = platform::wallClock().now();
        return result;
    }

    FileDigester digester(m_fileSystem);
    std::vector<std::string> checked;
    for (const auto& item : selectSample(*database)) {
        if (cancel.isCancelled())
            break;
        const auto& [key, entry] = *item;
        if (presence(m_fileSystem, destination, key) == Presence::absent) {
            result.missing.push_back(key);
            continue;
        }
        const auto file = m_fileSystem.openFile(destination, key, platform::OpenMode::read);
        const std::optional<std::string> digest = file ? digester.sha256Hex(*file) : std::nullopt;
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

void IntegrityVerifier::recordCheckTime(const Directory& destination)
{
    const std::string name(kLastCheckFileName);
    // The write would replace a link or a FIFO standing there: not ours to remove.
    const std::error_code error = m_fileSystem.holdsOtherThanRegularFile(destination, name)
                                    ? platform::posixError(EEXIST)
                                    : m_fileSystem.writeFileAtomically(
                                          destination, name, platform::encodeDate(platform::wallClock().now()));
    if (error)
        qCCritical(lcIntegrityVerifier, "Failed to write last-check timestamp: %s", qUtf8Printable(errorText(error)));
}

std::optional<IntegrityVerifier::Database> IntegrityVerifier::loadDatabase(const Directory& dir,
                                                                           const fs::path& trash) const
{
    const fs::path file = dir.path() / kHashesFileName;
    // Why the file is not a database: it cannot be decoded, or is too large to be one.
    std::string damage;
    try {
        const auto bytes = m_fileSystem.readWholeFile(dir, std::string(kHashesFileName), m_limits.maxDatabaseBytes);
        if (bytes)
            return decodeDatabase(*bytes);
        if (bytes.error() == std::errc::no_such_file_or_directory)
            return Database{};
        if (bytes.error() != std::errc::file_too_large) {
            // Taking it as empty would overwrite fingerprints that may still be on the disk.
            qCCritical(lcIntegrityVerifier, "Failed to read hash database at %s, skipping fingerprints this time: %s",
                       qUtf8Printable(platform::privateArg(file)), qUtf8Printable(errorText(bytes.error())));
            return std::nullopt;
        }
        damage = "larger than any real database";
    } catch (const platform::JsonDecodeError& decodeError) {
        damage = decodeError.what();
    } catch (const std::bad_alloc&) {
        damage = "too large to read into memory";
    }
    // Kept in the trash rather than overwritten, where no scan of the backup folder sees it.
    const auto movedTo = FileCopier(m_fileSystem).setAsideInTrash(dir, std::string(kHashesFileName), trash);
    if (!movedTo) {
        qCCritical(lcIntegrityVerifier,
                   "Hash database at %s cannot be decoded (%s) nor moved to the trash, skipping fingerprints "
                   "this time: %s",
                   qUtf8Printable(platform::privateArg(file)), damage.c_str(),
                   qUtf8Printable(errorText(movedTo.error())));
        return std::nullopt;
    }
    qCWarning(lcIntegrityVerifier, "Hash database cannot be decoded (%s); moved it to %s and started a new one",
              damage.c_str(), qUtf8Printable(platform::privateArg(*movedTo)));
    return Database{};
}

void IntegrityVerifier::saveDatabase(const Database& database, const Directory& dir) const
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
    if (const std::error_code error = m_fileSystem.writeFileAtomically(dir, std::string(kHashesFileName), bytes))
        qCCritical(lcIntegrityVerifier, "Failed to write hash database to %s: %s",
                   qUtf8Printable(platform::privateArg(dir.path() / kHashesFileName)),
                   qUtf8Printable(errorText(error)));
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
        if (int(sample.size()) >= m_limits.sampleSize)
            break;
        sample.push_back(candidate.item);
        // The entry that reaches the limit is still part of the sample.
        const std::int64_t size = std::max<std::int64_t>(candidate.item->second.fileSize, 0);
        if (size >= m_limits.maxBytesPerCheck - totalBytes)
            break;
        totalBytes += size;
    }
    return sample;
}

} // namespace larkfold
