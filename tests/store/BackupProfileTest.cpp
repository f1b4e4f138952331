#include "store/BackupProfile.h"

#include <gtest/gtest.h>

using namespace larkfold;

TEST(BackupProfile, StoredStringsAreExactCaseNames)
{
    const auto cases = allCases<BackupProfile>();
    ASSERT_EQ(cases.size(), 6u);
    for (BackupProfile profile : cases)
        EXPECT_EQ(fromStoredString<BackupProfile>(storedString(profile)), profile);
    EXPECT_EQ(cases.front(), BackupProfile::standard);
    EXPECT_EQ(cases.back(), BackupProfile::documents);
    EXPECT_EQ(fromStoredString<BackupProfile>("film"), BackupProfile::film);
    EXPECT_EQ(fromStoredString<BackupProfile>("Film"), std::nullopt);
    EXPECT_EQ(fromStoredString<BackupProfile>(""), std::nullopt);
}

TEST(BackupProfile, EveryProfileExcludesTheSystemNames)
{
    for (BackupProfile profile : allCases<BackupProfile>()) {
        SCOPED_TRACE(std::string(storedString(profile)));
        for (const std::string& name : systemExclusionNames())
            EXPECT_TRUE(exclusions(profile).names.contains(name)) << name;
    }
    for (BackupProfile plain : {BackupProfile::standard, BackupProfile::documents}) {
        EXPECT_EQ(exclusions(plain).names, systemExclusionNames());
        EXPECT_TRUE(exclusions(plain).extensions.empty());
    }
}

TEST(BackupProfile, ProfileSetsHoldTheirOwnNames)
{
    const std::size_t systemCount = systemExclusionNames().size();
    struct Case {
        BackupProfile profile;
        std::size_t ownNames;
        std::size_t extensions;
    } cases[] = {{BackupProfile::film, 14, 5},
                 {BackupProfile::photography, 6, 1},
                 {BackupProfile::music, 3, 1},
                 {BackupProfile::developer, 28, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(storedString(c.profile)));
        EXPECT_EQ(exclusions(c.profile).names.size(), c.ownNames + systemCount);
        EXPECT_EQ(exclusions(c.profile).extensions.size(), c.extensions);
    }
    const ProfileExclusions& developer = exclusions(BackupProfile::developer);
    EXPECT_TRUE(developer.names.contains(std::string_view("env")));
    EXPECT_TRUE(developer.names.contains(std::string_view(".env")));
    EXPECT_TRUE(developer.extensions.contains(std::string_view("pyc")));
    EXPECT_FALSE(developer.names.contains(std::string_view("src")));
}

TEST(BackupProfile, SystemExclusionNamesIncludeLinuxFolders)
{
    struct Case {
        const char* name;
        bool excluded;
    } cases[] = {{".Spotlight-V100", true}, {".Trashes", true},          {".fseventsd", true},
                 {".TemporaryItems", true}, {".DocumentRevisions-V100", true}, {"lost+found", true},
                 {".Trash-1000", true},     {".Trash-", true},           {".Trash", false},
                 {"Lost+Found", false},     {"x.Trash-1000", false},     {"notes.txt", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isSystemExclusionName(c.name), c.excluded);
    }
}

TEST(BackupProfile, MarkerFileNames)
{
    EXPECT_EQ(larkfoldMarkerFileNames(),
              (NameSet{".larkfold-checkpoint.json", ".larkfold-hashes.json", ".larkfold-lastcheck", ".larkfold-lock"}));
}
