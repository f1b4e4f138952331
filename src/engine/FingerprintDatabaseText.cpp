// The text of a FingerprintDatabase: a reader for JSON of its fixed shape that keeps nothing but
// the entries, and a writer that gives the bytes of the program's JSON encoder.
#include "engine/FingerprintDatabase.h"

#include "platform/Utf8.h"

#include <charconv>
#include <cstring>

namespace larkfold {
namespace {

constexpr std::size_t kWritePieceBytes = 1 << 20;
// A date, a digest and a member name are short; longer text is read past, not kept.
constexpr std::size_t kShortTextBytes = 64;
// Keys longer than this are left to the general reader.
constexpr std::size_t kShortPathBytes = 4096;

[[noreturn]] void fail(const std::string& what)
{
    throw FingerprintDatabase::DecodeError(what);
}

[[noreturn]] void failMember(const char* name, const char* what)
{
    fail(std::string("\"") + name + "\": " + what);
}

bool isWhitespace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void appendUtf8(std::string& out, std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | codePoint >> 6);
        out += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += char(0xE0 | codePoint >> 12);
        out += char(0x80 | (codePoint >> 6 & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xF0 | codePoint >> 18);
        out += char(0x80 | (codePoint >> 12 & 0x3F));
        out += char(0x80 | (codePoint >> 6 & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

} // namespace

// Pulls the text piece by piece and decodes it in one pass, without recursion.
class FingerprintDatabaseReader {
public:
    using Entry = FingerprintDatabase::Entry;

    explicit FingerprintDatabaseReader(const std::function<std::optional<std::string_view>()>& nextPiece)
        : m_nextPiece(nextPiece)
    {
    }

    void readInto(FingerprintDatabase& database, std::size_t& skipped)
    {
        // The encoder's readers pass over a byte order mark; so does this one.
        if (peek() == 0xEF) {
            expectByte(0xEF);
            expectByte(0xBB);
            expectByte(0xBF);
        }
        skipWhitespace();
        if (get() != '{')
            fail("expected an object");
        skipWhitespace();
        std::string path;
        if (peek() == '}') {
            get();
        } else {
            for (;;) {
                if (!readMemberAsWritten(database, path))
                    readMember(database, path, skipped);
                skipWhitespace();
                const int next = get();
                if (next == '}')
                    break;
                if (next != ',')
                    failAt("expected \",\" or \"}\" after an entry");
                skipWhitespace();
            }
        }
        skipWhitespace();
        if (peek() >= 0)
            failAt("unexpected text after the database");
    }

private:
    // One member of the database: a path and its entry, stored unless it cannot be one.
    void readMember(FingerprintDatabase& database, std::string& path, std::size_t& skipped)
    {
        expect('"');
        const bool pathFits = readString(&path, FingerprintDatabase::kMaxPathBytes);
        skipWhitespace();
        expect(':');
        skipWhitespace();
        Entry entry;
        const bool digestValid = readEntry(entry);
        if (pathFits && !path.empty() && digestValid)
            database.appendRecord(path, entry);
        else
            ++skipped;
    }

    // The same for a member exactly as the program writes it and whole within this piece, which
    // is nearly every one, at a fraction of the cost. Reads nothing and returns false for any
    // other; readMember() then reads it, and says what is wrong with it.
    bool readMemberAsWritten(FingerprintDatabase& database, std::string& path)
    {
        const char* at = m_at;
        const char* const end = m_end;
        const auto literal = [&](std::string_view text) {
            if (std::size_t(end - at) < text.size() || std::memcmp(at, text.data(), text.size()) != 0)
                return false;
            at += text.size();
            return true;
        };
        const auto fixed = [&](std::size_t length, std::string_view& text) {
            if (std::size_t(end - at) < length)
                return false;
            text = std::string_view(at, length);
            at += length;
            return true;
        };
        if (!literal("\""))
            return false;
        // The key: plain characters, "\/", and well-formed UTF-8; any other escape is for readString.
        path.clear();
        const char* const keyStart = at;
        for (;;) {
            if (at == end || std::size_t(at - keyStart) > kShortPathBytes)
                return false;
            const auto byte = static_cast<unsigned char>(*at);
            if (byte == '"')
                break;
            if (byte == '\\') {
                if (end - at < 2 || at[1] != '/')
                    return false;
                path += '/';
                at += 2;
            } else if (byte >= 0x80) {
                const auto form = platform::utf8Lead(byte);
                if (!form || std::size_t(end - at) < form->length)
                    return false;
                const auto second = static_cast<unsigned char>(at[1]);
                if (second < form->secondLow || second > form->secondHigh)
                    return false;
                for (std::size_t i = 2; i < form->length; ++i)
                    if ((static_cast<unsigned char>(at[i]) & 0xC0) != 0x80)
                        return false;
                path.append(at, form->length);
                at += form->length;
            } else if (byte < 0x20) {
                return false;
            } else {
                const char* const run = at;
                while (at != end && static_cast<unsigned char>(*at) >= 0x20 && static_cast<unsigned char>(*at) < 0x80
                       && *at != '"' && *at != '\\')
                    ++at;
                path.append(run, std::size_t(at - run));
            }
        }
        const std::string_view key(keyStart, std::size_t(at - keyStart));
        ++at;
        Entry entry;
        std::string_view text;
        if (path.empty() || !literal(": {\n    \"fileSize\": "))
            return false;
        // An integer as the encoder writes it: no leading zero, short enough not to overflow.
        const bool negative = at != end && *at == '-';
        if (negative)
            ++at;
        const char* const digits = at;
        std::int64_t magnitude = 0;
        while (at != end && *at >= '0' && *at <= '9' && at - digits < 18)
            magnitude = magnitude * 10 + (*at++ - '0');
        if (at == digits || at == end || (*at >= '0' && *at <= '9') || (*digits == '0' && at - digits > 1))
            return false;
        entry.fileSize = negative ? -magnitude : magnitude;
        if (literal(",\n    \"lastVerifiedAt\": \"")) {
            const auto seconds = fixed(20, text) ? FingerprintDatabase::decodeDate(text) : std::nullopt;
            if (!seconds || !literal("\""))
                return false;
            entry.lastVerifiedAt = *seconds;
        }
        if (!literal(",\n    \"recordedAt\": \""))
            return false;
        const auto recorded = fixed(20, text) ? FingerprintDatabase::decodeDate(text) : std::nullopt;
        if (!recorded)
            return false;
        entry.recordedAt = *recorded;
        if (!literal("\",\n    \"relativePath\": \"") || !literal(key) || !literal("\",\n    \"sha256\": \""))
            return false;
        const auto digest = fixed(64, text) ? FingerprintDatabase::digestFromHex(text) : std::nullopt;
        if (!digest || !literal("\"\n  }"))
            return false;
        entry.sha256 = *digest;
        m_at = at;
        database.appendRecord(path, entry);
        return true;
    }

    // Returns whether the entry's digest is one; throws when the entry is no entry.
    bool readEntry(Entry& entry)
    {
        if (get() != '{')
            fail("expected an object");
        bool hasPath = false, hasDigest = false, hasSize = false, hasRecorded = false;
        bool digestValid = false;
        std::string name, text;
        skipWhitespace();
        if (peek() == '}') {
            get();
        } else {
            for (;;) {
                expect('"');
                if (!readString(&name, kShortTextBytes))
                    name.clear(); // no name of ours is that long
                skipWhitespace();
                expect(':');
                skipWhitespace();
                if (name == "relativePath") {
                    // The key is the path; this copy of it is only checked.
                    requireString("relativePath", nullptr);
                    hasPath = true;
                } else if (name == "sha256") {
                    const bool fits = requireString("sha256", &text);
                    const auto digest = fits ? FingerprintDatabase::digestFromHex(text) : std::nullopt;
                    digestValid = digest.has_value();
                    if (digest)
                        entry.sha256 = *digest;
                    hasDigest = true;
                } else if (name == "fileSize") {
                    entry.fileSize = readInteger("fileSize");
                    hasSize = true;
                } else if (name == "recordedAt") {
                    entry.recordedAt = readDate("recordedAt", text);
                    hasRecorded = true;
                } else if (name == "lastVerifiedAt") {
                    entry.lastVerifiedAt = FingerprintDatabase::kNever;
                    if (peek() == 'n')
                        expectLiteral("null");
                    else
                        entry.lastVerifiedAt = readDate("lastVerifiedAt", text);
                } else {
                    skipValue(); // a member of a later version
                }
                skipWhitespace();
                const int next = get();
                if (next == '}')
                    break;
                if (next != ',')
                    failAt("expected \",\" or \"}\" in an entry");
                skipWhitespace();
            }
        }
        if (!hasPath)
            failMember("relativePath", "missing");
        if (!hasDigest)
            failMember("sha256", "missing");
        if (!hasSize)
            failMember("fileSize", "missing");
        if (!hasRecorded)
            failMember("recordedAt", "missing");
        return digestValid;
    }

    bool requireString(const char* name, std::string* out)
    {
        if (get() != '"')
            failMember(name, "expected a string");
        return readString(out, kShortTextBytes);
    }

    std::int64_t readDate(const char* name, std::string& text)
    {
        const bool fits = requireString(name, &text);
        const auto seconds = fits ? FingerprintDatabase::decodeDate(text) : std::nullopt;
        if (!seconds)
            failMember(name, "expected an ISO 8601 date in whole seconds");
        return *seconds;
    }

    std::int64_t readInteger(const char* name)
    {
        const bool negative = peek() == '-';
        if (negative)
            get();
        int c = peek();
        if (c < '0' || c > '9')
            failMember(name, "expected an integer");
        // The magnitude, up to that of the smallest 64-bit integer.
        constexpr std::uint64_t kLimit = std::uint64_t(1) << 63;
        std::uint64_t magnitude = 0;
        if (c == '0') {
            get();
        } else {
            while ((c = peek()) >= '0' && c <= '9') {
                get();
                const auto digit = std::uint64_t(c - '0');
                if (magnitude > (kLimit - digit) / 10)
                    failMember(name, "integer out of range");
                magnitude = magnitude * 10 + digit;
            }
        }
        c = peek();
        if (c == '.' || c == 'e' || c == 'E' || (c >= '0' && c <= '9'))
            failMember(name, "expected an integer");
        if (!negative && magnitude == kLimit)
            failMember(name, "integer out of range");
        return negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
    }

    // Any JSON value, checked and dropped; nesting is counted, not recursed into.
    void skipValue()
    {
        std::string closers; // of the containers open now, innermost last
        for (;;) {
            const int c = peek();
            if (c == '{' || c == '[') {
                get();
                if (closers.size() >= FingerprintDatabase::kMaxNesting)
                    fail("nested too deeply");
                closers += c == '{' ? '}' : ']';
                skipWhitespace();
                if (peek() == closers.back()) {
                    get();
                    closers.pop_back();
                } else {
                    if (closers.back() == '}')
                        skipMemberName();
                    continue;
                }
            } else {
                skipScalar();
            }
            // After a value: close what ends here, or go on to the next value of a container.
            for (;;) {
                if (closers.empty())
                    return;
                skipWhitespace();
                const int next = get();
                if (next == closers.back()) {
                    closers.pop_back();
                    continue;
                }
                if (next != ',')
                    failAt("expected \",\" or a closing bracket");
                skipWhitespace();
                if (closers.back() == '}')
                    skipMemberName();
                break;
            }
        }
    }

    void skipMemberName()
    {
        expect('"');
        readString(nullptr, 0);
        skipWhitespace();
        expect(':');
        skipWhitespace();
    }

    void skipScalar()
    {
        const int c = peek();
        if (c == '"') {
            get();
            readString(nullptr, 0);
        } else if (c == 't') {
            expectLiteral("true");
        } else if (c == 'f') {
            expectLiteral("false");
        } else if (c == 'n') {
            expectLiteral("null");
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            skipNumber();
        } else {
            failAt("expected a value");
        }
    }

    void skipNumber()
    {
        if (peek() == '-')
            get();
        const auto digits = [&] {
            int count = 0;
            for (int c = peek(); c >= '0' && c <= '9'; c = peek(), ++count)
                get();
            return count;
        };
        if (peek() == '0')
            get();
        else if (digits() == 0)
            failAt("invalid number");
        if (peek() == '.') {
            get();
            if (digits() == 0)
                failAt("invalid number");
        }
        if (peek() == 'e' || peek() == 'E') {
            get();
            if (peek() == '+' || peek() == '-')
                get();
            if (digits() == 0)
                failAt("invalid number");
        }
    }

    // After the opening quote: the string's value into `out` (null: checked only) while it fits
    // in `limit` bytes. Returns whether it fitted; the rest of a longer one is checked and dropped.
    bool readString(std::string* out, std::size_t limit)
    {
        if (out)
            out->clear();
        bool fits = true;
        const auto keep = [&](std::string_view bytes) {
            if (!out || !fits)
                return;
            if (out->size() + bytes.size() > limit) {
                fits = false;
                return;
            }
            out->append(bytes);
        };
        std::string escaped;
        for (;;) {
            // The plain run within this piece at once.
            const char* run = m_at;
            while (m_at != m_end) {
                const auto byte = static_cast<unsigned char>(*m_at);
                if (byte == '"' || byte == '\\' || byte < 0x20 || byte >= 0x80)
                    break;
                ++m_at;
            }
            keep(std::string_view(run, std::size_t(m_at - run)));
            const int c = get();
            if (c < 0)
                failAt("unterminated string");
            if (c == '"')
                return fits;
            if (c < 0x20)
                failAt("control character in a string");
            escaped.clear();
            if (c == '\\')
                readEscape(escaped);
            else if (c < 0x80)
                escaped += char(c); // the first of a new piece
            else
                readMultibyte(c, escaped);
            keep(escaped);
        }
    }

    void readEscape(std::string& out)
    {
        const int c = get();
        switch (c) {
        case '"': out += '"'; return;
        case '\\': out += '\\'; return;
        case '/': out += '/'; return;
        case 'b': out += '\b'; return;
        case 'f': out += '\f'; return;
        case 'n': out += '\n'; return;
        case 'r': out += '\r'; return;
        case 't': out += '\t'; return;
        case 'u': break;
        default: failAt("invalid escape in a string");
        }
        std::uint32_t codePoint = readHex4();
        if (codePoint >= 0xDC00 && codePoint <= 0xDFFF)
            failAt("a low surrogate without a high one");
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
            if (get() != '\\' || get() != 'u')
                failAt("a high surrogate without a low one");
            const std::uint32_t low = readHex4();
            if (low < 0xDC00 || low > 0xDFFF)
                failAt("a high surrogate without a low one");
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, codePoint);
    }

    std::uint32_t readHex4()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = get();
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                failAt("invalid \\u escape");
            value = value << 4 | std::uint32_t(digit);
        }
        return value;
    }

    // One character of two to four bytes, well formed as UTF-8 allows it.
    void readMultibyte(int lead, std::string& out)
    {
        const auto form = platform::utf8Lead(static_cast<unsigned char>(lead));
        if (!form)
            failAt("invalid UTF-8 in a string");
        out += char(lead);
        for (std::size_t i = 1; i < form->length; ++i) {
            const int c = get();
            if (c < (i == 1 ? form->secondLow : 0x80) || c > (i == 1 ? form->secondHigh : 0xBF))
                failAt("invalid UTF-8 in a string");
            out += char(c);
        }
    }

    void expectLiteral(std::string_view literal)
    {
        for (const char c : literal)
            if (get() != static_cast<unsigned char>(c))
                failAt("invalid literal");
    }

    void expect(char c)
    {
        if (get() != static_cast<unsigned char>(c))
            failAt(std::string("expected \"") + c + "\"");
    }

    void expectByte(int c)
    {
        if (get() != c)
            failAt("invalid byte order mark");
    }

    void skipWhitespace()
    {
        for (;;) {
            while (m_at != m_end && isWhitespace(static_cast<unsigned char>(*m_at)))
                ++m_at;
            if (m_at != m_end || !refill())
                return;
        }
    }

    int peek()
    {
        if (m_at == m_end && !refill())
            return -1;
        return static_cast<unsigned char>(*m_at);
    }

    int get()
    {
        const int c = peek();
        if (c >= 0)
            ++m_at;
        return c;
    }

    bool refill()
    {
        while (!m_ended) {
            const auto piece = m_nextPiece();
            if (!piece) {
                m_ended = true;
                break;
            }
            if (piece->empty())
                continue;
            m_offsetOfPiece += std::uint64_t(m_end - m_begin);
            m_begin = m_at = piece->data();
            m_end = m_begin + piece->size();
            return true;
        }
        return false;
    }

    [[noreturn]] void failAt(const std::string& what)
    {
        const std::uint64_t offset = m_offsetOfPiece + std::uint64_t(m_at - m_begin);
        fail(what + " at byte " + std::to_string(offset));
    }

    const std::function<std::optional<std::string_view>()>& m_nextPiece;
    const char* m_begin = nullptr;
    const char* m_at = nullptr;
    const char* m_end = nullptr;
    std::uint64_t m_offsetOfPiece = 0;
    bool m_ended = false;
};

FingerprintDatabase FingerprintDatabase::read(const std::function<std::optional<std::string_view>()>& nextPiece,
                                              std::size_t expectedBytes, std::size_t* skipped)
{
    FingerprintDatabase database;
    // No entry of the encoder's takes fewer than about 180 bytes, and its path is there twice.
    database.m_records.reserve(expectedBytes / 160);
    database.m_paths.reserve(expectedBytes / 2);
    std::size_t skippedEntries = 0;
    FingerprintDatabaseReader(nextPiece).readInto(database, skippedEntries);
    if (skipped)
        *skipped = skippedEntries;

    // What the encoder wrote is in key order already; anything else is put in order, and of two
    // entries of one path the later one stays.
    auto& records = database.m_records;
    const auto byPath = [&](const Record& a, const Record& b) { return database.pathOf(a) < database.pathOf(b); };
    const bool ordered = std::adjacent_find(records.begin(), records.end(), [&](const Record& a, const Record& b) {
                             return !byPath(a, b);
                         }) == records.end();
    if (!ordered) {
        std::stable_sort(records.begin(), records.end(), byPath);
        // Later duplicates sit after earlier ones: keep the last of each run.
        std::vector<Record> unique;
        unique.reserve(records.size());
        for (std::size_t i = 0; i < records.size(); ++i)
            if (i + 1 == records.size() || byPath(records[i], records[i + 1]))
                unique.push_back(records[i]);
        records = std::move(unique);
    }
    database.m_sortedCount = records.size();
    database.rebuildIndex();
    return database;
}

FingerprintDatabase FingerprintDatabase::fromText(std::string_view text, std::size_t* skipped)
{
    bool handed = false;
    return read(
        [&]() -> std::optional<std::string_view> {
            if (handed)
                return std::nullopt;
            handed = true;
            return text;
        },
        text.size(), skipped);
}

namespace {

// JSON string content as the program's encoder writes it: control characters escaped ("\b",
// "\t", "\n", "\f", "\r", else "\u00xx"), '"' and '\' escaped, "/" as "\/", everything else
// (valid UTF-8 included) as it is.
void appendEscaped(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\' && byte != '/')
            continue;
        out.append(text.substr(plain, i - plain));
        plain = i + 1;
        out += '\\';
        switch (byte) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case '\b': out += 'b'; break;
        case '\t': out += 't'; break;
        case '\n': out += 'n'; break;
        case '\f': out += 'f'; break;
        case '\r': out += 'r'; break;
        default:
            out += "u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0f];
        }
    }
    out.append(text.substr(plain));
}

void appendInteger(std::string& out, std::int64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, std::size_t(end - digits));
}

} // namespace

void FingerprintDatabase::write(const std::function<void(std::string_view)>& sink)
{
    sortByKey();
    if (m_records.empty()) {
        sink("{}");
        return;
    }
    std::string piece;
    piece.reserve(kWritePieceBytes + 4096);
    piece += "{\n";
    std::string path; // escaped, as it stands twice
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const Record& record = m_records[i];
        const Entry& entry = record.entry;
        path.clear();
        appendEscaped(path, pathOf(record));
        piece += "  \"";
        piece += path;
        piece += "\": {\n    \"fileSize\": ";
        appendInteger(piece, entry.fileSize);
        if (entry.lastVerifiedAt != kNever) {
            piece += ",\n    \"lastVerifiedAt\": \"";
            appendDate(piece, entry.lastVerifiedAt);
            piece += '"';
        }
        piece += ",\n    \"recordedAt\": \"";
        appendDate(piece, entry.recordedAt);
        piece += "\",\n    \"relativePath\": \"";
        piece += path;
        piece += "\",\n    \"sha256\": \"";
        appendHex(piece, entry.sha256);
        piece += i + 1 == m_records.size() ? "\"\n  }\n" : "\"\n  },\n";
        if (piece.size() >= kWritePieceBytes) {
            sink(piece);
            piece.clear();
        }
    }
    piece += '}';
    sink(piece);
}

std::string FingerprintDatabase::text()
{
    std::string out;
    write([&](std::string_view piece) { out.append(piece); });
    return out;
}

} // namespace larkfold
