// The "Smart setup" card's texts and states, and what accepting or declining does to a real
// store in a temporary folder.

#include "setup/ProfileSuggestionModel.h"

#include "store/ConfigStore.h"
#include "support/PairRecord.h"
#include "support/TempTree.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;

namespace {

ProfileSuggestionModel card(BackupProfile profile, const QString& name = QStringLiteral("Holiday"), qint64 bytes = 0,
                            std::function<void()> onAccept = {}, std::function<void()> onDecline = {})
{
    return ProfileSuggestionModel(profile, name, bytes, std::move(onAccept), std::move(onDecline));
}

} // namespace

TEST(ProfileSuggestionModel, EachProfileHasItsSymbolHeadlineDescriptionAndButtons)
{
    struct Case {
        BackupProfile profile;
        const char* symbol;
        const char* headline;
        const char* descriptionStart;
        int bullets;
        const char* accept;
    };
    const Case cases[] = {
        {BackupProfile::standard, "folder", "Ready to back up \"Holiday Photos.\"",
         "Backs up everything in this folder normally.", 1, "OK"},
        {BackupProfile::film, "film", "Looks like a film project.", "Optimised for video work — handles", 3,
         "Set it up"},
        {BackupProfile::photography, "photo.stack", "Looks like a photo library.",
         "Optimised for photo libraries — keeps", 2, "Set it up"},
        {BackupProfile::music, "music.note", "Looks like a music project.", "Optimised for music projects — handles",
         2, "Set it up"},
        {BackupProfile::developer, "chevron.left.forwardslash.chevron.right", "Looks like a code project.",
         "Optimised for code projects — skips", 2, "Set it up"},
        {BackupProfile::documents, "doc.text", "Looks like documents.",
         "Standard backup behavior for documents and files.", 1, "Set it up"},
    };
    for (const Case& c : cases) {
        const auto model = card(c.profile, QStringLiteral("Holiday Photos"));
        SCOPED_TRACE(model.technicalLines().front().toStdString());
        EXPECT_EQ(model.symbolName(), QString::fromUtf8(c.symbol));
        EXPECT_EQ(model.headline(), QString::fromUtf8(c.headline));
        EXPECT_TRUE(model.profileDescription().startsWith(QString::fromUtf8(c.descriptionStart)));
        EXPECT_EQ(model.changeBullets().size(), c.bullets);
        EXPECT_EQ(model.hasChangeSection(), c.profile != BackupProfile::standard);
        EXPECT_EQ(model.acceptTitle(), QString::fromUtf8(c.accept));
    }
    EXPECT_EQ(ProfileSuggestionModel::changeBullets(BackupProfile::documents),
              QStringList{QStringLiteral("Normal backup — every file in this folder is included.")});
    EXPECT_EQ(ProfileSuggestionModel::declineTitle(), QStringLiteral("Use defaults"));
}

TEST(ProfileSuggestionModel, TheSizeIsTheGivenCountInDecimalUnits)
{
    EXPECT_EQ(card(BackupProfile::film, {}, 0).sizeText(), QStringLiteral("Zero KB"));
    EXPECT_EQ(card(BackupProfile::film, {}, 1'000).sizeText(), QStringLiteral("1 KB"));
    EXPECT_EQ(card(BackupProfile::film, {}, 1'234'567'890).sizeText(), QStringLiteral("1.23 GB"));
}

// Names and extensions in code-point order, the system folders among them, ten at most.
TEST(ProfileSuggestionModel, TechnicalLinesListTheProfilesExclusionsSorted)
{
    EXPECT_EQ(ProfileSuggestionModel::technicalLines(BackupProfile::standard),
              QStringList{QStringLiteral("Profile: standard")});
    EXPECT_EQ(ProfileSuggestionModel::technicalLines(BackupProfile::documents),
              (QStringList{QStringLiteral("Profile: documents"),
                           QStringLiteral("Excluded folders: .DocumentRevisions-V100, .Spotlight-V100, "
                                          ".TemporaryItems, .Trashes, .fseventsd, lost+found")}));
    // Fourteen names of its own, then the six system folders: ten shown, the rest counted.
    EXPECT_EQ(ProfileSuggestionModel::technicalLines(BackupProfile::film),
              (QStringList{QStringLiteral("Profile: film"),
                           QStringLiteral("Excluded folders: Adobe After Effects Auto-Save, Adobe Audition Auto-Save, "
                                          "Adobe Premiere Pro Auto-Save, Adobe Premiere Pro Preview Files, Audio Render "
                                          "Files, CacheClip, Common Cache Files, Media Cache, Media Cache Files, "
                                          "Optimized Clips (+10 more)"),
                           QStringLiteral("Excluded extensions: .cfa, .ims, .mpgindex, .pek, .tmp")}));
    // The bullets name what Linux users edit with, as editor detection knows it.
    const QString bullets = ProfileSuggestionModel::changeBullets(BackupProfile::film).join(u' ');
    EXPECT_TRUE(bullets.contains(QStringLiteral("DaVinci Resolve"))) << bullets.toStdString();
    EXPECT_FALSE(bullets.contains(QStringLiteral("Final Cut")));
    const QStringList developer = ProfileSuggestionModel::technicalLines(BackupProfile::developer);
    ASSERT_EQ(developer.size(), 3);
    EXPECT_TRUE(developer[1].endsWith(QStringLiteral(".swiftpm, .tox (+24 more)"))) << developer[1].toStdString();
    EXPECT_EQ(developer[2], QStringLiteral("Excluded extensions: .class, .dSYM, .log, .o, .obj, .pyc, .pyo, "
                                           ".swiftdoc, .swiftmodule"));
}

TEST(ProfileSuggestionModel, OnlyAnEleventhNameIsCountedAndExtensionsNeverAre)
{
    ProfileExclusions exclusions;
    for (int i = 0; i < 10; ++i) {
        exclusions.names.insert("n" + std::to_string(i));
        exclusions.extensions.insert("e" + std::to_string(i));
    }
    const QString ten = QStringLiteral("Excluded folders: n0, n1, n2, n3, n4, n5, n6, n7, n8, n9");
    const QString tenExtensions = QStringLiteral("Excluded extensions: .e0, .e1, .e2, .e3, .e4, .e5, .e6, .e7, .e8, .e9");
    EXPECT_EQ(ProfileSuggestionModel::technicalLines(BackupProfile::music, exclusions),
              (QStringList{QStringLiteral("Profile: music"), ten, tenExtensions}));

    exclusions.names.insert("z");
    exclusions.extensions.insert("z");
    exclusions.extensions.insert("zz");
    EXPECT_EQ(ProfileSuggestionModel::technicalLines(BackupProfile::music, exclusions),
              (QStringList{QStringLiteral("Profile: music"), ten + QStringLiteral(" (+1 more)"), tenExtensions}));

    EXPECT_EQ(ProfileSuggestionModel::technicalLines(BackupProfile::music, ProfileExclusions{}),
              QStringList{QStringLiteral("Profile: music")})
        << "an empty set gives no line";
}

// The technical lines need both states open; closing the section keeps the inner state.
TEST(ProfileSuggestionModel, DisclosureStatesStartClosedAndChangeOnlyWhenAsked)
{
    auto model = card(BackupProfile::photography);
    QSignalSpy section(&model, &ProfileSuggestionModel::showWhatThisChangesChanged);
    QSignalSpy technical(&model, &ProfileSuggestionModel::showTechnicalDetailsChanged);
    EXPECT_FALSE(model.showWhatThisChanges());
    EXPECT_FALSE(model.showTechnicalDetails());
    EXPECT_EQ(model.technicalDetailsTitle(), QStringLiteral("Show technical details"));

    model.toggleWhatThisChanges();
    model.toggleTechnicalDetails();
    EXPECT_TRUE(model.technicalLinesShown());
    EXPECT_EQ(model.technicalDetailsTitle(), QStringLiteral("Hide technical details"));
    model.setShowTechnicalDetails(true);
    EXPECT_EQ(technical.count(), 1) << "no change, no signal";

    model.toggleWhatThisChanges();
    EXPECT_FALSE(model.technicalLinesShown());
    EXPECT_TRUE(model.showTechnicalDetails());
    model.toggleWhatThisChanges();
    EXPECT_TRUE(model.technicalLinesShown()) << "reopening shows them again";
    EXPECT_EQ(section.count(), 3);
}

// The two presses run the window owner's callbacks: accept writes the pair, decline nothing.
class ProfileSuggestionStoreTest : public ::testing::Test {
protected:
    ProfileSuggestionStoreTest()
    {
        store.addPair(pairRecord(QStringLiteral("Edits"), tree.path("edits"), tree.path("dest")));
        store.addPair(pairRecord(QStringLiteral("Notes"), tree.path("notes"), tree.path("dest")));
        editsId = store.pairs()[0].id;
    }

    ProfileSuggestionModel cardFor(const QUuid& pairId, BackupProfile profile)
    {
        return card(
            profile, QStringLiteral("Edits"), 5'000'000,
            [this, pairId, profile] {
                ++accepted;
                ProfileSuggestionModel::applySuggestion(store, pairId, profile);
            },
            [this] { ++declined; });
    }

    std::string configBytes() const { return readFile(store.configFileURL()); }

    TempTree tree{{"edits/a.mov", "a"}, {"notes/b.txt", "b"}, {"dest/", ""}};
    TempDir support;
    ConfigStore store{support.path()};
    QUuid editsId;
    int accepted = 0;
    int declined = 0;
};

TEST_F(ProfileSuggestionStoreTest, AcceptingGivesThePairTheProfileOnDisk)
{
    auto model = cardFor(editsId, BackupProfile::film);
    model.accept();
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(declined, 0);

    ConfigStore reread(support.path());
    ASSERT_EQ(reread.pairs().size(), 2u);
    EXPECT_EQ(reread.pairs()[0].profile, BackupProfile::film);
    EXPECT_TRUE(reread.pairs()[0].didSuggestProfile);
    EXPECT_EQ(reread.pairs()[1].profile, BackupProfile::standard) << "the other pair is untouched";
    EXPECT_FALSE(reread.pairs()[1].didSuggestProfile);
}

TEST_F(ProfileSuggestionStoreTest, DecliningOrAcceptingForAGonePairWritesNothing)
{
    const std::string before = configBytes();
    auto declinedCard = cardFor(editsId, BackupProfile::film);
    declinedCard.decline();
    declinedCard.decline();
    EXPECT_EQ(declined, 2) << "once per press";
    EXPECT_EQ(configBytes(), before);
    EXPECT_EQ(store.pairs()[0].profile, BackupProfile::standard);

    auto goneCard = cardFor(QUuid::createUuid(), BackupProfile::music);
    goneCard.accept();
    EXPECT_EQ(accepted, 1);
    EXPECT_FALSE(ProfileSuggestionModel::applySuggestion(store, QUuid::createUuid(), BackupProfile::music));
    EXPECT_EQ(configBytes(), before);
}
