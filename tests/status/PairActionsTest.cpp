#include "PopoverHarness.h"

#include "platform/Bookmark.h"
#include "platform/Drives.h"
#include "shell/AppNotifications.h"
#include "status/PairActions.h"
#include "support/FakeDesktopServices.h"
#include "support/PrivateSessionBus.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

class PairActionsTest : public PopoverHarness {
protected:
    ~PairActionsTest() override
    {
        std::error_code error;
        fs::remove_all(home() / "Dropbox", error);
    }

    // "Docs" with two files over real folders, backed up once and settled.
    BackupPair storeDocs(bool isEnabled = true)
    {
        c.tree.write("docs/a.txt", "hello");
        c.tree.write("docs/sub/b.txt", std::string(1000, 'b'));
        const BackupPair pair = c.storePair(QStringLiteral("Docs"), c.tree.path("docs"), folder("dest"), isEnabled);
        start();
        settle();
        return pair;
    }

    // Chooses the menu item with that text on the pair's row.
    void choose(const QUuid& id, const QString& item)
    {
        QMenu* menu = row(id).contextMenu();
        for (QAction* action : menu->actions()) {
            if (action->text() == item) {
                ASSERT_TRUE(action->isEnabled()) << item.toStdString();
                action->trigger();
                QCoreApplication::processEvents();
                return;
            }
        }
        FAIL() << "no item " << item.toStdString();
    }

    // Chooses "Change Destination…" and waits for its panel.
    void changeDestination(const QUuid& id)
    {
        const std::size_t panels = prompts.panels.size();
        choose(id, QStringLiteral("Change Destination…"));
        ASSERT_TRUE(spinUntil([&] { return prompts.panels.size() > panels; }));
        QCoreApplication::processEvents();
    }

    static fs::path home() { return QFile::encodeName(QDir::homePath()).toStdString(); }
};

} // namespace

TEST_F(PairActionsTest, BackUpNowRunsTheEnabledPair)
{
    const BackupPair docs = storeDocs();
    const int runs = c.eventCount(docs.id, BackupEvent::EventType::backup);
    c.tree.write("docs/c.txt", "new");
    choose(docs.id, QStringLiteral("Back Up Now"));
    ASSERT_TRUE(c.waitForEvents(docs.id, BackupEvent::EventType::backup, runs + 1));
    EXPECT_TRUE(c.tree.exists("dest/Larkfold/Docs/c.txt"));
}

TEST_F(PairActionsTest, PauseAndResumeAreStored)
{
    const BackupPair docs = storeDocs();
    choose(docs.id, QStringLiteral("Pause"));
    EXPECT_FALSE(c.storedPair(docs.id).isEnabled);
    EXPECT_TRUE(engine(docs.id).status().is<BackupStatus::Paused>());
    EXPECT_EQ(row(docs.id).statusText(), QStringLiteral("Paused"));
    EXPECT_FALSE(row(docs.id).contextMenu()->actions().at(0)->isEnabled());

    const int runs = c.eventCount(docs.id, BackupEvent::EventType::backup);
    choose(docs.id, QStringLiteral("Resume"));
    EXPECT_TRUE(c.storedPair(docs.id).isEnabled);
    EXPECT_TRUE(c.waitForEvents(docs.id, BackupEvent::EventType::backup, runs + 1)) << "the engine started again";
}

TEST_F(PairActionsTest, PauseAndResumeWithoutAnEngineStillStoreThePair)
{
    start();
    const BackupPair orphan = c.makePair(QStringLiteral("Notes"), folder("notes"), folder("dest"));
    c.store().addPair(orphan);
    PairActions& actions = view().actions();
    actions.togglePause(orphan.id);
    EXPECT_FALSE(c.storedPair(orphan.id).isEnabled);
    actions.togglePause(orphan.id);
    EXPECT_TRUE(c.storedPair(orphan.id).isEnabled);
    actions.backUpNow(orphan.id); // nothing to trigger, and no harm
    EXPECT_EQ(c.manager().engine(orphan.id), nullptr);
}

TEST_F(PairActionsTest, ChangeDestinationPanelAndCancel)
{
    const BackupPair docs = storeDocs();
    QSignalSpy closing(&view(), &PopoverView::closeRequested);
    changeDestination(docs.id);
    EXPECT_EQ(closing.count(), 1);
    const FolderPanel& panel = prompts.panels.back();
    EXPECT_EQ(panel.prompt, QStringLiteral("Choose Destination"));
    EXPECT_EQ(panel.message, QStringLiteral("Choose where \"Docs\" should be backed up to"));
    EXPECT_EQ(panel.startingFolder, platform::drivesFolder());
    EXPECT_FALSE(panel.allowsMultipleSelection);
    EXPECT_TRUE(panel.canCreateDirectories);
    EXPECT_EQ(c.storedPair(docs.id).destinationURL, docs.destinationURL) << "cancelled: nothing changes";
    EXPECT_TRUE(prompts.alerts.empty());
}

TEST_F(PairActionsTest, ChangeDestinationIntoACloudFolderAsksFirst)
{
    const BackupPair docs = storeDocs();
    const fs::path dropbox = home() / "Dropbox";
    fs::create_directories(dropbox / "Backups");

    prompts.folderAnswers.push_back({dropbox / "Backups"});
    prompts.alertAnswers.push_back(false); // Choose Another Folder
    changeDestination(docs.id);
    ASSERT_EQ(prompts.alerts.size(), 1u);
    EXPECT_EQ(prompts.alerts.front().message, QStringLiteral("This folder is synced with Dropbox"));
    EXPECT_EQ(prompts.alerts.front().chooseAgainButton, QStringLiteral("Choose Another Folder"));
    EXPECT_EQ(prompts.alerts.front().continueButton, QStringLiteral("Use Anyway"));
    EXPECT_FALSE(prompts.alerts.front().informativeText.isEmpty());
    EXPECT_FALSE(prompts.alerts.front().informativeText.contains(QStringLiteral("synced with Dropbox")))
        << "the message says it once";
    EXPECT_EQ(c.storedPair(docs.id).destinationURL, docs.destinationURL);
    EXPECT_EQ(prompts.panels.size(), 1u) << "the panel is not shown again";

    prompts.folderAnswers.push_back({dropbox / "Backups"});
    prompts.alertAnswers.push_back(true); // Use Anyway
    changeDestination(docs.id);
    EXPECT_EQ(c.storedPair(docs.id).destinationURL, dropbox / "Backups");
    EXPECT_TRUE(c.storedPair(docs.id).isEnabled);
    EXPECT_NE(c.manager().engine(docs.id), nullptr);
}

TEST_F(PairActionsTest, ChangeDestinationRefusalsAreTold)
{
    const BackupPair docs = storeDocs();
    const BackupPair other = c.makePair(QStringLiteral("Docs"), folder("other docs"), folder("shared"));
    c.manager().addPair(other);
    settle();

    // Inside its own source: every run would copy the backup into itself.
    prompts.folderAnswers.push_back({folder("docs/sub/inner")});
    changeDestination(docs.id);
    ASSERT_EQ(prompts.told.size(), 1u);
    EXPECT_EQ(prompts.told.back(), QStringLiteral("The destination can't be inside \"docs\"."));
    EXPECT_EQ(c.storedPair(docs.id).destinationURL, docs.destinationURL);

    // Where another pair of the same name keeps its backup: the coordinator refuses, and says why.
    prompts.folderAnswers.push_back({c.tree.path("shared")});
    changeDestination(docs.id);
    ASSERT_EQ(prompts.told.size(), 2u);
    EXPECT_TRUE(prompts.told.back().contains(QStringLiteral("already uses the folder"))) << prompts.told.back().toStdString();
    EXPECT_EQ(c.storedPair(docs.id).destinationURL, docs.destinationURL);

    // Where no backup can work: a system folder, a stick below the free-space minimum.
    const fs::path stick = folder("stick");
    c.volumes.setVolume({stick, platform::VolumeSpace{300'000'000, 264'300'000}, 9, false});
    prompts.folderAnswers.push_back({"/usr/local/share"});
    changeDestination(docs.id);
    prompts.folderAnswers.push_back({stick});
    changeDestination(docs.id);
    ASSERT_EQ(prompts.told.size(), 4u);
    EXPECT_EQ(prompts.told[2], QStringLiteral("Destination is a protected system folder. Choose a different destination."));
    EXPECT_TRUE(prompts.told[3].contains(QStringLiteral("Larkfold keeps at least 524.3 MB free"))) << prompts.told[3].toStdString();
    EXPECT_EQ(c.storedPair(docs.id).destinationURL, docs.destinationURL);
}

TEST_F(PairActionsTest, RevealShowsTheSourceInTheFileManager)
{
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    FakeFileManager files(bus.connection(QStringLiteral("files")));
    ASSERT_TRUE(files.isRegistered());
    std::vector<QUrl> fallbacks;
    const platform::FileManager onBus([&](const QUrl& url) { fallbacks.push_back(url); },
                                      bus.connection(QStringLiteral("app")));
    fileManager = &onBus;

    // Its destination is away: the source is what the user sees.
    c.tree.write("My Docs/a.txt", "a");
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), c.tree.path("My Docs"), c.tree.path("gone/dest"));
    start();
    settle();
    ASSERT_TRUE(row(docs.id).status().is<BackupStatus::DestinationUnreachable>());
    choose(docs.id, QStringLiteral("Reveal in File Manager"));
    ASSERT_TRUE(spinUntil([&] { return !files.calls().isEmpty(); }));
    EXPECT_EQ(files.calls().front(),
              QStringLiteral("ShowFolders file://") + QString::fromLatin1(QByteArray::fromStdString(docs.sourceURL.native())
                                                                               .toPercentEncoding("/")));
    EXPECT_TRUE(fallbacks.empty());
}

TEST_F(PairActionsTest, RestoreFilesAsksForTheRestoreWindow)
{
    const BackupPair docs = storeDocs();
    QSignalSpy restore(&AppNotifications::instance(), &AppNotifications::showRestoreRequested);
    choose(docs.id, QStringLiteral("Restore Files…"));
    ASSERT_EQ(restore.count(), 1);
    EXPECT_EQ(restore.at(0).at(0).value<QUuid>(), docs.id);
}

TEST_F(PairActionsTest, RedoSmartSetupOffersTheProfileWithTheSizeOfTheFiles)
{
    // A folder of music: the recommendation is not the pair's standard profile.
    for (int index = 0; index < 12; ++index)
        c.tree.write("music/album/track" + std::to_string(index) + ".flac", std::string(5000, 'm'));
    c.tree.mkdir("music/Song.logicx");
    c.tree.mkdir("music/Freeze Files");
    BackupPair music = c.storePair(QStringLiteral("Music"), c.tree.path("music"), folder("dest"), false);
    start();
    QSignalSpy suggested(&c.manager(), &StatusManager::profileSuggested);
    QSignalSpy finished(&view().actions(), &PairActions::smartSetupFinished);

    choose(music.id, QStringLiteral("Redo Smart Setup…"));
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 1; }, 30'000));
    ASSERT_EQ(suggested.count(), 1);
    EXPECT_EQ(suggested.at(0).at(0).value<QUuid>(), music.id);
    EXPECT_EQ(suggested.at(0).at(1).toString(), QStringLiteral("Music"));
    EXPECT_EQ(suggested.at(0).at(2).value<BackupProfile>(), BackupProfile::music);
    EXPECT_EQ(suggested.at(0).at(3).toLongLong(), 12 * 5000) << "the files' bytes, not the folder's own entry";

    // A bookmark that no longer resolves: the stored path is examined.
    changePair(music.id, [](BackupPair& pair) { pair.sourceBookmark = QByteArray("not a bookmark"); });
    choose(music.id, QStringLiteral("Redo Smart Setup…"));
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 2; }, 30'000));
    ASSERT_EQ(suggested.count(), 2);
    EXPECT_EQ(suggested.at(1).at(3).toLongLong(), 12 * 5000);

    // Removed while it was examined: nothing is offered.
    view().actions().redoSmartSetup(music.id);
    c.manager().removePair(music.id);
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 3; }, 30'000));
    EXPECT_EQ(suggested.count(), 2);
}

TEST_F(PairActionsTest, RedoSmartSetupExaminesTheFolderTheBookmarkFinds)
{
    c.tree.write("old/a.txt", "aaaa");
    const fs::path moved = c.tree.write("moved/photos/b.txt", "bbbbbbbb").parent_path();
    BackupPair pair = c.storePair(QStringLiteral("Photos"), c.tree.path("old"), folder("dest"), false);
    pair.sourceBookmark = platform::systemBookmarks().create(moved);
    ASSERT_TRUE(pair.sourceBookmark);
    c.store().updatePair(pair);
    start();
    QSignalSpy suggested(&c.manager(), &StatusManager::profileSuggested);
    QSignalSpy finished(&view().actions(), &PairActions::smartSetupFinished);
    view().actions().redoSmartSetup(pair.id);
    ASSERT_TRUE(spinUntil([&] { return finished.count() == 1; }, 30'000));
    ASSERT_EQ(suggested.count(), 1);
    EXPECT_EQ(suggested.at(0).at(3).toLongLong(), 8);
}

TEST_F(PairActionsTest, RemoveAsksThenRemovesAndLeavesTheBackup)
{
    const BackupPair docs = storeDocs();
    ASSERT_TRUE(c.tree.exists("dest/Larkfold/Docs/a.txt"));

    choose(docs.id, QStringLiteral("Remove This Backup…")); // answered with Cancel
    ASSERT_EQ(prompts.confirmations.size(), 1u);
    EXPECT_EQ(prompts.confirmations.front(),
              (ConfirmAlert{QStringLiteral("Remove \"Docs\"?"),
                            QStringLiteral("This stops backing up this folder. Your existing backup files won't be "
                                           "deleted."),
                            QStringLiteral("Remove"), QStringLiteral("Cancel")}));
    EXPECT_EQ(c.store().pairs().size(), 1u);

    prompts.confirmAnswers.push_back(true);
    QSignalSpy pinned(&view(), &PopoverView::pinnedChanged);
    choose(docs.id, QStringLiteral("Remove This Backup…"));
    EXPECT_EQ(pinned.count(), 2) << "pinned while the alert was up";
    EXPECT_TRUE(c.store().pairs().empty());
    EXPECT_EQ(c.manager().engine(docs.id), nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view().rows().empty());
    EXPECT_NE(part(view(), "emptyState"), nullptr);
    EXPECT_TRUE(c.tree.exists("dest/Larkfold/Docs/a.txt")) << "nothing at the destination is deleted";
}
