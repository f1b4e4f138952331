#include "filing/FilingFixture.h"
#include "filing/ProjectManifestWriter.h"


#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
    EXPECT_EQ(writer.check(copy.root(), manifest, source.root()).summary(), "All 0 files are present and the right size.");
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
    const ProjectCheckResult result = writer.check(copy.root(), manifest, source.root());
    EXPECT_EQ(result.missing, (std::vector<std::string>{"B.txt", "d.txt"}));
    EXPECT_EQ(result.wrongSize, (std::vector<std::string>{"b/c.txt"}));
    EXPECT_EQ(result.added, (std::vector<std::string>{"b.TXT", "extra.txt"}));
    EXPECT_EQ(result.expectedCount, 4);
    EXPECT_EQ(result.summary(),
              "2 files are missing, 1 file is a different size than when this was archived.");
}

// A same-size edit is told by the content: the copy is compared with the original as it is now.
TEST(ProjectManifestWriter, ChecksTheContentByItsDigest)
{
    TempTree source{{"same.txt", "alike"}, {"edited.txt", "first"}, {"sub/late.txt", "draft"}};
    const ProjectManifestWriter writer;
    const ProjectManifest manifest = writer.makeManifest(source.root(), "P", kArchivedAt);
    TempTree copy{{"same.txt", "alike"}, {"edited.txt", "first"}, {"sub/late.txt", "draft"}};
    source.write("edited.txt", "final"); // after its copy, the same size
    copy.write("sub/late.txt", "DRAFT"); // the copy went wrong, the same size
    std::vector<double> fractions;
    QStringList labels;
    const ProjectCheckResult result = writer.check(copy.root(), manifest, source.root(), {},
                                                   [&](double fraction, const QString& label) {
                                                       fractions.push_back(fraction);
                                                       labels << label;
                                                   });
    EXPECT_TRUE(result.missing.empty() && result.wrongSize.empty());
    EXPECT_EQ(result.differentContent, (std::vector<std::string>{"edited.txt", "sub/late.txt"}));
    EXPECT_FALSE(result.matches());
    EXPECT_EQ(result.summary(), "2 files are not the same as the original.");
    EXPECT_EQ(labels, (QStringList{"Checking edited.txt", "Checking same.txt", "Checking late.txt"}));
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));

    // Nothing about the digests goes into the manifest's file.
    ASSERT_EQ(writer.write(manifest, copy.root()), std::nullopt);
    EXPECT_FALSE(QString::fromStdString(copy.read(".larkfold-manifest.json")).contains("sha", Qt::CaseInsensitive));
}

// What filing does not copy is named: links, special files, empty folders, what a
// ".Larkfold-Trash" folder holds, and folders that cannot be read.
TEST(ProjectManifestWriter, NamesWhatFilingLeavesOut)
{
    TempTree tree{{"1 Documents/brief.txt", "b"},   {"5 Drafts/", ""},        {"6 Finals/.DS_Store", "clutter"},
                  {"3 Media/Sub/Deeper/", ""},      {"2 Project Files/.Larkfold-Trash/2024-01-01/old.txt", "o"},
                  {"2 Project Files/edit.prproj", "p"}, {"Elsewhere/footage.mov", "f"}};
    tree.symlink("3 Media/Footage", tree.path("Elsewhere"));
    ASSERT_EQ(::mkfifo(tree.path("pipe").c_str(), 0600), 0);
    const ProjectManifest manifest = ProjectManifestWriter().makeManifest(tree.root(), "P", kArchivedAt);
    using Kind = LeftOutItem::Kind;
    EXPECT_EQ(manifest.leftOut, (std::vector<LeftOutItem>{{"2 Project Files/.Larkfold-Trash", Kind::trashFolder, 2},
                                                          {"3 Media/Footage", Kind::link, 0},
                                                          {"3 Media/Sub/Deeper", Kind::emptyFolder, 0},
                                                          {"5 Drafts", Kind::emptyFolder, 0},
                                                          {"6 Finals", Kind::emptyFolder, 0},
                                                          {"pipe", Kind::specialFile, 0}}));
    EXPECT_EQ(pathsOf(manifest), (std::vector<std::string>{"1 Documents/brief.txt", "2 Project Files/edit.prproj",
                                                           "Elsewhere/footage.mov"}));

    // A folder the user may not read, as an ordinary user meets it.
    ::chmod(tree.root().c_str(), 0755);
    tree.mkdir("Locked/inside");
    fs::permissions(tree.path("Locked"), fs::perms::none);
    const auto locked = test::runUnprivileged([&] {
        std::string found;
        for (const LeftOutItem& item : ProjectManifestWriter().makeManifest(tree.root(), "P", kArchivedAt).leftOut)
            if (item.kind == Kind::unreadableFolder || item.path == "Locked")
                found += item.path + (item.kind == Kind::unreadableFolder ? " unreadable" : " other") + '\n';
        return found;
    });
    fs::permissions(tree.path("Locked"), fs::perms::owner_all);
    if (locked) {
        EXPECT_EQ(*locked, "Locked unreadable\n");
    }
}

TEST(ProjectManifestWriter, SummarisesTheCheck)
{
    const auto result = [](std::vector<std::string> missing, std::vector<std::string> wrongSize, qsizetype expected) {
        return ProjectCheckResult{std::move(missing), std::move(wrongSize), {"added.txt"}, expected, {}};
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
    EXPECT_TRUE(writer.write(ProjectManifest{"P", kArchivedAt, {}, {}}, blocked.root()).has_value());
    EXPECT_TRUE(writer.write(ProjectManifest{"P", kArchivedAt, {}, {}}, blocked.path("missing")).has_value());
}
