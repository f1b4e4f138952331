#include "copy/ExclusionFilter.h"
#include "copy/PackageTables.h"

#include "store/StoredEnum.h"

#include <gtest/gtest.h>

using namespace larkfold;

namespace {

struct Case {
    const char* name;
    bool isDirectory;
    bool excluded;
};

void expectDecisions(const ExclusionFilter& filter, std::initializer_list<Case> cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.isDirectory ? "/" : ""));
        EXPECT_EQ(filter.shouldExclude(c.name, c.isDirectory), c.excluded);
    }
}

} // namespace

TEST(ExclusionFilterTest, DefaultNamesPatternsAndCaseRules)
{
    expectDecisions(ExclusionFilter::forProfile(BackupProfile::standard),
                    {
                        {".git", true, true},
                        {".git", false, true}, // names apply to files too
                        {"node_modules", true, true},
                        {"DerivedData", true, true},
                        {"build", true, true},
                        {"Build", true, true},
                        {"BUILD", true, false},
                        {".DS_Store", false, true},
                        {".Larkfold-Trash", true, true},
                        {"thumbs.db", false, true},
                        {"DESKTOP.INI", false, true},
                        {"Thumbs.db", true, false}, // patterns never exclude a folder
                        {"Project.xcuserstate", false, true},
                        {"X.XCUSERSTATE", false, true},
                        {"a.xcuserstate.xcuserstate", false, false},
                        {".env.production.local", false, true},
                        {".env.local", false, true},
                        {"notes.txt", false, false},
                        {"target", true, false},
                    });
}

TEST(ExclusionFilterTest, ProfilesAddTheirNamesAndExtensionsAndSystemFoldersEverywhere)
{
    for (const BackupProfile profile : allCases<BackupProfile>()) {
        SCOPED_TRACE(std::string(storedString(profile)));
        expectDecisions(ExclusionFilter::forProfile(profile), {
                                                                  {".Spotlight-V100", true, true},
                                                                  {".TemporaryItems", true, true},
                                                                  {"lost+found", true, true},
                                                                  {".Trash-1000", true, true},
                                                                  {".Trash-", false, true},
                                                                  {".Trash", true, false},
                                                              });
    }
    expectDecisions(ExclusionFilter::forProfile(BackupProfile::developer),
                    {{"target", true, true}, {"env", true, true}, {".env", true, true}, {"main.O", false, true},
                     {"app.log", false, true}, {"App.dSYM", false, false}, {"obj", false, true}});
    expectDecisions(ExclusionFilter::forProfile(BackupProfile::film),
                    {{"Render Files", true, true}, {"clip.PEK", false, true}, {"scratch.tmp", false, true},
                     {"scratch.tmp", true, false}, {"target", true, false}});
    expectDecisions(ExclusionFilter::forProfile(BackupProfile::photography),
                    {{"Previews.lrdata", true, true}, {"Other.lrdata", true, false}, {"Other.lrdata", false, true}});
    expectDecisions(ExclusionFilter::forProfile(BackupProfile::music),
                    {{"Bounces", true, true}, {"loop.asd", false, true}, {"clip.pek", false, false}});
    expectDecisions(ExclusionFilter::forProfile(BackupProfile::documents), {{"clip.pek", false, false}, {"tmp", true, false}});
}

TEST(ExclusionFilterTest, ExtensionsMatchFilesInLowerCaseOnly)
{
    const ExclusionFilter filter({}, {}, {"mov", "MKV"}, BackupProfile::standard);
    expectDecisions(filter, {
                                {"Clip.MOV", false, true},
                                {"Clip.mov", true, false},
                                {"README", false, false},
                                {".mov", false, false}, // a leading dot is no extension
                                {"movie.MKV", false, false}, // an entry stored with capitals never matches
                            });
}

TEST(ExclusionFilterTest, AnEmptyFilterExcludesNothing)
{
    const ExclusionFilter filter({}, {}, {}, BackupProfile::developer);
    for (const char* name : {".git", "node_modules", "Thumbs.db", ".Trash-1000", "a.pyc"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(filter.shouldExclude(name, false));
        EXPECT_FALSE(filter.shouldExclude(name, true));
    }
}

TEST(ExclusionFilterTest, PatternMatchingTakesFirstOccurrencesWithoutBacktracking)
{
    const struct {
        const char* name;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"anything", "*", true},
        {"", "**", true},
        {"Thumbs.db", "THUMBS.DB", true},
        {"Thumbs.db.bak", "thumbs.db", false},
        {"report-final.txt", "report*.txt", true},
        {"my-report.txt", "report*.txt", false},        // first part anchored at the start
        {"report.txt.old", "report*.txt", false},       // last part anchored at the end
        {"a.xcuserstate.xcuserstate", "*.xcuserstate", false}, // first occurrence ends too early
        {".env.local", ".env.*.local", false},
        {".env.production.local", ".env.*.local", true},
        {"a?c", "a?c", true},                           // only "*" is special
        {"abc", "a?c", false},
        {"axbxc", "a*b*c", true},
        {"ab", "a**b", true},
        {"CAF\xc3\x89.TXT", "caf\xc3\xa9.txt", true},   // letters beyond ASCII fold too
        {"\xff" "DATA.BIN", "\xff" "data.bin", true},   // bytes that are not UTF-8 stay, ASCII folds
        {"CAF\xc3\x89\xc3", "caf\xc3\xa9", false},       // a cut-off last character is not dropped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.pattern);
        EXPECT_EQ(ExclusionFilter::matches(c.name, c.pattern), c.matches);
    }
}

TEST(ExclusionFilterTest, PackagesByExtensionAndProfile)
{
    constexpr auto everyProfile = allCases<BackupProfile>();
    const struct {
        const char* name;
        std::vector<BackupProfile> packageUnder;
    } cases[] = {
        {"Cut.FCPBundle", {BackupProfile::film}},
        {"Song.logicx", {BackupProfile::music}},
        {"Catalog.lrcat", {BackupProfile::photography}},
        {"Tools.app", {everyProfile.begin(), everyProfile.end()}},
        {"Library.photoslibrary", {everyProfile.begin(), everyProfile.end()}},
        {"lrcat", {}},
        {".app", {}},
        {"Notes.txt", {}},
    };
    for (const auto& c : cases) {
        for (const BackupProfile profile : allCases<BackupProfile>()) {
            SCOPED_TRACE(std::string(c.name) + " under " + std::string(storedString(profile)));
            const bool expected =
                std::find(c.packageUnder.begin(), c.packageUnder.end(), profile) != c.packageUnder.end();
            EXPECT_EQ(isPackageFolder(c.name, profile), expected);
        }
    }
    EXPECT_EQ(packageExtensions().size(), 12u);
}
