#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace larkfold {

namespace platform {
class File;
class FileSystem;
} // namespace platform

// SHA-256 of whole files, read in 4 MiB pieces. A file larger than one piece is read by two
// threads in turn, each into its own buffer, so that one reads while the other hashes; the two
// buffers serve every file this object hashes.
class FileDigester {
public:
    static constexpr std::size_t kPieceBytes = 4 * 1024 * 1024;

    explicit FileDigester(platform::FileSystem& fileSystem);
    ~FileDigester();
    FileDigester(const FileDigester&) = delete;
    FileDigester& operator=(const FileDigester&) = delete;

    // The digest, as 64 lower-case hex digits, of everything read from `file` until its end;
    // none when a read fails. Reads from the current offset.
    std::optional<std::string> sha256Hex(const platform::File& file);

private:
    platform::FileSystem& m_fileSystem;
    std::unique_ptr<std::byte[]> m_buffers;
};

} // namespace larkfold
