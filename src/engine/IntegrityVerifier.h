#pragma once

#include "engine/FingerprintDatabase.h"
#include "platform/CancelToken.h"
#include "platform/FileSystem.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace larkfold {

// Keeps a database of SHA-256 fingerprints of the copied files inside a backup folder and re-reads
// a bounded sample of them to find copies damaged on the backup drive. Holds no state between calls
// unless a DatabaseHold is alive: every operation reads the database file, works on it and writes
// it back. Not thread-safe; one engine's job uses it at a time.
//
// `destination` is always the pair's backup folder as the run opened it, `trash` the destination's
// ".Larkfold-Trash" folder, where a database file that cannot be decoded (or is far too large to
// be one) is moved before a fresh one is started.
class IntegrityVerifier final {
public:
    // The outcome of one sampled check.
    struct IntegrityResult {
        int verified = 0;
        std::vector<std::string> corrupted; // exist but differ or cannot be read, in sample order
        std::vector<std::string> missing;   // no longer exist, in sample order
        QDateTime timestamp;
        int totalTracked = 0;
        int neverVerified = 0;
        std::optional<QDateTime> oldestVerifiedAt; // none when empty or any entry was never verified

        // The one-line status text of this result as seen at `now`.
        QString summary(const QDateTime& now) const;
    };

    struct Limits {
        int sampleSize = 50;                                 // the most entries one check re-reads
        std::int64_t maxBytesPerCheck = std::int64_t(8) << 30; // the size total at which a sample ends
        // Files without a fingerprint that one run catches up on, beside its own copies.
        int catchUpFilesPerRun = 10000;
        std::int64_t catchUpBytesPerRun = std::int64_t(2) << 30;
        // Far above any real database (1.5 million entries take about 260 MB): a larger file is
        // damaged or planted and is set aside unread rather than read into memory.
        std::int64_t maxDatabaseBytes = std::int64_t(1) << 30;
        // A real last-check file holds one date.
        std::int64_t maxLastCheckBytes = 4096;
    };

    // While one lives, the database a call read stays in memory for the next call, which reads
    // the file again only when it is no longer the one read or written last: the steps of a job
    // read a large database once. Each call still saves what it changed. Ending the hold drops
    // the database.
    class DatabaseHold {
    public:
        explicit DatabaseHold(IntegrityVerifier& verifier);
        DatabaseHold(const DatabaseHold&) = delete;
        DatabaseHold& operator=(const DatabaseHold&) = delete;
        ~DatabaseHold();

    private:
        IntegrityVerifier& m_verifier;
    };

    // Every file-system call goes through `fileSystem`.
    explicit IntegrityVerifier(platform::FileSystem& fileSystem = platform::systemFileSystem());
    IntegrityVerifier(platform::FileSystem& fileSystem, Limits limits);

    const Limits& limits() const { return m_limits; }

    // Records a fresh fingerprint for each copied file; a file that cannot be hashed loses its old one.
    void recordHashes(const std::vector<std::filesystem::path>& relativePaths, const platform::Directory& destination,
                      const std::filesystem::path& trash);
    // The same, after first fingerprinting the files among `listed` (what the backup folder held)
    // that have no entry, as a run stopped before its fingerprints leaves them, up to the limits'
    // catch-up share. A cancel ends the work between files; what was done is kept.
    void recordHashes(const std::vector<std::filesystem::path>& copied, const std::vector<std::string>& listed,
                      const platform::Directory& destination, const std::filesystem::path& trash,
                      const platform::CancelToken& cancel);

    // Removes the entries whose file no longer exists; returns how many.
    int pruneMissing(const platform::Directory& destination, const std::filesystem::path& trash);

    // The time of the last sampled check; none when never recorded or unreadable.
    std::optional<QDateTime> lastCheckDate(const platform::Directory& destination) const;

    // Whether a sampled check is due: none recorded yet, or the last one more than a day ago.
    // Never while something the verifier did not make stands at the last-check file's name: the
    // check could not be recorded, and would run again at every run.
    bool isCheckDue(const platform::Directory& destination) const;

    // Re-reads one sample (never-checked entries first, then the least recently checked) and marks
    // what it read. Stops early, covering only what it checked, when `cancel` fires. None when the
    // database could not be read this time: no check ran, so no check time should be recorded.
    std::optional<IntegrityResult> verifySample(const platform::Directory& destination,
                                                const std::filesystem::path& trash,
                                                const platform::CancelToken& cancel = {});

    // Writes the current time as the time of the last sampled check.
    void recordCheckTime(const platform::Directory& destination);

    // The names of the verifier's two files where something it did not make stands instead (a
    // link, a folder, a FIFO, ...). Such an item is never read, written through or replaced, so
    // while it is there the fingerprints, or the daily check, are off.
    std::vector<std::string> foreignItems(const platform::Directory& destination) const;

private:
    // What tells one database file from another: each save writes a new file.
    struct FileIdentity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedSeconds = 0;
        long modifiedNanoseconds = 0;

        static FileIdentity of(const platform::FileStatus& status);
        bool operator==(const FileIdentity&) const = default;
    };
    // The database of `dir`, kept by the verifier while a hold lasts (each call holds it for
    // itself): the one kept while its file is unchanged, else read now. Null when the file could
    // not be read, or could not be decoded nor moved aside.
    FingerprintDatabase* loadDatabase(const platform::Directory& dir, const std::filesystem::path& trash);
    std::optional<FingerprintDatabase> readDatabase(const platform::Directory& dir, const std::filesystem::path& trash,
                                                    std::optional<FileIdentity>& identity) const;
    void saveDatabase(FingerprintDatabase& database, const platform::Directory& dir);
    void dropDatabase();
    IntegrityResult verifySample(FingerprintDatabase& database, const platform::Directory& destination,
                                 const platform::CancelToken& cancel);

    platform::FileSystem& m_fileSystem;
    Limits m_limits;
    int m_holds = 0;
    std::optional<FingerprintDatabase> m_database;
    // The file m_database was read from or written to last; none when it matches no file.
    std::optional<FileIdentity> m_databaseFile;
};

} // namespace larkfold
