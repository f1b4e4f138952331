#include "engine/FileDigester.h"

#include "platform/FileSystem.h"

#include <openssl/evp.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>

namespace larkfold {
namespace {

constexpr int kBufferCount = 2;

// Fetched once: an implicit fetch on every init costs more than hashing a small file.
const EVP_MD* sha256Algorithm()
{
    static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return algorithm;
}

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string toHex(const unsigned char* bytes, unsigned int count)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(std::size_t(count) * 2, '0');
    for (unsigned int i = 0; i < count; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0f];
    }
    return text;
}

// One file's pieces, read and hashed in order by whichever threads take part. Each thread reads
// into its own buffer and hashes what it read itself, while the bytes are still in its core's
// cache; reading the next piece overlaps hashing the one before.
class PieceRelay {
public:
    struct Piece {
        std::int64_t number;
        platform::PosixResult<std::size_t> count;
    };

    PieceRelay(platform::FileSystem& fileSystem, const platform::File& file, EVP_MD_CTX* context)
        : m_fileSystem(fileSystem)
        , m_file(file)
        , m_context(context)
    {
    }

    // The next piece of the file in `buffer`; none once the end or a read error was reached.
    std::optional<Piece> read(std::byte* buffer)
    {
        std::lock_guard lock(m_readMutex);
        if (m_readEnded)
            return std::nullopt;
        auto count = m_fileSystem.read(m_file, std::span(buffer, FileDigester::kPieceBytes));
        m_readEnded = !count || *count == 0;
        return Piece{m_nextNumber++, std::move(count)};
    }

    // Feeds the piece to the digest once every piece before it is in.
    void hash(const std::byte* buffer, const Piece& piece)
    {
        std::unique_lock lock(m_turnMutex);
        m_turnChanged.wait(lock, [&] { return m_turn == piece.number; });
        bool failed = m_failed;
        lock.unlock();
        // Ours alone until the turn passes on.
        failed = failed || !piece.count
            || (*piece.count > 0 && EVP_DigestUpdate(m_context, buffer, *piece.count) != 1);
        lock.lock();
        m_failed = failed;
        ++m_turn;
        lock.unlock();
        m_turnChanged.notify_all();
    }

    void readAndHashUntilTheEnd(std::byte* buffer)
    {
        while (const auto piece = read(buffer))
            hash(buffer, *piece);
    }

    // Once every thread is done.
    bool failed() const { return m_failed; }

private:
    platform::FileSystem& m_fileSystem;
    const platform::File& m_file;
    EVP_MD_CTX* m_context;
    std::mutex m_readMutex;
    std::int64_t m_nextNumber = 0;
    bool m_readEnded = false;
    std::mutex m_turnMutex;
    std::condition_variable m_turnChanged;
    std::int64_t m_turn = 0;
    bool m_failed = false;
};

} // namespace

FileDigester::FileDigester(platform::FileSystem& fileSystem)
    : m_fileSystem(fileSystem)
    , m_buffers(std::make_unique_for_overwrite<std::byte[]>(kBufferCount * kPieceBytes))
{
}

FileDigester::~FileDigester() = default;

std::optional<std::string> FileDigester::sha256Hex(const platform::File& file)
{
    const EVP_MD* algorithm = sha256Algorithm();
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
    if (!algorithm || !context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1)
        return std::nullopt;
    // Doubles the kernel's read-ahead, so the disk keeps reading while a piece is hashed.
    ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

    PieceRelay relay(m_fileSystem, file, context.get());
    std::byte* const ownBuffer = m_buffers.get();
    std::byte* const helperBuffer = m_buffers.get() + kPieceBytes;
    const auto first = relay.read(ownBuffer);
    // Most files end within the first piece; only a larger one is worth a second thread.
    std::jthread helper;
    if (first->count && *first->count == kPieceBytes) {
        try {
            helper = std::jthread([&] { relay.readAndHashUntilTheEnd(helperBuffer); });
        } catch (const std::system_error&) {
            // No thread to spare: this one reads and hashes every piece in turn.
        }
    }
    relay.hash(ownBuffer, *first);
    relay.readAndHashUntilTheEnd(ownBuffer);
    if (helper.joinable())
        helper.join();
    if (relay.failed())
        return std::nullopt;

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return std::nullopt;
    return toHex(digest, length);
}

} // namespace larkfold
