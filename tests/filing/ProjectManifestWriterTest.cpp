#include "filing/FilingFixture.h"
#include "filing/ProjectManifestWriter.h"


#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;
namespace fs = std::filesystem;

namespace {

const QDateTime kArchivedAt(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC);

std::vector<std::string> pathsOf(const ProjectManifest& manifest)
{
    std::vector<std::string> paths;
    for (const auto& entry : manifest.files)
        paths.push_back(entry.path);
    return paths;
}

} // namespace

TEST(ProjectManifestWriter, WritesTheManifestFileExactly)
{
    TempTree tree{{"b.txt", "bb"},           {"A.txt", "a"},     {"a/x.txt", "xyz"}, {".notes", "n"},
                  {".DS_Store", "clutter"}, {"Thumbs.db", "t"}, {"sub/desktop.ini", "d"},
                  {".larkfold-manifest.json", "an older manifest"}};
    const ProjectManifestWriter writer;
    const ProjectManifest manifest = writer.makeManifest(tree.root(), "Spot", kArchivedAt);
    ASSERT_EQ(writer.write(manifest, tree.root()), std::nullopt);

    EXPECT_EQ(tree.read(".larkfold-manifest.json"),
              "{\n"
              "  \"archivedAt\": \"2025-03-14T09:26:53Z\",\n"
              "  \"files\": [\n"
              "    {\n"
              "      \"bytes\": 1,\n"
              "      \"path\": \".notes\"\n"
              "    },\n"
              "    {\n"
              "      \"bytes\": 1,\n"
              "      \"path\": \"A.txt\"\n"
              "    },\n"
              "    {\n"
              "      \"bytes\": 3,\n"
              "      \"path\": \"a\\/x.txt\"\n"
              "    },\n"
              "    {\n"
              "      \"bytes\": 2,\n"
              "      \"path\": \"b.txt\"\n"
              "    }\n"
              "  ],\n"
              "  \"name\": \"Spot\"\n"
              "}");
}

TEST(ProjectManifestWriter, AnEmptyProjectHasAnEmptyList)
{
    TempTree source{{"empty folder/", ""}};
    TempTree copy;
    const ProjectManifestWriter writer;
    const ProjectManifest manifest = writer.makeManifest(source.root(), "Nothing", kArchivedAt);
    EXPECT_TRUE(manifest.files.empty());
    EXPECT_EQ(*ProjectManifestWriter::encode(manifest),
              "{\n  \"archivedAt\": \"2025-03-14T09:26:53Z\",\n  \"files\": [],\n  \"name\": \"Nothing\"\n}");
    EXPECT_EQ(writer.check(copy.root(), manifest).summary(), "All 0 files are present and the right size.");
}

// Filing copies every folder of a project, so the manifest lists what is inside them too.
TEST(ProjectManifestWriter, ListsTheInsidesOfEveryFolderButNotLinks)
{
    TempTree tree{{".git/HEAD", "ref"},      {"build/app.o", "o"},   {"node_modules/x/index.js", "js"},
                  {".env.local", "SECRET"},  {"build.sh", "#!"},     {"Edit.app/Contents/Info.plist", "p"},
                  {".Larkfold-Trash/2024-01-01/old.txt", "old"},     {".larkfold-hashes.json", "{}"},
                  {"cache/.larkfold-manifest.json", "{}"}};
    tree.symlink("link.txt", tree.path("build.sh"));
    tree.symlink("linked folder", tree.path("build"));

    const ProjectManifest manifest = ProjectManifestWriter().makeManifest(tree.root(), "P", kArchivedAt);
    EXPECT_EQ(pathsOf(manifest), (std::vector<std::string>{".env.local", ".git/HEAD", "Edit.app/Contents/Info.plist",
                                                           "build.sh", "build/app.o", "node_modules/x/index.js"}));
}

TEST(ProjectManifestWriter, ChecksTheCopyPathByPath)
{
    TempTree source{{"A.txt", "a"}, {"b/c.txt", "ccc"}, {"B.txt", "bb"}, {"d.txt", "dddd"}};
    const ProjectManifestWriter writer;
    const ProjectManifest manifest = writer.makeManifest(source.root(), "P", kArchivedAt);

    TempTree copy{{"A.txt", "a"}, {"b/c.txt", "changed size"}, {"b.TXT", "case differs"}, {"extra.txt", "e"},
                  {".DS_Store", "clutter"}};
    const ProjectCheckResult result = writer.check(copy.root(), manifest);
    EXPECT_EQ(result.missing, (std::vector<std::string>{"B.txt", "d.txt"}));
    EXPECT_EQ(result.wrongSize, (std::vector<std::string>{"b/c.txt"}));
    EXPECT_EQ(result.added, (std::vector<std::string>{"b.TXT", "extra.txt"}));
    EXPECT_EQ(result.expectedCount, 4);
    EXPECT_EQ(result.summary(),
              "2 files are missing, 1 file is a different size than when this was archived.");
}

TEST(ProjectManifestWriter, SummarisesTheCheck)
{
    const auto result = [](std::vector<std::string> missing, std::vector<std::string> wrongSize, qsizetype expected) {
        return ProjectCheckResult{std::move(missing), std::move(wrongSize), {"added.txt"}, expected};
    };
    const std::pair<ProjectCheckResult, const char*> cases[] = {
        {result({}, {}, 1), "All 1 file is present and the right size."},
        {result({}, {}, 12), "All 12 files are present and the right size."},
        {result({"a"}, {}, 3), "1 file is missing."},
        {result({}, {"a", "b"}, 3), "2 files are a different size than when this was archived."},
    };
    for (const auto& [check, text] : cases)
        EXPECT_EQ(check.summary(), text);
}

TEST(ProjectManifestWriter, ReportsAManifestItCannotWrite)
{
    TempTree tree{{"ok.txt", "fine"}};
    tree.write(std::string("caf\xe9.txt"), "a Latin-1 name");
    const ProjectManifestWriter writer;
    const ProjectManifest manifest = writer.makeManifest(tree.root(), "P", kArchivedAt);
    ASSERT_EQ(manifest.files.size(), 2u);
    const auto error = writer.write(manifest, tree.root());
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains("valid UTF-8")) << error->toStdString();
    EXPECT_FALSE(tree.exists(".larkfold-manifest.json"));

    // A folder in the manifest's place cannot be replaced by the file.
    TempTree blocked{{".larkfold-manifest.json/inside", "x"}};
    EXPECT_TRUE(writer.write(ProjectManifest{"P", kArchivedAt, {}}, blocked.root()).has_value());
    EXPECT_TRUE(writer.write(ProjectManifest{"P", kArchivedAt, {}}, blocked.path("missing")).has_value());
}
