#include "engine/FileDigester.h"

#include "support/TempTree.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace larkfold;
using larkfold::test::TempTree;

namespace {

std::optional<std::string> digestOf(FileDigester& digester, const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    auto digest = digester.sha256Hex(fd);
    ::close(fd);
    return digest;
}

std::string oneShotHex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

} // namespace

TEST(FileDigester, MatchesKnownDigestsAcrossPieceBoundaries)
{
    // Contents that end before, exactly at and after the 4 MiB read piece, through one reused buffer.
    std::string pattern;
    for (std::size_t i = 0; i < 2 * FileDigester::kPieceBytes + 7; ++i)
        pattern += char('a' + i % 23);
    struct Case {
        const char* name;
        std::string content;
        std::string expected;
    } cases[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"one piece", pattern.substr(0, FileDigester::kPieceBytes), ""},
        {"two pieces and a bit", pattern, ""},
    };
    TempTree tree;
    FileDigester digester;
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.expected.empty())
            c.expected = oneShotHex(c.content);
        EXPECT_EQ(digestOf(digester, tree.write(c.name, c.content)), c.expected);
    }
}

TEST(FileDigester, ReadErrorGivesNoDigest)
{
    TempTree tree{{"folder/", ""}};
    FileDigester digester;
    // read(2) on a folder fails with EISDIR, like a failing disk would with EIO.
    EXPECT_EQ(digestOf(digester, tree.path("folder")), std::nullopt);
}
