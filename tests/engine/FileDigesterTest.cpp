#include "engine/FileDigester.h"

#include "platform/FaultInjectingFileSystem.h"
#include "support/TempTree.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;

namespace {

std::optional<std::string> digestOf(platform::FileSystem& fileSystem, const std::filesystem::path& path)
{
    auto dir = fileSystem.openDirectory(path.parent_path());
    auto file = dir ? fileSystem.openFile(*dir, path.filename(), platform::OpenMode::read)
                    : platform::PosixResult<platform::File>(dir.error());
    if (!file)
        return std::nullopt;
    return FileDigester(fileSystem).sha256Hex(*file);
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
    platform::FileSystem& fileSystem = platform::systemFileSystem();
    FileDigester digester(fileSystem);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.expected.empty())
            c.expected = oneShotHex(c.content);
        auto dir = fileSystem.openDirectory(tree.root());
        ASSERT_TRUE(dir);
        tree.write(c.name, c.content);
        auto file = fileSystem.openFile(*dir, c.name, platform::OpenMode::read);
        ASSERT_TRUE(file);
        EXPECT_EQ(digester.sha256Hex(*file), c.expected);
    }
}

TEST(FileDigester, ReadErrorGivesNoDigest)
{
    TempTree tree{{"folder/", ""}, {"big", std::string(2 * FileDigester::kPieceBytes + 1, 'x')}};
    EXPECT_EQ(digestOf(platform::systemFileSystem(), tree.path("folder")), std::nullopt); // EISDIR
    // The first piece, then pieces read while another one is being hashed.
    for (int piece = 1; piece <= 3; ++piece) {
        SCOPED_TRACE(piece);
        platform::FaultInjectingFileSystem failing;
        failing.failNth(platform::FileOperation::read, piece, EIO);
        EXPECT_EQ(digestOf(failing, tree.path("big")), std::nullopt);
        EXPECT_NE(digestOf(failing, tree.path("big")), std::nullopt);
    }
}
