#include "engine/IntegrityVerifier.h"

#include "copy/FileCopier.h"
#include "engine/FileDigester.h"
#include "platform/Clock.h"
#include "platform/FreedMemory.h"
#include "platform/JsonFwd.h"
#include "platform/Log.h"
#include "platform/Utf8.h"
#include "store/BackupProfile.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <limits>

namespace larkfold {
namespace {

using platform::Directory;
using Database = FingerprintDatabase;
namespace fs = std::filesystem;

constexpr qint64 kSecondsPerDay = 86400;
// The folder is looked at again after this many removals, so a drive that goes away mid-walk
// stops the walk instead of emptying the database.
constexpr int kPruneRecheckInterval = 100;
constexpr std::size_t kReadPieceBytes = 1 << 20;

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

// A path whose every component names an entry of the folder before it: relative, with no empty,
// "." or ".." component and no NUL byte. Its folder's listing tells whether it is there.
bool isPlainPath(std::string_view path)
{
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == path.size())
            return true;
        start = end + 1;
    }
}

bool isAtOrBelow(std::string_view folder, std::string_view ancestor)
{
    return ancestor.empty() || folder == ancestor
        || (folder.size() > ancestor.size() && folder.starts_with(ancestor) && folder[ancestor.size()] == '/');
}

// Where the paths of a walk in key order stand, from one listing of each folder: a name its
// folder lists is there without a look of its own, which for a large backup is most of the time
// of a walk. In key order a folder's paths come in one run, its subfolders' inside it, so only
// the folders on the way to the current one are kept.
class FolderListings {
public:
    FolderListings(platform::FileSystem& fileSystem, const Directory& root) : m_fileSystem(fileSystem), m_root(root) {}

    // Whether the folder of `path` lists its name: then something is there.
    bool lists(std::string_view path)
    {
        if (!isPlainPath(path))
            return false;
        const auto [folder, name] = split(path);
        const Listing& listing = listingOf(folder);
        return listing.listed && std::binary_search(listing.names.begin(), listing.names.end(), name);
    }

    // The look at the path itself, which an unlisted name needs: a drive that ignores case finds it
    // under another spelling. Made from its folder when that is open.
    Presence lookAt(std::string_view path)
    {
        if (isPlainPath(path)) {
            const auto [folder, name] = split(path);
            const Listing& listing = listingOf(folder);
            if (listing.opened.isOpen())
                return presence(m_fileSystem, listing.opened, std::string(name));
            if (folder.empty())
                return presence(m_fileSystem, m_root, std::string(name));
        }
        return presence(m_fileSystem, m_root, std::string(path));
    }

private:
    struct Listing {
        std::string folder; // "" for the root
        Directory opened;   // not open for the root, nor when the folder could not be opened
        std::vector<std::string> names; // sorted
        bool listed = false;
    };

    static std::pair<std::string_view, std::string_view> split(std::string_view path)
    {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string_view::npos)
            return {{}, path};
        return {path.substr(0, slash), path.substr(slash + 1)};
    }

    const Listing& listingOf(std::string_view folder)
    {
        while (!m_path.empty() && !isAtOrBelow(folder, m_path.back().folder))
            m_path.pop_back();
        if (!m_path.empty() && m_path.back().folder == folder)
            return m_path.back();
        Listing& listing = m_path.emplace_back();
        listing.folder = folder;
        const Directory* dir = &m_root;
        if (!folder.empty()) {
            auto opened = m_fileSystem.openDirectory(m_root, std::string(folder));
            if (!opened)
                return listing;
            listing.opened = std::move(*opened);
            dir = &listing.opened;
        }
        if (auto names = m_fileSystem.listDirectory(*dir)) {
            listing.names = std::move(*names);
            std::sort(listing.names.begin(), listing.names.end());
            listing.listed = true;
        }
        return listing;
    }

    platform::FileSystem& m_fileSystem;
    const Directory& m_root;
    std::vector<Listing> m_path; // each folder inside the one before it
};

// The key text of a relative path; none for a name JSON cannot hold as it is.
std::optional<std::string> keyOf(const fs::path& relativePath)
{
    const std::string& text = relativePath.native();
    if (text.empty() || !platform::decodeUtf8(text))
        return std::nullopt;
    return text;
}

QDateTime dateOf(std::int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
}

std::int64_t secondsOf(const QDateTime& date)
{
    return date.toSecsSinceEpoch();
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One entry as the sample order sees it: the last check, then the code-point order of the
// composed name, so a name in either Unicode form sorts the same.
struct Candidate {
    std::string_view path;
    const Database::Entry* entry;
    std::string composed; // of a name that is not plain ASCII, whose own bytes are the order otherwise

    Candidate(std::string_view path, const Database::Entry& entry) : path(path), entry(&entry)
    {
        if (!isAscii(path))
            composed = QString::fromUtf8(path.data(), qsizetype(path.size()))
                           .normalized(QString::NormalizationForm_C)
                           .toUtf8()
                           .toStdString();
    }
    std::string_view order() const { return composed.empty() ? path : std::string_view(composed); }
};

// Never-checked entries first (kNever is below any date), then the oldest check; ties by name.
bool comesBefore(const Candidate& a, const Candidate& b)
{
    if (a.entry->lastVerifiedAt != b.entry->lastVerifiedAt)
        return a.entry->lastVerifiedAt < b.entry->lastVerifiedAt;
    if (a.order() != b.order())
        return a.order() < b.order();
    return a.path < b.path;
}

// The first `count` entries in sample order, in that order. Only entries that may still belong
// among them have their names composed, so a large database costs a pass and little else.
std::vector<Candidate> firstInSampleOrder(Database& database, std::size_t count)
{
    std::vector<Candidate> heap; // the best so far, the last of them on top
    if (count == 0)
        return heap;
    heap.reserve(count + 1);
    database.forEach([&](std::string_view path, const Database::Entry& entry) {
        if (heap.size() == count && entry.lastVerifiedAt > heap.front().entry->lastVerifiedAt)
            return;
        Candidate candidate(path, entry);
        if (heap.size() == count) {
            if (!comesBefore(candidate, heap.front()))
                return;
            std::pop_heap(heap.begin(), heap.end(), comesBefore);
            heap.pop_back();
        }
        heap.push_back(std::move(candidate));
        std::push_heap(heap.begin(), heap.end(), comesBefore);
    });
    std::sort_heap(heap.begin(), heap.end(), comesBefore);
    return heap;
}

// The sample: entries in sample order up to the limits' count, ending with the entry that
// reaches the byte total.
std::vector<std::string> selectSample(Database& database, const IntegrityVerifier::Limits& limits)
{
    std::vector<std::string> sample;
    std::int64_t totalBytes = 0;
    for (const Candidate& candidate : firstInSampleOrder(database, std::size_t(std::max(limits.sampleSize, 0)))) {
        sample.emplace_back(candidate.path);
        const std::int64_t size = std::max<std::int64_t>(candidate.entry->fileSize, 0);
        if (size >= limits.maxBytesPerCheck - totalBytes)
            break;
        totalBytes += size;
    }
    return sample;
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
    const DatabaseHold hold(*this);
    Database* database = loadDatabase(destination, trash);
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
        const std::optional<std::string> hex =
            status && status->isRegular() ? digester.sha256Hex(*file) : std::nullopt;
        const auto digest = hex ? Database::digestFromHex(*hex) : std::nullopt;
        if (!digest) {
            // A fingerprint of the old content would report the fresh copy as damaged.
            changed |= database->erase(*key);
            return std::nullopt;
        }
        database->set(*key, {*digest, status->size, secondsOf(platform::wallClock().now()), Database::kNever});
        changed = true;
        return status->size;
    };

    // First the files earlier runs left without one, so a long row of stopped runs cannot keep
    // them waiting; bounded, so a large backlog costs each run only a share.
    if (!listed.empty()) {
        std::vector<std::string_view> copiedNow(copied.size());
        std::transform(copied.begin(), copied.end(), copiedNow.begin(),
                       [](const fs::path& path) { return std::string_view(path.native()); });
        std::sort(copiedNow.begin(), copiedNow.end());
        int caughtUpFiles = 0;
        std::int64_t caughtUpBytes = 0;
        for (const std::string& relativePath : listed) {
            if (cancel.isCancelled() || caughtUpFiles >= m_limits.catchUpFilesPerRun
                || caughtUpBytes >= m_limits.catchUpBytesPerRun)
                break;
            if (database->find(relativePath) || std::binary_search(copiedNow.begin(), copiedNow.end(), relativePath)
                || !keyOf(relativePath))
                continue;
            if (const auto size = record(relativePath)) {
                ++caughtUpFiles;
                caughtUpBytes += *size;
            }
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
    const DatabaseHold hold(*this);
    Database* database = loadDatabase(destination, trash);
    if (!database || database->empty())
        return 0;
    FolderListings listings(m_fileSystem, destination);
    int removed = 0;
    database->removeWhere([&](std::string_view path, const Database::Entry&) {
        if (listings.lists(path))
            return Database::Verdict::keep;
        if (removed % kPruneRecheckInterval == 0 && !m_fileSystem.isStillAtPath(destination))
            return Database::Verdict::stop;
        if (listings.lookAt(path) == Presence::present)
            return Database::Verdict::keep;
        ++removed;
        return Database::Verdict::remove;
    });
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
    std::optional<IntegrityResult> result;
    {
        const DatabaseHold hold(*this);
        if (Database* database = loadDatabase(destination, trash))
            result = verifySample(*database, destination, cancel);
    }
    // The database of a large backup is the largest thing a resting program held; a hold gives
    // it back when it ends.
    if (m_holds == 0)
        platform::releaseFreedMemory();
    return result;
}

IntegrityVerifier::IntegrityResult IntegrityVerifier::verifySample(Database& database, const Directory& destination,
                                                                   const platform::CancelToken& cancel)
{
    IntegrityResult result;
    if (database.empty()) {
        result.timestamp = platform::wallClock().now();
        return result;
    }

    FileDigester digester(m_fileSystem);
    std::vector<std::string> checked;
    for (const std::string& key : selectSample(database, m_limits)) {
        if (cancel.isCancelled())
            break;
        if (presence(m_fileSystem, destination, key) == Presence::absent) {
            result.missing.push_back(key);
            continue;
        }
        const auto file = m_fileSystem.openFile(destination, key, platform::OpenMode::read);
        const std::optional<std::string> digest = file ? digester.sha256Hex(*file) : std::nullopt;
        if (digest && *digest == Database::hexOf(database.find(key)->sha256))
            ++result.verified;
        else
            result.corrupted.push_back(key);
        checked.push_back(key);
    }

    // A damaged file is marked too, so it moves to the back of the next sample instead of
    // being re-read every day; a missing one stays in front until pruning removes it.
    if (!checked.empty()) {
        const std::int64_t now = secondsOf(platform::wallClock().now());
        for (const std::string& key : checked)
            database.find(key)->lastVerifiedAt = now;
        saveDatabase(database, destination);
    }

    result.timestamp = platform::wallClock().now();
    result.totalTracked = int(database.size());
    std::int64_t oldest = std::numeric_limits<std::int64_t>::max();
    database.forEach([&](std::string_view, const Database::Entry& entry) {
        if (entry.lastVerifiedAt == Database::kNever)
            ++result.neverVerified;
        oldest = std::min(oldest, entry.lastVerifiedAt);
    });
    if (result.neverVerified == 0)
        result.oldestVerifiedAt = dateOf(oldest);
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

IntegrityVerifier::DatabaseHold::DatabaseHold(IntegrityVerifier& verifier) : m_verifier(verifier)
{
    ++m_verifier.m_holds;
}

IntegrityVerifier::DatabaseHold::~DatabaseHold()
{
    if (--m_verifier.m_holds == 0)
        m_verifier.dropDatabase();
}

void IntegrityVerifier::dropDatabase()
{
    m_database.reset();
    m_databaseFile.reset();
}

IntegrityVerifier::FileIdentity IntegrityVerifier::FileIdentity::of(const platform::FileStatus& status)
{
    return {status.device, status.inode, status.size, std::int64_t(status.modificationTime.tv_sec),
            long(status.modificationTime.tv_nsec)};
}

FingerprintDatabase* IntegrityVerifier::loadDatabase(const Directory& dir, const fs::path& trash)
{
    if (m_database && m_databaseFile) {
        const auto now = m_fileSystem.status(dir, std::string(kHashesFileName));
        if (now && now->isRegular() && FileIdentity::of(*now) == *m_databaseFile)
            return &*m_database;
    }
    // Dropped first: two databases of a large backup would not fit where one does.
    dropDatabase();
    m_database = readDatabase(dir, trash, m_databaseFile);
    return m_database ? &*m_database : nullptr;
}

std::optional<FingerprintDatabase> IntegrityVerifier::readDatabase(const Directory& dir, const fs::path& trash,
                                                                   std::optional<FileIdentity>& identity) const
{
    const fs::path path = dir.path() / kHashesFileName;
    const std::string name(kHashesFileName);
    // Why the file is not a database: it cannot be decoded, or is too large to be one.
    std::string damage;
    std::error_code readError;
    try {
        platform::FileStatus opened;
        const auto file = m_fileSystem.openRegularFile(dir, name, platform::OpenMode::read, &opened);
        if (!file)
            readError = file.error();
        else if (opened.size > m_limits.maxDatabaseBytes)
            readError = platform::posixError(EFBIG);
        if (!readError) {
            // Read and decoded a piece at a time: the text of a large database is never held whole.
            std::vector<std::byte> buffer(kReadPieceBytes);
            std::int64_t total = 0;
            const auto nextPiece = [&]() -> std::optional<std::string_view> {
                if (readError)
                    return std::nullopt;
                const auto count = m_fileSystem.read(*file, buffer);
                if (!count || (total += std::int64_t(*count)) > m_limits.maxDatabaseBytes) {
                    readError = count ? platform::posixError(EFBIG) : count.error();
                    return std::nullopt;
                }
                if (*count == 0)
                    return std::nullopt;
                return std::string_view(reinterpret_cast<const char*>(buffer.data()), *count);
            };
            std::size_t skipped = 0;
            try {
                Database database = Database::read(nextPiece, std::size_t(opened.size), &skipped);
                if (!readError) {
                    if (skipped > 0)
                        qCWarning(lcIntegrityVerifier, "Left out %zu damaged entries of the hash database", skipped);
                    identity = FileIdentity::of(opened);
                    return database;
                }
            } catch (const Database::DecodeError& decodeError) {
                damage = decodeError.what();
                // Damaged only if the rest can be read: a flaky drive is no reason to discard it.
                while (nextPiece()) {
                }
            }
        }
        if (readError == std::errc::no_such_file_or_directory)
            return Database{};
        if (readError && readError != std::errc::file_too_large) {
            // Taking it as empty would overwrite fingerprints that may still be on the disk.
            qCCritical(lcIntegrityVerifier, "Failed to read hash database at %s, skipping fingerprints this time: %s",
                       qUtf8Printable(platform::privateArg(path)), qUtf8Printable(errorText(readError)));
            return std::nullopt;
        }
        if (readError)
            damage = "larger than any real database";
    } catch (const std::bad_alloc&) {
        damage = "too large to read into memory";
    }
    // Kept in the trash rather than overwritten, where no scan of the backup folder sees it.
    const auto movedTo = FileCopier(m_fileSystem).setAsideInTrash(dir, name, trash);
    if (!movedTo) {
        qCCritical(lcIntegrityVerifier,
                   "Hash database at %s cannot be decoded (%s) nor moved to the trash, skipping fingerprints "
                   "this time: %s",
                   qUtf8Printable(platform::privateArg(path)), damage.c_str(),
                   qUtf8Printable(errorText(movedTo.error())));
        return std::nullopt;
    }
    qCWarning(lcIntegrityVerifier, "Hash database cannot be decoded (%s); moved it to %s and started a new one",
              damage.c_str(), qUtf8Printable(platform::privateArg(*movedTo)));
    return Database{};
}

void IntegrityVerifier::saveDatabase(FingerprintDatabase& database, const Directory& dir)
{
    const std::string name(kHashesFileName);
    const std::error_code error = m_fileSystem.writeFileAtomicallyInPieces(
        dir, name, [&](const platform::FileSystem::PieceWriter& write) { database.write(write); });
    // Held, the database stands for the file just written; after a failed save the next call
    // reads what the file holds.
    m_databaseFile.reset();
    if (!error && m_holds > 0) {
        if (const auto written = m_fileSystem.status(dir, name); written && written->isRegular())
            m_databaseFile = FileIdentity::of(*written);
    }
    if (error)
        qCCritical(lcIntegrityVerifier, "Failed to write hash database to %s: %s",
                   qUtf8Printable(platform::privateArg(dir.path() / kHashesFileName)),
                   qUtf8Printable(errorText(error)));
}

} // namespace larkfold
