#include "setup/WelcomeModel.h"

#include "SheetFixture.h"
#include "platform/Bookmark.h"
#include "platform/Drives.h"
#include "platform/Paths.h"
#include "store/ConfigStore.h"
#include "support/LogCapture.h"

#include <QSignalSpy>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Step = WelcomeModel::Step;

namespace {

class WelcomeModelTest : public SheetFixture {
protected:
    WelcomeModel& model()
    {
        if (!m_model)
            m_model = std::make_unique<WelcomeModel>(start(), c.store(), prompts);
        return *m_model;
    }

    // Source from the panel, Next, then the destination from the panel.
    void chooseSourceAndDestination(const fs::path& source, const fs::path& destination)
    {
        prompts.folderAnswers.push_back({source});
        model().chooseSourceFolder();
        model().advance();
        prompts.folderAnswers.push_back({destination});
        model().chooseDestinationFolder();
        ASSERT_EQ(model().step(), Step::pickOffsite);
    }

private:
    std::unique_ptr<WelcomeModel> m_model;
};

} // namespace

TEST(WelcomeModelTexts, EachStepHasItsSubtitleAndCounter)
{
    const std::pair<Step, const char*> steps[] = {
        {Step::pickSource, "Step 1 of 4 — Choose a folder to protect"},
        {Step::pickDestination, "Step 2 of 4 — Choose a backup destination"},
        {Step::pickOffsite, "Step 3 of 4 — Add an offsite copy (optional)"},
        {Step::confirm, "Step 4 of 4 — Review and start"},
    };
    for (const auto& [step, subtitle] : steps)
        EXPECT_EQ(WelcomeModel::subtitle(step), QString::fromUtf8(subtitle));
}

// Next is enabled only with what the step needs; Back keeps every folder; nothing is stored
// until the last step's button.
TEST_F(WelcomeModelTest, StepsMoveOnOnlyWithWhatEachNeeds)
{
    const fs::path photos = folder("Photos");
    const fs::path dest = folder("dest");
    EXPECT_EQ(model().step(), Step::pickSource);
    EXPECT_EQ(model().counterText(), QStringLiteral("Step 1 of 4"));
    EXPECT_FALSE(model().showsBack());
    EXPECT_FALSE(model().canContinue());
    model().advance();
    EXPECT_EQ(model().step(), Step::pickSource);

    model().chooseSourceFolder(); // cancelled
    ASSERT_EQ(prompts.panels.size(), 1u);
    EXPECT_EQ(prompts.panels[0], (FolderPanel{"Choose", "Select the folder you want to keep backed up.", platform::homeFolder(),
                                              false, false}));
    EXPECT_FALSE(model().source());
    prompts.folderAnswers.push_back({photos});
    model().chooseSourceFolder();
    EXPECT_EQ(model().source(), photos);
    EXPECT_EQ(model().step(), Step::pickSource) << "choosing keeps the step";
    EXPECT_TRUE(model().canContinue());
    EXPECT_EQ(model().primaryButtonTitle(), QStringLiteral("Next"));

    model().advance();
    EXPECT_EQ(model().step(), Step::pickDestination);
    EXPECT_TRUE(model().showsBack());
    EXPECT_FALSE(model().canContinue());
    model().chooseDestinationFolder(); // cancelled
    EXPECT_EQ(prompts.panels.back(), (FolderPanel{"Choose Destination", "Choose or create a folder for your backups",
                                                  platform::drivesFolder(), false, true}));
    model().chooseDestinationFolder(kDriveMountPoint);
    EXPECT_EQ(prompts.panels.back().startingFolder, fs::path(kDriveMountPoint)) << "a volume row opens the panel on it";
    EXPECT_EQ(model().step(), Step::pickDestination);
    prompts.folderAnswers.push_back({dest});
    model().chooseDestinationFolder();
    EXPECT_EQ(model().step(), Step::pickOffsite) << "a chosen destination moves on by itself";
    EXPECT_EQ(model().counterText(), QStringLiteral("Step 3 of 4"));
    EXPECT_TRUE(model().canContinue()) << "the offsite copy is optional";

    model().advance();
    EXPECT_EQ(model().step(), Step::confirm);
    EXPECT_FALSE(model().offsite());
    EXPECT_EQ(model().primaryButtonTitle(), QStringLiteral("Start Backing Up"));
    model().goBack();
    model().goBack();
    model().goBack();
    model().goBack();
    EXPECT_EQ(model().step(), Step::pickSource);
    EXPECT_EQ(model().source(), photos);
    EXPECT_EQ(model().destination(), dest);

    // The window closed here: nothing was stored.
    const ConfigStore reloaded(c.store().appSupportURL());
    EXPECT_TRUE(reloaded.pairs().empty());
    EXPECT_FALSE(reloaded.appConfig().hasCompletedOnboarding);
}

TEST_F(WelcomeModelTest, ADropTakesTheFirstFileOfferedWhenItIsAFolder)
{
    const fs::path photos = folder("Photos");
    const fs::path docs = folder("Docs");
    const fs::path file = c.tree.write("notes.txt", "x");

    EXPECT_FALSE(model().handleDrop({}));
    EXPECT_FALSE(model().handleDrop({QUrl(QStringLiteral("https://example.com/Photos/"))}));
    EXPECT_TRUE(model().handleDrop(fileUrls({file, photos})));
    EXPECT_FALSE(model().source()) << "the first file is no folder; the rest are not looked at";
    EXPECT_TRUE(model().handleDrop(fileUrls({photos, docs})));
    EXPECT_EQ(model().source(), photos);
    EXPECT_TRUE(model().handleDrop(fileUrls({docs})));
    EXPECT_EQ(model().source(), docs) << "a second drop replaces the first";
    EXPECT_EQ(model().step(), Step::pickSource);
    model().clearSource();
    EXPECT_FALSE(model().source());
    EXPECT_FALSE(model().canContinue());
}

TEST_F(WelcomeModelTest, AFolderWhoseNameIsNotTextIsTakenAsItsBytes)
{
    const fs::path cafe = folder(std::string("caf\xe9"));
    const QUrl url = QUrl::fromEncoded(QByteArray("file://") + QByteArray::fromStdString(c.tree.root().native())
                                       + "/caf%E9");
    EXPECT_TRUE(model().handleDrop({url}));
    EXPECT_EQ(model().source(), cafe);
}

// The folders no backup can work in, and an offsite folder in the destination's "Larkfold"
// folder, are refused in the step; finishing checks again what may have changed since.
TEST_F(WelcomeModelTest, FoldersThatCanNeverWorkAreRefused)
{
    const fs::path small = folder("small stick");
    c.volumes.setVolume({small, platform::VolumeSpace{300'000'000, 264'300'000}, 9, false});
    const fs::path drive = folder("drive");
    prompts.folderAnswers.push_back({folder("Photos")});
    model().chooseSourceFolder();
    model().advance();
    for (const fs::path& refused : {fs::path("/usr/local/share"), small}) {
        prompts.folderAnswers.push_back({refused});
        model().chooseDestinationFolder();
        EXPECT_EQ(model().step(), Step::pickDestination) << refused;
        EXPECT_FALSE(model().destination());
        EXPECT_FALSE(model().warning().isEmpty());
    }
    EXPECT_TRUE(model().warning().contains("524.3 MB")) << model().warning().toStdString();

    prompts.folderAnswers.push_back({drive});
    model().chooseDestinationFolder();
    ASSERT_EQ(model().step(), Step::pickOffsite);
    prompts.folderAnswers.push_back({folder("drive/Larkfold/Photos")});
    model().chooseOffsiteFolder();
    EXPECT_FALSE(model().offsite());
    EXPECT_EQ(model().warning(), QStringLiteral("The offsite folder can't be inside the destination's \"Larkfold\" folder."));
    prompts.folderAnswers.push_back({folder("elsewhere/Larkfold")});
    model().chooseOffsiteFolder();
    ASSERT_EQ(model().offsite(), c.tree.path("elsewhere/Larkfold"));

    // Back to the destination step: the new destination holds the offsite folder's "Larkfold" folder.
    model().goBack();
    model().goBack();
    prompts.folderAnswers.push_back({folder("elsewhere")});
    model().chooseDestinationFolder();
    model().advance();
    ASSERT_EQ(model().step(), Step::confirm);
    model().advance();
    EXPECT_TRUE(c.store().pairs().empty());
    EXPECT_EQ(model().warning(), QStringLiteral("The offsite folder can't be inside the destination's \"Larkfold\" folder."));
}

// The same checks as the add-a-backup sheet: nesting on canonical paths, then the alerts.
TEST_F(WelcomeModelTest, DestinationAndOffsiteAreCheckedAgainstTheSource)
{
    const fs::path photos = folder("a/Photos");
    const fs::path link = c.tree.symlink("links/toPhotos", photos);
    prompts.folderAnswers.push_back({photos});
    model().chooseSourceFolder();
    model().advance();

    prompts.folderAnswers.push_back({link / "Backup"});
    fs::create_directories(photos / "Backup");
    model().chooseDestinationFolder();
    EXPECT_EQ(model().step(), Step::pickDestination);
    EXPECT_FALSE(model().destination());
    EXPECT_EQ(model().warning(), QStringLiteral("The destination can't be inside \"Photos\"."));

    const fs::path dropbox = makeDropbox();
    prompts.folderAnswers.push_back({dropbox});
    prompts.alertAnswers = {false};
    model().chooseDestinationFolder();
    ASSERT_EQ(prompts.alerts.size(), 1u);
    EXPECT_EQ(prompts.alerts[0].message, QStringLiteral("This folder is synced with Dropbox"));
    EXPECT_FALSE(model().destination()) << "Choose Another Folder changes nothing";
    prompts.folderAnswers.push_back({dropbox});
    prompts.alertAnswers = {true};
    model().chooseDestinationFolder();
    EXPECT_EQ(model().destination(), dropbox);
    EXPECT_EQ(model().step(), Step::pickOffsite);
    EXPECT_TRUE(model().warning().isEmpty());

    ASSERT_EQ(model().cloudFolders().size(), 1u);
    prompts.folderAnswers.push_back({c.tree.root()});
    model().chooseOffsiteFolder(model().cloudFolders()[0].url);
    EXPECT_EQ(prompts.panels.back(), (FolderPanel{"Choose Offsite Folder",
                                                  "Choose or create a folder in your cloud storage", dropbox, false,
                                                  true}));
    EXPECT_EQ(model().warning(), QStringLiteral("\"Photos\" can't be inside the offsite folder."));
    EXPECT_FALSE(model().offsite());
    const fs::path offsite = folder("cloud/Offsite");
    prompts.folderAnswers.push_back({offsite});
    model().chooseOffsiteFolder();
    EXPECT_EQ(model().offsite(), offsite);
    EXPECT_EQ(model().step(), Step::confirm) << "a chosen offsite folder leads to the review";
    model().goBack();
    model().clearOffsite();
    EXPECT_FALSE(model().offsite());
}

TEST_F(WelcomeModelTest, StartingCreatesThePairAndMarksOnboardingDone)
{
    const fs::path dest = folder("dest");
    const fs::path offsite = folder("cloud/Offsite");
    c.storePair("Photos", folder("old/Photos"), dest);
    const fs::path photos = folder("new/photos");
    chooseSourceAndDestination(photos, dest);
    prompts.folderAnswers.push_back({offsite});
    model().chooseOffsiteFolder();
    QSignalSpy completed(&model(), &WelcomeModel::completed);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);

    model().advance();
    ASSERT_EQ(completed.count(), 1);

    // Read back from disk, as the next launch would.
    const ConfigStore reloaded(c.store().appSupportURL());
    EXPECT_TRUE(reloaded.appConfig().hasCompletedOnboarding);
    ASSERT_EQ(reloaded.pairs().size(), 2u);
    const BackupPair& pair = reloaded.pairs()[1];
    EXPECT_EQ(pair.name, QStringLiteral("photos 2")) << "drives that ignore case would merge the two folders";
    EXPECT_EQ(pair.sourceURL, photos);
    EXPECT_EQ(pair.destinationURL, dest);
    EXPECT_EQ(pair.offsiteURL, offsite);
    EXPECT_TRUE(pair.isEnabled);
    EXPECT_EQ(pair.profile, BackupProfile::standard);
    EXPECT_FALSE(pair.didSuggestProfile);
    EXPECT_FALSE(pair.lastBackupAt);
    EXPECT_GE(pair.createdAt, before);
    for (const auto& [bookmark, folder] : {std::pair{pair.sourceBookmark, photos}, std::pair{pair.destinationBookmark, dest},
                                           std::pair{pair.offsiteBookmark, offsite}}) {
        ASSERT_TRUE(bookmark);
        const auto resolved = c.manager().bookmarks().resolve(*bookmark);
        ASSERT_TRUE(resolved);
        EXPECT_EQ(resolved->folder, platform::canonicalPath(folder));
    }
    EXPECT_NE(c.manager().engine(pair.id), nullptr) << "handed to the coordinator, which backs it up";
    EXPECT_TRUE(c.waitForEvents(pair.id, BackupEvent::EventType::backup, 1));
}

TEST_F(WelcomeModelTest, ABookmarkThatCannotBeMadeIsLoggedAndThePairMadeWithoutIt)
{
    const fs::path offsite = folder("Offsite");
    chooseSourceAndDestination(folder("Photos"), folder("dest"));
    prompts.folderAnswers.push_back({offsite});
    model().chooseOffsiteFolder();
    fs::remove(offsite);
    LogCapture log;
    QSignalSpy completed(&model(), &WelcomeModel::completed);

    model().advance();

    EXPECT_EQ(completed.count(), 1);
    ASSERT_EQ(c.store().pairs().size(), 1u);
    const BackupPair& pair = c.store().pairs()[0];
    EXPECT_TRUE(pair.sourceBookmark);
    EXPECT_TRUE(pair.destinationBookmark);
    EXPECT_EQ(pair.offsiteURL, offsite) << "the offsite folder is kept without its bookmark";
    EXPECT_FALSE(pair.offsiteBookmark);
    EXPECT_TRUE(log.contains(QStringLiteral("Could not create offsite bookmark: "), QStringLiteral("Bookmark")));
    EXPECT_TRUE(c.store().appConfig().hasCompletedOnboarding);
}
