#include "setup/AddBackupModel.h"

#include "SheetFixture.h"
#include "platform/Bookmark.h"
#include "platform/Drives.h"
#include "platform/Paths.h"
#include "store/ConfigStore.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"

#include <QSet>
#include <QSignalSpy>

#include <sys/mount.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Step = AddBackupModel::Step;

namespace {

class AddBackupModelTest : public SheetFixture {
protected:
    AddBackupModel& model()
    {
        if (!m_model)
            m_model = std::make_unique<AddBackupModel>(start(), prompts);
        return *m_model;
    }

    // Through the source step with `sources` from the panel.
    void chooseSources(const std::vector<fs::path>& sources)
    {
        prompts.folderAnswers.push_back(sources);
        model().chooseSourceFolders();
        ASSERT_EQ(model().step(), Step::chooseDestination);
    }

private:
    std::unique_ptr<AddBackupModel> m_model;
};

} // namespace

TEST_F(AddBackupModelTest, TheSourceStepTakesFoldersFromThePanelOrADrop)
{
    const fs::path photos = folder("a/Photos");
    const fs::path docs = folder("b/Docs");
    const fs::path notes = folder("c/Notes");
    const fs::path file = c.tree.write("a/file.txt", "x");
    const fs::path link = c.tree.symlink("links/toDocs", docs);
    QSignalSpy cancelled(&model(), &AddBackupModel::cancelled);
    EXPECT_EQ(model().step(), Step::chooseSource);

    model().chooseSourceFolders(); // cancelled
    ASSERT_EQ(prompts.panels.size(), 1u);
    EXPECT_EQ(prompts.panels[0], (FolderPanel{"Choose Source", "Choose one or more folders to back up",
                                              platform::homeFolder(), true, false}));
    prompts.folderAnswers.push_back({file});
    model().chooseSourceFolders();
    EXPECT_EQ(model().step(), Step::chooseSource) << "a file is no folder";
    EXPECT_TRUE(model().sourceURLs().empty());

    // Folders are told by the file system, not by a trailing "/"; the same folder counts once.
    prompts.folderAnswers.push_back({photos, file, docs.string() + "/", link, photos / "."});
    model().chooseSourceFolders();
    EXPECT_EQ(model().step(), Step::chooseDestination);
    EXPECT_EQ(model().sourceURLs(), (std::vector<fs::path>{photos, docs, link}));

    model().goBack();
    EXPECT_EQ(model().step(), Step::chooseSource);
    EXPECT_EQ(model().sourceURLs().size(), 3u) << "kept until a new choice replaces it";

    EXPECT_FALSE(model().handleDrop({}));
    EXPECT_TRUE(model().handleDrop(fileUrls({file})));
    EXPECT_TRUE(model().handleDrop({QUrl(QStringLiteral("https://example.com/Photos/"))}));
    EXPECT_EQ(model().step(), Step::chooseSource) << "a drop without a folder changes nothing";
    EXPECT_EQ(model().sourceURLs().size(), 3u);

    EXPECT_TRUE(model().handleDrop(fileUrls({file, notes})));
    EXPECT_EQ(model().step(), Step::chooseDestination);
    EXPECT_EQ(model().sourceURLs(), std::vector<fs::path>{notes}) << "a new choice replaces the list";
    EXPECT_FALSE(model().handleDrop(fileUrls({photos}))) << "only the source step takes drops";

    model().goBack();
    EXPECT_EQ(cancelled.count(), 0);
    model().goBack();
    EXPECT_EQ(cancelled.count(), 1) << "Cancel on the first step";
}

TEST_F(AddBackupModelTest, ADestinationNestedWithASourceIsRefusedInTheStep)
{
    const fs::path photos = folder("a/Photos");
    const fs::path inside = folder("a/Photos/Backup");
    const fs::path drive = folder("drive");
    chooseSources({folder("b/Docs"), photos});

    model().chooseDestinationFolder();
    ASSERT_EQ(prompts.panels.size(), 2u);
    EXPECT_EQ(prompts.panels[1], (FolderPanel{"Choose Destination", "Choose or create a folder for your backups",
                                              platform::drivesFolder(), false, true}));
    EXPECT_EQ(model().step(), Step::chooseDestination) << "a cancelled panel changes nothing";
    EXPECT_FALSE(model().destinationURL());

    prompts.folderAnswers.push_back({inside});
    model().chooseDestinationFolder(kDriveMountPoint);
    EXPECT_EQ(prompts.panels[2].startingFolder, fs::path(kDriveMountPoint));
    EXPECT_EQ(model().step(), Step::chooseDestination);
    EXPECT_EQ(model().destinationURL(), inside);
    EXPECT_TRUE(model().isChosenDestination(inside / "."));
    EXPECT_EQ(model().validationWarning(), QStringLiteral("The destination can't be inside \"Photos\"."));

    model().selectDestination(c.tree.root());
    EXPECT_EQ(model().validationWarning(), QStringLiteral("\"Docs\" can't be inside the destination."))
        << "the first nested source in the list decides";

    model().selectDestination(drive);
    EXPECT_EQ(model().step(), Step::chooseOffsite);
    EXPECT_FALSE(model().validationWarning());
    EXPECT_TRUE(prompts.alerts.empty());

    model().goBack();
    EXPECT_EQ(model().step(), Step::chooseDestination);
    EXPECT_EQ(model().destinationURL(), drive) << "still chosen when coming back";
    model().goBack();
    EXPECT_EQ(model().step(), Step::chooseSource);
    EXPECT_FALSE(model().destinationURL());
}

TEST_F(AddBackupModelTest, ACloudFolderAsDestinationIsTakenOnlyWithUseAnyway)
{
    const fs::path dropbox = makeDropbox();
    const fs::path photos = folder("Photos");
    fs::create_directories(dropbox / "Backups");
    chooseSources({photos, dropbox / "Backups"});

    prompts.alertAnswers = {false};
    model().selectDestination(dropbox / "Backups" / "..");
    ASSERT_EQ(prompts.alerts.size(), 1u);
    EXPECT_EQ(prompts.alerts[0].message, QStringLiteral("This folder is synced with Dropbox"));
    EXPECT_EQ(prompts.alerts[0].chooseAgainButton, QStringLiteral("Choose Another Folder"));
    EXPECT_EQ(prompts.alerts[0].continueButton, QStringLiteral("Use Anyway"));
    EXPECT_EQ(model().step(), Step::chooseDestination);
    EXPECT_FALSE(model().destinationURL()) << "Choose Another Folder changes nothing";
    EXPECT_EQ(prompts.panels.size(), 1u) << "and opens no panel";

    // "Use Anyway" still runs the nesting check.
    prompts.alertAnswers = {true};
    model().selectDestination(dropbox);
    EXPECT_EQ(model().validationWarning(), QStringLiteral("\"Backups\" can't be inside the destination."));
    EXPECT_EQ(model().step(), Step::chooseDestination);

    prompts.alertAnswers = {true};
    const fs::path cloudBackups = dropbox / "Larkfold Backups";
    fs::create_directories(cloudBackups);
    model().selectDestination(cloudBackups);
    EXPECT_EQ(model().step(), Step::chooseOffsite);
    EXPECT_EQ(prompts.alerts.size(), 3u);
}

TEST_F(AddBackupModelTest, EarlierDestinationsAreTheOtherPairsOnesEachOnceButNotAVolumesOwnFolder)
{
    const fs::path dest = folder("dest");
    const fs::path other = folder("other");
    c.storePair("One", folder("s1"), dest);
    c.storePair("Two", folder("s2"), dest.string() + "/");
    c.storePair("Three", folder("s3"), dest / "sub" / "..");
    c.storePair("Four", folder("s4"), kDriveMountPoint);
    c.storePair("Five", folder("s5"), fs::path(kDriveMountPoint) / "Backups");
    c.storePair("Six", folder("s6"), other);
    QSignalSpy choices(&model(), &AddBackupModel::destinationChoicesChanged);

    EXPECT_EQ(model().earlierDestinations(),
              (std::vector<fs::path>{dest, fs::path(kDriveMountPoint) / "Backups", other}));
    std::vector<fs::path> volumes;
    for (const auto& volume : model().mountedVolumes())
        volumes.push_back(volume.id);
    EXPECT_EQ(volumes, (std::vector<fs::path>{kDriveMountPoint, kShareMountPoint}));

    c.manager().removePair(c.store().pairs().back().id);
    EXPECT_GE(choices.count(), 1) << "the list is drawn again when the pairs change";
    EXPECT_EQ(model().earlierDestinations().size(), 2u);
}

// A folder named in bytes that are not UTF-8 (a Latin-1 "café"): its drop URL carries the bytes.
TEST_F(AddBackupModelTest, AFolderWhoseNameIsNotTextIsTakenAsItsBytes)
{
    const fs::path cafe = folder(std::string("caf\xe9"));
    const QUrl url = QUrl::fromEncoded(QByteArray("file://") + QByteArray::fromStdString(c.tree.root().native())
                                       + "/caf%E9");
    ASSERT_TRUE(model().handleDrop({url}));
    ASSERT_EQ(model().step(), Step::chooseDestination);
    EXPECT_EQ(model().sourceURLs(), std::vector<fs::path>{cafe});
    EXPECT_EQ(AddBackupModel::folderName(cafe), QStringLiteral("caf\\xE9"));
}

TEST_F(AddBackupModelTest, ADestinationNoBackupCanWorkInIsRefusedInTheStep)
{
    const fs::path small = folder("small stick");
    c.volumes.setVolume({small, platform::VolumeSpace{300'000'000, 264'300'000}, 9, false});
    chooseSources({folder("Photos")});

    model().selectDestination("/usr/local/share");
    EXPECT_EQ(model().step(), Step::chooseDestination);
    EXPECT_EQ(model().validationWarning(),
              QStringLiteral("Destination is a protected system folder. Choose a different destination."));

    model().selectDestination(small);
    EXPECT_EQ(model().step(), Step::chooseDestination);
    ASSERT_TRUE(model().validationWarning());
    EXPECT_TRUE(model().validationWarning()->contains("Larkfold keeps at least 524.3 MB free on it."))
        << model().validationWarning()->toStdString();
    EXPECT_TRUE(model().validationWarning()->contains("Only 264.3 MB left."));

    model().selectDestination(folder("drive"));
    EXPECT_EQ(model().step(), Step::chooseOffsite);
    EXPECT_FALSE(model().validationWarning());
}

TEST_F(AddBackupModelTest, AnOffsiteFolderInTheDestinationsLarkfoldFolderIsRefused)
{
    const fs::path drive = folder("drive");
    chooseSources({folder("Photos")});
    model().selectDestination(drive);
    ASSERT_EQ(model().step(), Step::chooseOffsite);

    model().chooseOffsiteFolder();
    EXPECT_EQ(prompts.panels.back().startingFolder, platform::homeFolder()) << "cloud folders live there";
    for (const fs::path& offsite : {drive, folder("drive/Larkfold/Photos")}) {
        model().selectOffsite(offsite);
        EXPECT_EQ(model().step(), Step::chooseOffsite) << offsite;
        EXPECT_TRUE(model().offsiteWarning()) << offsite;
        EXPECT_FALSE(model().offsiteURL());
    }
    model().selectOffsite(folder("drive/Offsite"));
    EXPECT_EQ(model().step(), Step::confirm);
}

TEST_F(AddBackupModelTest, TheOffsiteStepListsCloudFoldersAndRefusesOneNestedWithASource)
{
    const fs::path dropbox = makeDropbox();
    const fs::path photos = folder("Photos");
    chooseSources({photos});
    model().selectDestination(folder("dest"));
    ASSERT_EQ(model().step(), Step::chooseOffsite);
    ASSERT_EQ(model().cloudFolders().size(), 1u);
    EXPECT_EQ(model().cloudFolders()[0].provider, CloudSyncDetector::Provider::dropbox);

    model().chooseOffsiteFolder(model().cloudFolders()[0].url);
    EXPECT_EQ(prompts.panels.back(), (FolderPanel{"Choose Offsite Folder",
                                                  "Choose or create a folder in your cloud storage",
                                                  model().cloudFolders()[0].url, false, true}));
    EXPECT_EQ(model().step(), Step::chooseOffsite) << "a cancelled panel changes nothing";

    prompts.folderAnswers.push_back({folder("Photos/Offsite")});
    model().chooseOffsiteFolder();
    EXPECT_EQ(model().offsiteWarning(), QStringLiteral("The offsite folder can't be inside \"Photos\"."));
    EXPECT_FALSE(model().offsiteURL());
    EXPECT_EQ(model().step(), Step::chooseOffsite);

    model().selectOffsite(dropbox);
    EXPECT_EQ(model().step(), Step::confirm);
    EXPECT_EQ(model().offsiteURL(), dropbox);
    EXPECT_FALSE(model().offsiteWarning());
    EXPECT_TRUE(prompts.alerts.empty()) << "a cloud folder is what the offsite copy is for";

    model().goBack();
    EXPECT_EQ(model().step(), Step::chooseOffsite);
    EXPECT_EQ(model().offsiteURL(), dropbox) << "Back from the confirmation keeps it";
    EXPECT_TRUE(model().isChosenOffsite(dropbox));
    model().skipOffsite();
    EXPECT_EQ(model().step(), Step::confirm);
    EXPECT_FALSE(model().offsiteURL()) << "skipping clears it";

    model().goBack();
    model().selectOffsite(dropbox);
    model().goBack();
    model().goBack();
    EXPECT_EQ(model().step(), Step::chooseDestination);
    EXPECT_FALSE(model().offsiteURL()) << "Back from the offsite step clears it";
}

TEST_F(AddBackupModelTest, AddingCreatesOnePairPerSourceWithBookmarksAndUniqueNames)
{
    const fs::path dest = folder("dest");
    const fs::path offsite = folder("cloud/Offsite");
    c.storePair("Photos", folder("old/Photos"), dest);
    const std::vector<fs::path> sources = {folder("x/Photos"), folder("y/photos"), folder("z/..Docs"),
                                           folder("w/Music")};
    chooseSources(sources);
    model().selectDestination(dest);
    model().selectOffsite(offsite);
    ASSERT_EQ(model().step(), Step::confirm);
    QSignalSpy finished(&model(), &AddBackupModel::finished);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);

    model().addBackups();
    model().addBackups(); // a second Return while the sheet closes
    EXPECT_EQ(finished.count(), 1);

    // Read back from disk, as the next launch would.
    const ConfigStore reloaded(c.store().appSupportURL());
    const auto& pairs = reloaded.pairs();
    ASSERT_EQ(pairs.size(), 5u);
    const std::vector<QString> names = {"Photos 2", "photos 3", "Docs", "Music"};
    const platform::Bookmarks& bookmarks = c.manager().bookmarks();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const BackupPair& pair = pairs[i + 1];
        SCOPED_TRACE(pair.name.toStdString());
        EXPECT_EQ(pair.name, names[i]);
        EXPECT_EQ(pair.sourceURL, sources[i]);
        EXPECT_EQ(pair.destinationURL, dest);
        EXPECT_EQ(pair.offsiteURL, offsite);
        EXPECT_TRUE(pair.isEnabled);
        EXPECT_EQ(pair.profile, BackupProfile::standard);
        EXPECT_FALSE(pair.didSuggestProfile);
        EXPECT_FALSE(pair.lastBackupAt);
        EXPECT_GE(pair.createdAt, before);
        for (const auto& [bookmark, folder] : {std::pair{pair.sourceBookmark, sources[i]},
                                               std::pair{pair.destinationBookmark, dest},
                                               std::pair{pair.offsiteBookmark, offsite}}) {
            ASSERT_TRUE(bookmark);
            const auto resolved = bookmarks.resolve(*bookmark);
            ASSERT_TRUE(resolved);
            EXPECT_EQ(resolved->folder, platform::canonicalPath(folder));
        }
        EXPECT_NE(c.manager().engine(pair.id), nullptr) << "handed to the coordinator";
    }
    EXPECT_EQ(QSet<QUuid>({pairs[1].id, pairs[2].id, pairs[3].id, pairs[4].id}).size(), 4);
}

TEST_F(AddBackupModelTest, APairWhoseBookmarkCannotBeMadeIsAddedWithoutIt)
{
    const fs::path dest = folder("Vault");
    chooseSources({folder("Photos"), folder("Docs")});
    model().selectDestination(dest);
    model().skipOffsite();
    fs::remove(dest); // gone before the pairs are made
    LogCapture log;

    model().addBackups();

    const auto& pairs = c.store().pairs();
    ASSERT_EQ(pairs.size(), 2u);
    for (const BackupPair& pair : pairs) {
        EXPECT_TRUE(pair.sourceBookmark);
        EXPECT_FALSE(pair.destinationBookmark);
        EXPECT_FALSE(pair.offsiteURL);
        EXPECT_FALSE(pair.offsiteBookmark);
    }
    EXPECT_EQ(log.count(QStringLiteral("Could not create destination bookmark for <private>: "),
                        QStringLiteral("Bookmark")),
              2);
    EXPECT_FALSE(log.contains(QStringLiteral("Vault"), QStringLiteral("Bookmark"))) << "the folder's name is private";
}

TEST(AddBackupModelTexts, StepsAndCounts)
{
    const std::pair<Step, std::pair<const char*, const char*>> steps[] = {
        {Step::chooseSource, {"Add Backup", "Cancel"}},
        {Step::chooseDestination, {"Choose Destination", "Back"}},
        {Step::chooseOffsite, {"Offsite Copy", "Back"}},
        {Step::confirm, {"Confirm", "Back"}},
    };
    for (const auto& [step, texts] : steps) {
        EXPECT_EQ(AddBackupModel::title(step), QString::fromUtf8(texts.first));
        EXPECT_EQ(AddBackupModel::backButtonLabel(step), QString::fromUtf8(texts.second));
    }
    EXPECT_EQ(AddBackupModel::summarySentence(1),
              QStringLiteral("Larkfold will copy new and changed files automatically."));
    EXPECT_EQ(AddBackupModel::summarySentence(3), QStringLiteral("Larkfold will back up 3 folders automatically."));
    EXPECT_EQ(AddBackupModel::addButtonLabel(1), QStringLiteral("Add This Backup"));
    EXPECT_EQ(AddBackupModel::addButtonLabel(12), QStringLiteral("Add 12 Backups"));
    EXPECT_EQ(AddBackupModel::offsiteLine("/home/sam/Dropbox/Offsite/"), QStringLiteral("Offsite copy: Offsite"));
    EXPECT_EQ(AddBackupModel::folderName(fs::path("/a/Caf\xC3\xA9\xFF")), QStringLiteral("Café\\xFF"));
}

// A real tmpfs over /mnt in a private namespace stands for the system disk's folder there: a
// drive's empty mount-point folder below it is on the computer's own disk.
TEST_F(AddBackupModelTest, AFolderWhereADriveIsMissingIsTakenOnlyWithUseAnyway)
{
    const fs::path photos = folder("Photos");
    const auto outcome = runInPrivateMountNamespace([&] {
        if (::mount("tmpfs", "/mnt", "tmpfs", 0, "size=1m") != 0)
            return std::string("skip");
        fs::create_directories("/mnt/usb/Backups");
        fs::create_directories("/mnt/usb/Offsite");
        std::string steps;
        const auto note = [&] { steps += std::to_string(int(model().step())); };
        chooseSources({photos});
        prompts.alertAnswers = {false, true};
        model().selectDestination("/mnt/usb/Backups");
        note();
        model().selectDestination("/mnt/usb/Backups");
        note();
        prompts.alertAnswers = {false, true};
        model().selectOffsite("/mnt/usb/Offsite");
        note();
        model().selectOffsite("/mnt/usb/Offsite");
        note();
        for (const FolderAlert& alert : prompts.alerts)
            steps += alert.message == "This folder is on the computer's own disk, not on a drive." ? "a" : "?";
        return steps;
    });
    if (!outcome || *outcome == "skip")
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(*outcome, "1223aaaa");
}
