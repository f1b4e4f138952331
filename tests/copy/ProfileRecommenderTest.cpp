#include "copy/ProfileRecommender.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;

namespace larkfold {
void PrintTo(BackupProfile profile, std::ostream* out)
{
    *out << storedString(profile);
}
} // namespace larkfold

namespace {

std::string bytes(size_t count)
{
    return std::string(count, 'x');
}

} // namespace

TEST(ProfileRecommender, WeighsStructureAndBytesOnSmallTrees)
{
    struct Case {
        const char* what;
        std::vector<TempTree::Entry> tree;
        std::vector<std::string> scanned; // what a backup scan would hand over
        BackupProfile forFolder;
        BackupProfile forFiles;
    };
    using P = BackupProfile;
    const Case cases[] = {
        {"folder and marker at the top",
         {{"node_modules/", ""}, {"package.json", "{}"}}, {"package.json"}, P::developer, P::developer},
        {"a marker one level down is too weak even with all bytes",
         {{"web/package.json", "{}"}}, {"web/package.json"}, P::standard, P::standard},
        {"a top marker backed by three quarters of the bytes",
         {{"Cargo.toml", bytes(10)}, {"src/main.rs", bytes(20)}, {"data.bin", bytes(10)}},
         {"Cargo.toml", "src/main.rs", "data.bin"}, P::developer, P::developer},
        {"a film folder with five eighths of the bytes in film",
         {{"Render Files/", ""}, {"clip.mov", bytes(50)}, {"other.bin", bytes(30)}},
         {"clip.mov", "other.bin"}, P::film, P::standard},
        {"a film folder with three quarters of the bytes in film",
         {{"Render Files/", ""}, {"clip.mov", bytes(60)}, {"other.bin", bytes(20)}},
         {"clip.mov", "other.bin"}, P::film, P::film},
        {"one photo library taken whole",
         {{"Library.photoslibrary/database/Photos.sqlite", bytes(5)}}, {"Library.photoslibrary"},
         P::standard, P::photography},
        {"every package counts, whatever the case of its extension",
         {{".git/", ""}, {"node_modules/", ""}, {"Makefile", ""}, {"A.fcpbundle/x", ""}, {"B.FCPBundle/x", ""}},
         {"Makefile", "A.fcpbundle", "B.FCPBundle"}, P::developer, P::film},
        {"camera raw bytes alone never reach a profile",
         {{"a.cr2", bytes(40)}, {"b.NEF", bytes(40)}}, {"a.cr2", "b.NEF"}, P::standard, P::standard},
        {"images count at half their size",
         {{"Previews.lrdata/", ""}, {"a.jpg", bytes(100)}}, {"a.jpg"}, P::photography, P::standard},
        {"raw files back a photo structure",
         {{"Previews.lrdata/", ""}, {"a.dng", bytes(100)}}, {"a.dng"}, P::photography, P::photography},
        {"arw and tif are film bytes",
         {{"Render Files/", ""}, {"a.arw", bytes(50)}, {"b.TIF", bytes(50)}}, {"a.arw", "b.TIF"}, P::film, P::film},
        {"bytes get no bonus against other evidence",
         {{".git/", ""}, {"a.mov", bytes(90)}, {"b.txt", bytes(10)}}, {"a.mov", "b.txt"}, P::developer, P::standard},
        {"names match exactly and by kind",
         {{"render files/", ""}, {"Makefile/", ""}, {"node_modules", "file"}}, {"node_modules"}, P::standard,
         P::standard},
        {"two folders down is never looked at",
         {{"a/b/node_modules/", ""}, {"a/b/package.json", "{}"}}, {"a/b/package.json"}, P::standard, P::standard},
        {"two hits one level down are enough for the structure",
         {{"app/package.json", "{}"}, {"lib/Makefile", ""}}, {"app/package.json", "lib/Makefile"}, P::developer,
         P::developer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree tree;
        for (const auto& [path, content] : c.tree)
            path.ends_with('/') ? (void)tree.mkdir(path) : (void)tree.write(path, content);
        std::vector<std::filesystem::path> scanned;
        for (const auto& path : c.scanned)
            scanned.push_back(tree.path(path));
        EXPECT_EQ(recommendProfileForFolder(tree.root()), c.forFolder);
        EXPECT_EQ(recommendProfileForFiles(scanned, tree.root()), c.forFiles);
    }
}

TEST(ProfileRecommender, WalksAtMostThirtySubFoldersAndScoresEveryTopEntry)
{
    // A fixed listing order: the bundle comes first and uses one of the descents.
    std::vector<FolderListingEntry> top{{"App.xcodeproj", true}};
    for (int i = 1; i <= 30; ++i)
        top.push_back({"d" + std::to_string(i), true});
    top.push_back({"Makefile", false});
    std::vector<std::filesystem::path> listed;
    const FolderLister lister = [&](const std::filesystem::path& folder) -> std::optional<std::vector<FolderListingEntry>> {
        listed.push_back(folder);
        if (folder == "/src")
            return top;
        if (folder == "/src/d30")
            return std::vector<FolderListingEntry>{{"package.json", false}};
        return std::vector<FolderListingEntry>{};
    };
    ProfileScores scores;
    scoreFolder("/src", false, lister, scores);
    EXPECT_EQ(scores, (ProfileScores{{BackupProfile::developer, 40.0}}));
    EXPECT_EQ(listed.size(), 31u);
    EXPECT_EQ(listed.back(), "/src/d29");
}

TEST(ProfileRecommender, DegradesToWhatItCanReadAndListsNothingForNoEntries)
{
    int listings = 0;
    const FolderLister unreadable = [&](const std::filesystem::path&) -> std::optional<std::vector<FolderListingEntry>> {
        ++listings;
        return std::nullopt;
    };
    EXPECT_EQ(recommendProfileForFiles({}, "/src", unreadable), BackupProfile::standard);
    EXPECT_EQ(listings, 0);

    // An unlistable folder still lets package hits decide; unreadable sizes are left out.
    const FileSizeReader noSize = [](const std::filesystem::path&) { return std::nullopt; };
    EXPECT_EQ(recommendProfileForFiles({"/src/Song.logicx", "/src/mix.wav"}, "/src", unreadable, noSize),
              BackupProfile::music);
    EXPECT_EQ(recommendProfileForFolder("/nonexistent/larkfold"), BackupProfile::standard);
}
