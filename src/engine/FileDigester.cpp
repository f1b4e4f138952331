#include "engine/FileDigester.h"

#include "platform/FileSystem.h"

#include <openssl/evp.h>

#include <fcntl.h>

namespace larkfold {
namespace {

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

} // namespace

FileDigester::FileDigester(platform::FileSystem& fileSystem)
    : m_fileSystem(fileSystem)
    , m_buffer(new std::byte[kPieceBytes]())
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
    for (;;) {
        const auto count = m_fileSystem.read(file, std::span(m_buffer.get(), kPieceBytes));
        if (!count)
            return std::nullopt;
        if (*count == 0)
            break;
        if (EVP_DigestUpdate(context.get(), m_buffer.get(), *count) != 1)
            return std::nullopt;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return std::nullopt;
    return toHex(digest, length);
}

} // namespace larkfold
