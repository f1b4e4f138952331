#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace larkfold {

// The fingerprints of one backup folder in memory: relative path -> SHA-256, size and dates.
// Made for millions of entries: the paths share one buffer and each entry is a fixed record of
// 64 bytes beside its path, so 1.5 million entries take about 150 MB. Its file
// (".larkfold-hashes.json") is read and written piece by piece, never held whole nor as a JSON
// tree, and a database read and written back unchanged gives the same bytes.
class FingerprintDatabase {
public:
    using Digest = std::array<std::uint8_t, 32>;
    // Dates are whole seconds since 1970-01-01T00:00:00Z; this one stands for none.
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::min();

    struct Entry {
        Digest sha256{};
        std::int64_t fileSize = 0; // 0 when the size could not be read
        std::int64_t recordedAt = 0;
        std::int64_t lastVerifiedAt = kNever;

        bool operator==(const Entry&) const = default;
    };

    // The text is not a database as a whole.
    class DecodeError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // What one look at an entry decides in removeWhere().
    enum class Verdict { keep, remove, stop };

    // The longest path an entry may have; a longer one in a file is left out with its entry.
    static constexpr std::size_t kMaxPathBytes = std::size_t(1) << 20;
    // How deep the values of members it does not know may nest.
    static constexpr std::size_t kMaxNesting = 64;

    FingerprintDatabase() = default;

    // Decodes a database from its text, handed over by `nextPiece` one piece at a time until it
    // gives none. `expectedBytes` (the file's size, 0 when unknown) only sizes the buffers.
    // Entries whose path is empty or too long, or whose digest is not 64 lower-case hex digits,
    // are left out (counted in `skipped`); when the same path comes twice the later entry counts.
    // Throws DecodeError for anything else that is not a database as the program writes it:
    // text that is not JSON, a missing field, a field of another type, a date in another form.
    static FingerprintDatabase read(const std::function<std::optional<std::string_view>()>& nextPiece,
                                    std::size_t expectedBytes = 0, std::size_t* skipped = nullptr);
    // The same from text held whole.
    static FingerprintDatabase fromText(std::string_view text, std::size_t* skipped = nullptr);

    // Encodes the database in key order as pretty-printed JSON with two-space indents, sorted
    // keys and "/" escaped as "\/", handing the text to `sink` in pieces.
    void write(const std::function<void(std::string_view)>& sink);
    std::string text();

    std::size_t size() const { return m_records.size() - m_removedCount; }
    bool empty() const { return size() == 0; }

    const Entry* find(std::string_view path) const;
    Entry* find(std::string_view path);
    // Stores the entry of `path`, replacing any older one. `path` must be valid UTF-8 and not empty.
    void set(std::string_view path, const Entry& entry);
    // Whether there was an entry to remove.
    bool erase(std::string_view path);

    // Every entry in key order (byte order of the paths).
    void forEach(const std::function<void(std::string_view path, const Entry& entry)>& visit);
    // Asks `judge` about each entry in key order and removes those it says to, until it says
    // stop; returns how many it removed.
    std::size_t removeWhere(const std::function<Verdict(std::string_view path, const Entry& entry)>& judge);

    // The digest of 64 lower-case hex digits; none for any other text.
    static std::optional<Digest> digestFromHex(std::string_view hex);
    static std::string hexOf(const Digest& digest);
    // "YYYY-MM-DDTHH:MM:SSZ" of years 1 to 9999, as platform::encodeDate and decodeDate write and
    // read them, without their cost: a large database holds millions.
    static std::string encodeDate(std::int64_t seconds);
    static std::optional<std::int64_t> decodeDate(std::string_view text);

private:
    friend class FingerprintDatabaseReader;

    struct Record {
        Entry entry;
        std::uint32_t pathOffset = 0;
        std::uint32_t pathBytes = 0;
    };
    static constexpr std::uint32_t kRemovedBit = 0x80000000u;

    // The same onto the end of `out`, as the writer puts millions of them in a row.
    static void appendHex(std::string& out, const Digest& digest);
    static void appendDate(std::string& out, std::int64_t seconds);

    std::string_view pathOf(const Record& record) const
    {
        return std::string_view(m_paths).substr(record.pathOffset, record.pathBytes & ~kRemovedBit);
    }
    static bool isRemoved(const Record& record) { return (record.pathBytes & kRemovedBit) != 0; }
    // Index of the record of `path`, removed ones included; none when there is none.
    std::optional<std::size_t> locate(std::string_view path) const;
    void appendRecord(std::string_view path, const Entry& entry);
    // Puts the records in key order, drops removed ones and rebuilds the index.
    void sortByKey();
    void rebuildIndex();

    std::vector<Record> m_records;
    std::string m_paths;
    // Records [0, m_sortedCount) are in key order; later ones were added since.
    std::size_t m_sortedCount = 0;
    std::size_t m_removedCount = 0;
    // Open addressing: record index + 1, 0 for a free slot; a power of two in size.
    std::vector<std::uint32_t> m_index;
};

} // namespace larkfold
