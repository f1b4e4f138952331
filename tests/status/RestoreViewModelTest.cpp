#include "status/RestoreViewModel.h"

#include "engine/BackupEngine.h"
#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/MountSource.h"
#include "platform/UtilityTask.h"
#include "status/RestoreFileFilter.h"
#include "status/RestoreFileListModel.h"
#include "status/RestoreFixture.h"
#include "status/RestoreScan.h"
#include "support/EventLoop.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <latch>
#include <sys/stat.h>

using namespace larkfold;
using larkfold::test::RestoreFixture;
using larkfold::test::spinUntil;
namespace fs = std::filesystem;

namespace {

using Paths = std::vector<std::string>;

class RestoreViewModelTest : public RestoreFixture {
protected:
    std::unique_ptr<RestoreViewModel> loadedModel(RestoreViewModel::Environment env)
    {
        auto model = std::make_unique<RestoreViewModel>(pair, std::move(env));
        EXPECT_TRUE(model->isLoading());
        model->loadFiles();
        waitForFiles(*model);
        return model;
    }
    std::unique_ptr<RestoreViewModel> loadedModel() { return loadedModel(environment()); }

    // Ticks the shown rows with these paths.
    static void tick(RestoreViewModel& model, const Paths& paths)
    {
        auto* rows = model.filteredFiles();
        for (int row = 0; row < rows->rowCount(); ++row) {
            const QModelIndex index = rows->index(row, 0);
            if (std::find(paths.begin(), paths.end(), index.data(Qt::ToolTipRole).toString().toStdString()) != paths.end())
                rows->setData(index, Qt::Checked, Qt::CheckStateRole);
        }
    }

    static Paths selectedPaths(const RestoreViewModel& model)
    {
        Paths paths;
        for (const auto& item : model.selectedItems())
            paths.push_back(item.relativePath);
        return paths;
    }
};

TEST_F(RestoreViewModelTest, TheBackupFolderIsWhereTheBackupsWriteIt)
{
    struct Case {
        fs::path destination;
        QString name;
        fs::path folder;
    } const cases[] = {
        {"/media/disk", QStringLiteral("Photos"), "/media/disk/Larkfold/Photos"},
        {"/media/disk/Larkfold", QStringLiteral("Photos"), "/media/disk/Larkfold/Photos"},
        {"/media/disk/larkfold", QStringLiteral("Photos"), "/media/disk/larkfold/Larkfold/Photos"},
        {"/media/disk", QStringLiteral("../../etc/x"), "/media/disk/Larkfold/etcx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination.string() + " " + c.name.toStdString());
        BackupPair other = pair;
        other.destinationURL = c.destination;
        other.name = c.name;
        const RestoreViewModel model(other, environment());
        EXPECT_EQ(model.backupFolder(), c.folder);
        EXPECT_EQ(model.backupFolder(), BackupEngine::backupFolder(c.destination, c.name));
    }
}

TEST_F(RestoreViewModelTest, ABackupFolderThatIsALinkIsRefusedWithTheBackupRunsWords)
{
    tree.write("home/.ssh/id_rsa", "the user's key");
    tree.write("other/Documents/id_rsa", "the user's key");
    const QString refusal =
        QStringLiteral("Destination path is a symbolic link — refusing to write to prevent data redirection.");
    struct Case {
        const char* name;
        const char* destination;
        const char* link; // made at this path below the tree, to `target`
        const char* target;
        Paths shown;
        bool refused;
    } const cases[] = {
        {"the pair's folder", "d1", "d1/Larkfold/Documents", "home/.ssh", {}, true},
        {"the Larkfold folder", "d2", "d2/Larkfold", "other", {}, true},
        // Chosen so by the user, as the backups accept it.
        {"the chosen folder", "d3/Larkfold", "d3/Larkfold", "other", {"id_rsa"}, false},
        {"nothing there", "d4", nullptr, nullptr, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pair.destinationURL = tree.path(c.destination);
        if (c.link) {
            tree.mkdir(fs::path(c.link).parent_path());
            tree.symlink(c.link, tree.path(c.target));
        }
        const auto model = loadedModel();
        EXPECT_EQ(shownPaths(*model), c.shown);
        EXPECT_EQ(model->backupFolderRefusal(), c.refused ? std::optional(refusal) : std::nullopt);
    }
}

TEST_F(RestoreViewModelTest, FiltersTicksAndCounts)
{
    for (const char* path : {"photo.jpg", "Photos/2024/a.png", "Photos/2024/b.png", "Notes/my notes.txt", "File10.txt",
                             "File2.txt", ".larkfold-hashes.json"})
        backUp(path);
    const auto model = loadedModel();
    EXPECT_EQ(shownPaths(*model),
              (Paths{"File2.txt", "File10.txt", "Notes/my notes.txt", "photo.jpg", "Photos/2024/a.png", "Photos/2024/b.png"}));
    EXPECT_EQ(model->filteredCountText(), QStringLiteral("6 files"));
    EXPECT_EQ(model->selectedCountText(), QStringLiteral("0 selected"));
    EXPECT_FALSE(model->canRestore());
    EXPECT_EQ(model->restoreToTooltip(), QStringLiteral("Select files to restore"));
    EXPECT_EQ(model->restoreToOriginalTooltip(), QStringLiteral("Select files to restore"));

    struct Search {
        const char* text;
        Paths shown;
    } const searches[] = {
        {"JPG", {"photo.jpg"}},
        {"2024/", {"Photos/2024/a.png", "Photos/2024/b.png"}},
        {" ", {"Notes/my notes.txt"}},
        {"notes", {"Notes/my notes.txt"}}, // the folder's name counts too
        {"", {"File2.txt", "File10.txt", "Notes/my notes.txt", "photo.jpg", "Photos/2024/a.png", "Photos/2024/b.png"}},
    };
    for (const auto& search : searches) {
        SCOPED_TRACE(search.text);
        model->setSearchText(QString::fromUtf8(search.text));
        EXPECT_EQ(shownPaths(*model), search.shown);
    }

    // "Select All" over a filter ticks what the filter shows and nothing else; cleared, it clears
    // what is shown and leaves hidden ticks alone.
    enum class Act { tick, selectAll, clearAll, none };
    struct Step {
        const char* filter;
        Act act;
        Paths tickPaths;
        Paths selected;
        bool allShownTicked;
    } const steps[] = {
        {"", Act::tick, {"photo.jpg"}, {"photo.jpg"}, false},
        {"2024/", Act::selectAll, {}, {"Photos/2024/a.png", "Photos/2024/b.png"}, true},
        {"", Act::none, {}, {"Photos/2024/a.png", "Photos/2024/b.png"}, false},
        {"", Act::tick, {"photo.jpg"}, {"photo.jpg", "Photos/2024/a.png", "Photos/2024/b.png"}, false},
        {"2024/", Act::clearAll, {}, {"photo.jpg"}, false},
        {"JPG", Act::selectAll, {}, {"photo.jpg"}, true},
        {"nothing like it", Act::selectAll, {}, {"photo.jpg"}, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.filter) + " / " + std::to_string(int(step.act)));
        model->setSearchText(QString::fromUtf8(step.filter));
        if (step.act == Act::tick)
            tick(*model, step.tickPaths);
        else if (step.act != Act::none)
            model->setAllFilteredSelected(step.act == Act::selectAll);
        EXPECT_EQ(selectedPaths(*model), step.selected);
        EXPECT_EQ(model->selectedCountText(), QStringLiteral("%1 selected").arg(step.selected.size()));
        EXPECT_EQ(model->allFilteredSelected(), step.allShownTicked);
    }
    EXPECT_EQ(model->filteredCountText(), QStringLiteral("0 files"));
    EXPECT_TRUE(model->canRestore());
    EXPECT_EQ(model->restoreToTooltip(), QStringLiteral("Restore selected files to a custom location"));
    EXPECT_EQ(model->restoreToOriginalTooltip(), QStringLiteral("Restore selected files to their original location"));
}

TEST_F(RestoreViewModelTest, TheTrashListsDeletedFilesNewestDayFirst)
{
    const fs::path trash = tree.path("destination/.Larkfold-Trash");
    for (const char* path : {"2026-03-09/Letters/letters-3", "2026-03-09/b.txt", "2026-03-10/a.txt", "2026-03-10/.hidden",
                             "2026-02-30/not-a-day.txt", "notes/not-a-day.txt", "loose.txt", "2025-12-31/File10.txt",
                             "2025-12-31/File2.txt"})
        tree.write(trash / path, "x");
    tree.write("home/secret.txt", "the user's");
    tree.symlink(trash / "2026-03-11", tree.path("home")); // a link at a day's name is not followed
    tree.symlink(trash / "2026-03-10/linked.txt", tree.path("home/secret.txt"));
    const auto model = loadedModel();

    model->setCurrentList(RestoreList::trash);
    const auto shown = [&] {
        Paths rows;
        const auto* list = model->currentFilteredFiles();
        for (int row = 0; row < list->rowCount(); ++row)
            rows.push_back(list->index(row, 0).data(RestoreFileListModel::DayRole).toString().toStdString() + " "
                           + list->index(row, 0).data(RestoreFileListModel::PathRole).toString().toStdString());
        return rows;
    };
    EXPECT_EQ(shown(), (Paths{"10 Mar 2026 a.txt", "9 Mar 2026 b.txt", "9 Mar 2026 Letters/letters-3",
                              "31 Dec 2025 File2.txt", "31 Dec 2025 File10.txt"}));
    EXPECT_EQ(model->listTitle(RestoreList::trash), QStringLiteral("Deleted (5)"));
    EXPECT_EQ(model->listTitle(RestoreList::backup), QStringLiteral("In Backup (0)"));
    model->setSearchText(QStringLiteral("letters-3"));
    EXPECT_EQ(shown(), (Paths{"9 Mar 2026 Letters/letters-3"}));
    model->setAllFilteredSelected(true);
    EXPECT_EQ(model->selectedCountText(), QStringLiteral("1 selected"));
    model->setCurrentList(RestoreList::backup);
    EXPECT_EQ(model->selectedCount(), 0) << "each list keeps its own ticks";
    model->setCurrentList(RestoreList::trash);
    model->openInFileManager();
    EXPECT_EQ(prompts.openedFolders, (std::vector<fs::path>{trash}));

    const struct {
        QStringList sharers;
        std::optional<QString> text;
    } shared[] = {
        {{}, std::nullopt},
        {{QStringLiteral("Work")},
         QStringLiteral("Work backs up to the same place, so files deleted from it are listed here too.")},
        {{QStringLiteral("Work"), QStringLiteral("Photos"), QStringLiteral("Music")},
         QStringLiteral("Work, Photos and Music back up to the same place, so files deleted from them are listed here too.")},
    };
    for (const auto& c : shared) {
        SCOPED_TRACE(c.sharers.join(u' ').toStdString());
        model->setTrashSharedWith(c.sharers);
        EXPECT_EQ(model->trashSharedText(), c.text);
    }
}

TEST_F(RestoreViewModelTest, RestoresFromTheTrashToTheOriginalPlaceAndToAChosenFolder)
{
    const fs::path trash = tree.path("destination/.Larkfold-Trash");
    tree.write(trash / "2026-03-09/Letters/letters-3", "dear landlord");
    tree.write(trash / "2026-03-09/b.txt", "b");
    const auto model = loadedModel();
    model->setCurrentList(RestoreList::trash);
    model->setSearchText(QStringLiteral("letters"));
    model->setAllFilteredSelected(true);

    model->restoreToOriginal();
    waitForRestore(*model);
    EXPECT_EQ(model->restoreMessage(), QStringLiteral("1 file restored successfully."));
    EXPECT_EQ(tree.read("source/Letters/letters-3"), "dear landlord");
    EXPECT_FALSE(fs::exists(trash / "2026-03-09/Letters/letters-3"));
    ASSERT_TRUE(spinUntil([&] { return model->trashFiles()->rowCount() == 1; }, 60'000)) << "listed again";

    model->setSearchText({});
    model->setAllFilteredSelected(true);
    prompts.answers.push_back(tree.mkdir("chosen"));
    model->chooseRestoreLocation();
    waitForRestore(*model);
    EXPECT_EQ(tree.read("chosen/b.txt"), "b");
    ASSERT_TRUE(spinUntil([&] { return model->trashFiles()->rowCount() == 0; }, 60'000));
}

TEST_F(RestoreViewModelTest, ARunThatEndsWhileTheWindowIsOpenListsTheBackupAgain)
{
    backUp("letters-1.txt", std::string(2000, 'x'));
    backUp("letters-2.txt", "b");
    BackupEngine engine(pair.id);
    const auto model = loadedModel();
    model->followRuns(engine);
    model->setAllFilteredSelected(true);
    int scans = 0;
    QObject::connect(model->files(), &QAbstractItemModel::modelReset, [&] { ++scans; });

    // The run writes a new version of one file and sets another aside.
    backUp("letters-1.txt", std::string(23, 'x'));
    fs::remove(backupFolder() / "letters-2.txt");
    tree.write("destination/.Larkfold-Trash/2026-03-09/letters-2.txt", "b");
    backUp("letters-3.txt", "c");
    engine.setStatus(BackupStatus::syncing(0.5, QStringLiteral("letters-1.txt")));
    larkfold::test::spinFor(50);
    EXPECT_EQ(scans, 0) << "not while the run goes on";
    engine.setStatus(BackupStatus::completed(2, 1.0));
    ASSERT_TRUE(spinUntil([&] { return scans == 1; }, 60'000));
    EXPECT_EQ(shownPaths(*model), (Paths{"letters-1.txt", "letters-3.txt"}));
    EXPECT_EQ(model->filteredFiles()->index(0, 0).data(RestoreFileListModel::SizeTextRole).toString(),
              QStringLiteral("23 bytes"));
    EXPECT_EQ(model->trashFiles()->rowCount(), 1);
    EXPECT_EQ(selectedPaths(*model), (Paths{"letters-1.txt"})) << "ticks stay on the files still there";
    engine.setStatus(BackupStatus::idle());
    larkfold::test::spinFor(50);
    EXPECT_EQ(scans, 1);
}

TEST_F(RestoreViewModelTest, RowsShowNameSizeAndSymbol)
{
    backUp("Photos/IMG_0001.jpg", std::string(1500, 'x'));
    backUp("empty.txt", "");
    const auto model = loadedModel();
    const auto* rows = model->filteredFiles();
    ASSERT_EQ(rows->rowCount(), 2);
    const QModelIndex empty = rows->index(0, 0);
    const QModelIndex photo = rows->index(1, 0);
    EXPECT_EQ(photo.data(Qt::DisplayRole).toString(), QStringLiteral("IMG_0001.jpg"));
    EXPECT_EQ(photo.data(RestoreFileListModel::PathRole).toString(), QStringLiteral("Photos/IMG_0001.jpg"));
    EXPECT_EQ(photo.data(RestoreFileListModel::SizeTextRole).toString(), QStringLiteral("2 KB"));
    EXPECT_EQ(photo.data(RestoreFileListModel::IconNameRole).toString(), QStringLiteral("photo"));
    EXPECT_TRUE(empty.data(RestoreFileListModel::SizeTextRole).toString().isEmpty());
}

TEST_F(RestoreViewModelTest, AMissingBackupIsAnEmptyList)
{
    pair.destinationURL = tree.path("unplugged");
    const auto model = loadedModel();
    EXPECT_EQ(model->files()->rowCount(), 0);
    model->openInFileManager();
    EXPECT_EQ(prompts.openedFolders, (std::vector<fs::path>{tree.path("unplugged/Larkfold/Documents")}));
}

TEST_F(RestoreViewModelTest, RestoresToTheOriginalFolderAndToAChosenOne)
{
    backUp("Photos/2024/a.jpg", "a");
    backUp("b.txt", "b");
    backUp("c.txt", "c");
    const auto model = loadedModel();
    model->setAllFilteredSelected(true);
    std::vector<bool> busyStates;
    QObject::connect(model.get(), &RestoreViewModel::restoreInProgressChanged, [&] {
        busyStates.push_back(model->restoreInProgress());
        if (model->restoreInProgress()) {
            EXPECT_FALSE(model->canRestore());
            EXPECT_FALSE(model->restoreMessage().has_value());
        }
    });

    // The user deleted the source folder: it is made again.
    fs::remove_all(pair.sourceURL);
    model->restoreToOriginal();
    waitForRestore(*model);
    EXPECT_EQ(busyStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(model->restoreMessage(), QStringLiteral("3 files restored successfully."));
    EXPECT_FALSE(model->restoreMessageIsError());
    EXPECT_EQ(tree.read("source/Photos/2024/a.jpg"), "a");
    EXPECT_EQ(model->selectedCount(), 3); // the ticks stay
    EXPECT_TRUE(model->canRestore());

    // "Restore to…": the panel is cancelled, then a folder is chosen.
    model->chooseRestoreLocation();
    EXPECT_EQ(model->restoreMessage(), QStringLiteral("3 files restored successfully."));
    ASSERT_EQ(prompts.panels.size(), 1u);
    EXPECT_EQ(prompts.panels[0].acceptLabel, QStringLiteral("Restore Here"));
    EXPECT_EQ(prompts.panels[0].message, QStringLiteral("Choose where to restore the selected files"));
    model->setAllFilteredSelected(false);
    tick(*model, {"Photos/2024/a.jpg"});
    prompts.answers.push_back(tree.mkdir("chosen"));
    model->chooseRestoreLocation();
    waitForRestore(*model);
    EXPECT_EQ(model->restoreMessage(), QStringLiteral("1 file restored successfully."));
    EXPECT_EQ(tree.read("chosen/Photos/2024/a.jpg"), "a");

    // Restored again over the first copies, with one file gone from the backup since the scan.
    tree.write("source/b.txt", "changed by the user");
    model->setAllFilteredSelected(true);
    fs::remove(backupFolder() / "c.txt");
    model->restoreToOriginal();
    waitForRestore(*model);
    EXPECT_EQ(model->restoreMessage(),
              QStringLiteral("Error: Restored 2 files. 1 file failed.\nc.txt: It is no longer in the backup."));
    EXPECT_TRUE(model->restoreMessageIsError());
    EXPECT_EQ(tree.read("source/b.txt"), "b");
}

TEST_F(RestoreViewModelTest, RestoreToOriginalRefusesWhileTheSourceDriveIsAway)
{
    backUp("a.txt", "a");
    // The source lived on a drive mounted at "drive"; the drive is not there now.
    const fs::path drive = tree.mkdir("drive");
    struct stat st{};
    ASSERT_EQ(::stat(drive.c_str(), &st), 0);
    platform::BookmarkRecord record{fs::canonical(drive) / "source", st.st_dev, 0, "", "source"};
    pair.sourceURL = drive / "source";
    pair.sourceBookmark = record.encode();
    const platform::TextMountSource mounts("1 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
    auto env = environment();
    env.mounts = &mounts;
    const auto model = loadedModel(env);
    model->setAllFilteredSelected(true);

    model->restoreToOriginal();
    waitForRestore(*model);

    EXPECT_EQ(model->restoreMessage(),
              QStringLiteral("Error: The drive that holds the original folder is not connected. Nothing was restored."));
    EXPECT_TRUE(model->restoreMessageIsError());
    EXPECT_TRUE(fs::is_empty(drive));
}

TEST_F(RestoreViewModelTest, WorkThatOutlivesTheWindowDeliversNothing)
{
    backUp("a.txt", "a");
    // A scan still running when the window goes is stopped, and its result goes nowhere.
    std::latch scanning(1), released(1);
    bool cancelledWhenReleased = false;
    auto env = environment();
    env.scan = [&](const platform::Directory& folder, const platform::CancelToken& cancel) {
        scanning.count_down();
        released.wait();
        cancelledWhenReleased = cancel.isCancelled();
        return scanBackup(folder, {});
    };
    auto scanned = std::make_unique<RestoreViewModel>(pair, env);
    scanned->loadFiles();
    scanning.wait();
    scanned.reset();
    released.count_down();
    ASSERT_TRUE(platform::waitForUtilityTasks(60'000));
    larkfold::test::spinFor(50);
    EXPECT_TRUE(cancelledWhenReleased);

    // A restore goes on to its end; only its result has nowhere to go.
    platform::FaultInjectingFileSystem faults;
    env = environment();
    env.fileSystem = &faults;
    auto model = loadedModel(env);
    std::latch restoring(1), goOn(1);
    faults.beforeNth(platform::FileOperation::open, 1, [&] {
        restoring.count_down();
        goOn.wait();
    });
    model->setAllFilteredSelected(true);
    model->restoreToOriginal();
    restoring.wait();
    model.reset();
    goOn.count_down();
    ASSERT_TRUE(platform::waitForUtilityTasks(60'000));
    larkfold::test::spinFor(50);
    EXPECT_EQ(tree.read("source/a.txt"), "a");
}

} // namespace

// "Restore them" from a pair row: the files named are ticked once listed, and no others.
TEST_F(RestoreViewModelTest, FilesNamedBeforeOrAfterTheScanAreTicked)
{
    for (const char* name : {"Letters/letters-1", "Letters/letters-2", "notes.txt"})
        backUp(name);
    RestoreViewModel early(pair, environment());
    early.preselect({"Letters/letters-1", "notes.txt", "gone-meanwhile.txt"});
    early.loadFiles();
    waitForFiles(early);
    auto selected = selectedPaths(early);
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (Paths{"Letters/letters-1", "notes.txt"}));

    auto late = loadedModel();
    late->preselect({"Letters/letters-2"});
    EXPECT_EQ(selectedPaths(*late), Paths{"Letters/letters-2"});
    EXPECT_EQ(late->selectedCountText(), QStringLiteral("1 selected"));
}
