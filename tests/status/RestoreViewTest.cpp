#include "status/RestoreView.h"

#include "platform/FaultInjectingFileSystem.h"
#include "platform/UtilityTask.h"
#include "status/BusyIndicator.h"
#include "status/RestoreFileDelegate.h"
#include "status/RestoreFileFilter.h"
#include "status/RestoreFileListModel.h"
#include "status/RestoreFixture.h"
#include "status/RestoreScan.h"
#include "support/EventLoop.h"
#include "support/Reference.h"
#include "widgets/ElidedText.h"
#include "support/Screenshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QAbstractButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <latch>

using namespace larkfold;
using larkfold::test::RestoreFixture;
using larkfold::test::saveScreenshot;
using larkfold::test::spinUntil;
namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 60'000;

class RestoreViewTest : public RestoreFixture {
protected:
    template <typename T>
    static T* part(RestoreView& view, const char* name)
    {
        T* found = view.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static QString text(RestoreView& view, const char* label) { return part<QLabel>(view, label)->text(); }

    void backUpSampleFiles()
    {
        for (const auto& [path, size] : std::initializer_list<std::pair<const char*, int>>{
                 {"Photos/2024/IMG_0002.jpg", 2'400'000},
                 {"Photos/2024/IMG_0010.jpg", 3'100'000},
                 {"Photos/2024/Beach day.mov", 48'000'000},
                 {"Photos/2023/IMG_0999.heic", 1'800'000},
                 {"Documents/Taxes 2024.pdf", 180'000},
                 {"Documents/Letter to the landlord.txt", 2'300},
                 {"Music/Song.flac", 25'000'000},
                 {"Projects/site/index.html", 4'100},
                 {"Archive.zip", 900'000},
                 {"empty.txt", 0}}) {
            backUp(path, std::string(std::size_t(size) / 1000, 'x'));
        }
    }
};

TEST_F(RestoreViewTest, FilterTickAndRestoreToTheOriginalFolder)
{
    backUpSampleFiles();
    platform::FaultInjectingFileSystem faults;
    auto env = environment();
    env.fileSystem = &faults;
    RestoreView view(pair, env);
    EXPECT_EQ(view.windowTitle(), QStringLiteral("Restore — Documents"));
    EXPECT_EQ(view.height(), 520);
    EXPECT_GE(view.width(), 480);
    view.show();
    ASSERT_TRUE(spinUntil([&] { return !view.model().isLoading(); }, kWaitMs));
    // The restore's first open waits until the window has been seen restoring.
    std::latch restoring(1), goOn(1);
    faults.beforeNth(platform::FileOperation::open, 1, [&] {
        restoring.count_down();
        goOn.wait();
    });
    for (const char* name : {"openInFileManager", "restoreTo", "restoreToOriginal"}) {
        SCOPED_TRACE(name);
        const QRect button(part<QAbstractButton>(view, name)->mapTo(&view, QPoint()), part<QAbstractButton>(view, name)->size());
        EXPECT_TRUE(view.rect().contains(button));
    }
    EXPECT_EQ(text(view, "filteredCount"), QStringLiteral("10 files"));
    EXPECT_EQ(text(view, "selectedCount"), QStringLiteral("0 selected"));
    auto* restoreOriginal = part<QAbstractButton>(view, "restoreToOriginal");
    auto* restoreTo = part<QAbstractButton>(view, "restoreTo");
    EXPECT_FALSE(restoreOriginal->isEnabled());
    EXPECT_EQ(restoreTo->toolTip(), QStringLiteral("Select files to restore"));

    // A click on a row's tick box ticks it; a click beside it does nothing.
    auto* list = part<QListView>(view, "fileList");
    QStyleOptionViewItem option;
    option.initFrom(list);
    const QRect firstRow = list->visualRect(list->model()->index(0, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, firstRow.center());
    EXPECT_EQ(view.model().selectedCount(), 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      status::RestoreFileDelegate::checkBoxRect(option, firstRow).center());
    EXPECT_EQ(text(view, "selectedCount"), QStringLiteral("1 selected")); // Archive.zip

    QTest::keyClicks(part<QLineEdit>(view, "filterField"), QStringLiteral("2024"));
    EXPECT_EQ(text(view, "filteredCount"), QStringLiteral("4 files"));
    part<QCheckBox>(view, "selectAll")->click();
    EXPECT_TRUE(part<QCheckBox>(view, "selectAll")->isChecked());
    EXPECT_EQ(text(view, "selectedCount"), QStringLiteral("4 selected")); // Archive.zip, hidden, is not among them
    EXPECT_TRUE(restoreOriginal->isEnabled());
    EXPECT_EQ(restoreOriginal->toolTip(), QStringLiteral("Restore selected files to their original location"));
    saveScreenshot(view, QStringLiteral("restore-filtered"));
    EXPECT_LOOKS_AS_REFERENCE(view, "status", QStringLiteral("restore-filtered"));

    QTest::mouseClick(restoreOriginal, Qt::LeftButton);
    restoring.wait();
    larkfold::test::spinFor(100);
    EXPECT_FALSE(restoreOriginal->isEnabled());
    EXPECT_FALSE(restoreTo->isEnabled());
    EXPECT_TRUE(part<status::BusyIndicator>(view, "restoreSpinner")->isVisibleTo(&view));
    EXPECT_FALSE(part<QLabel>(view, "restoreMessage")->isVisibleTo(&view));
    saveScreenshot(view, QStringLiteral("restore-in-progress"));
    goOn.count_down();
    ASSERT_TRUE(spinUntil([&] { return !view.model().restoreInProgress(); }, kWaitMs));

    EXPECT_EQ(text(view, "restoreMessage"), QStringLiteral("4 files restored successfully."));
    EXPECT_TRUE(part<QLabel>(view, "restoreMessage")->isVisibleTo(&view));
    EXPECT_TRUE(restoreOriginal->isEnabled());
    EXPECT_EQ(restoreOriginal->text(), QStringLiteral("Restore to Original"));
    EXPECT_EQ(tree.read("source/Photos/2024/Beach day.mov").size(), 48'000u);
    EXPECT_EQ(part<QLineEdit>(view, "filterField")->text(), QStringLiteral("2024"));
    saveScreenshot(view, QStringLiteral("restore-finished"));
    EXPECT_LOOKS_AS_REFERENCE(view, "status", QStringLiteral("restore-finished"));

    fs::remove(backupFolder() / "Photos/2024/IMG_0002.jpg");
    QTest::mouseClick(restoreOriginal, Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return !view.model().restoreInProgress(); }, kWaitMs));
    EXPECT_EQ(text(view, "restoreMessage"),
              QStringLiteral("Error: Restored 3 files. 1 file failed.\nPhotos/2024/IMG_0002.jpg: It is no longer in the backup."));
    saveScreenshot(view, QStringLiteral("restore-failed"));
    EXPECT_LOOKS_AS_REFERENCE(view, "status", QStringLiteral("restore-failed"));
}

TEST_F(RestoreViewTest, TheDeletedFilesHaveTheirOwnListOnLightAndDarkPalettes)
{
    backUpSampleFiles();
    const fs::path trash = tree.path("destination/.Larkfold-Trash");
    tree.write(trash / "2026-03-10/Documents/Letters/letters-3.txt", std::string(23, 'x'));
    tree.write(trash / "2026-03-10/Photos/2024/IMG_0003.jpg", std::string(2'100'000, 'x'));
    tree.write(trash / "2026-03-09/Music/Old Song.mp3", std::string(4'000'000, 'x'));
    for (const bool dark : {false, true}) {
        const char* paletteName = dark ? "dark" : "light";
        SCOPED_TRACE(paletteName);
        const larkfold::test::ScopedPalette scoped(dark ? larkfold::test::darkPalette() : QApplication::palette());
        RestoreView view(pair, environment());
        view.model().setTrashSharedWith({QStringLiteral("Work")});
        view.show();
        ASSERT_TRUE(spinUntil([&] { return !view.model().isLoading(); }, kWaitMs));
        auto* backupTab = part<QAbstractButton>(view, "backupTab");
        auto* trashTab = part<QAbstractButton>(view, "trashTab");
        EXPECT_EQ(backupTab->text(), QStringLiteral("In Backup (10)"));
        EXPECT_EQ(trashTab->text(), QStringLiteral("Deleted (3)"));
        EXPECT_TRUE(backupTab->isChecked());
        EXPECT_FALSE(part<ElidedText>(view, "trashShared")->isVisibleTo(&view));
        saveScreenshot(view, QStringLiteral("restore-backup-list-%1").arg(QString::fromLatin1(paletteName)));

        QTest::mouseClick(trashTab, Qt::LeftButton);
        EXPECT_TRUE(trashTab->isChecked());
        EXPECT_FALSE(backupTab->isChecked());
        auto* list = part<QListView>(view, "fileList");
        ASSERT_EQ(list->model()->rowCount(), 3);
        EXPECT_EQ(list->model()->index(0, 0).data(RestoreFileListModel::PathRole).toString(),
                  QStringLiteral("Documents/Letters/letters-3.txt"));
        EXPECT_EQ(list->model()->index(0, 0).data(RestoreFileListModel::SizeTextRole).toString(), QStringLiteral("23 bytes"));
        EXPECT_EQ(part<ElidedText>(view, "trashShared")->text(),
                  QStringLiteral("Work backs up to the same place, so files deleted from it are listed here too."));
        EXPECT_TRUE(part<ElidedText>(view, "trashShared")->isVisibleTo(&view));
        EXPECT_EQ(text(view, "filteredCount"), QStringLiteral("3 files"));
        QStyleOptionViewItem option;
        option.initFrom(list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          status::RestoreFileDelegate::checkBoxRect(option, list->visualRect(list->model()->index(0, 0))).center());
        EXPECT_EQ(text(view, "selectedCount"), QStringLiteral("1 selected"));
        EXPECT_TRUE(part<QAbstractButton>(view, "restoreToOriginal")->isEnabled());
        saveScreenshot(view, QStringLiteral("restore-deleted-list-%1").arg(QString::fromLatin1(paletteName)));
        // Back on the backup's list: its own ticks, none.
        QTest::mouseClick(backupTab, Qt::LeftButton);
        EXPECT_EQ(text(view, "selectedCount"), QStringLiteral("0 selected"));
    }
}

TEST_F(RestoreViewTest, AnEmptyTrashSaysWhatItHolds)
{
    backUp("a.txt");
    RestoreView view(pair, environment());
    view.show();
    ASSERT_TRUE(spinUntil([&] { return !view.model().isLoading(); }, kWaitMs));
    QTest::mouseClick(part<QAbstractButton>(view, "trashTab"), Qt::LeftButton);
    EXPECT_EQ(text(view, "emptyTitle"), QStringLiteral("No deleted files kept."));
    EXPECT_EQ(text(view, "emptyCaption"),
              QStringLiteral("A file deleted from the source is kept here once the next backup has run."));
    saveScreenshot(view, QStringLiteral("restore-deleted-empty"));
}

TEST_F(RestoreViewTest, AnEmptyBackupStillOpensInTheFileManager)
{
    RestoreView view(pair, environment());
    view.show();
    ASSERT_TRUE(spinUntil([&] { return !view.model().isLoading(); }, kWaitMs));
    saveScreenshot(view, QStringLiteral("restore-empty"));
    EXPECT_LOOKS_AS_REFERENCE(view, "status", QStringLiteral("restore-empty"));
    EXPECT_EQ(text(view, "emptyCaption"), QStringLiteral("Run a backup first, then come back here to restore."));

    EXPECT_FALSE(part<QAbstractButton>(view, "restoreTo")->isEnabled());
    EXPECT_FALSE(part<QAbstractButton>(view, "restoreToOriginal")->isEnabled());
    auto* open = part<QAbstractButton>(view, "openInFileManager");
    EXPECT_EQ(open->text(), QStringLiteral("Open in File Manager"));
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_EQ(prompts.openedFolders, (std::vector<fs::path>{backupFolder()}));
}

TEST_F(RestoreViewTest, ABackupFolderThatIsALinkSaysWhyNothingIsListed)
{
    backUp("a.txt");
    fs::rename(backupFolder(), tree.path("elsewhere"));
    tree.symlink(backupFolder(), tree.path("elsewhere"));
    RestoreView view(pair, environment());
    view.show();
    ASSERT_TRUE(spinUntil([&] { return !view.model().isLoading(); }, kWaitMs));
    saveScreenshot(view, QStringLiteral("restore-linked-backup-folder"));
    EXPECT_LOOKS_AS_REFERENCE(view, "status", QStringLiteral("restore-linked-backup-folder"));

    EXPECT_EQ(text(view, "emptyCaption"),
              QStringLiteral("Destination path is a symbolic link — refusing to write to prevent data redirection."));
}

TEST_F(RestoreViewTest, TheWindowOpensOnTheScanningIndicator)
{
    backUp("a.txt");
    std::latch released(1);
    auto env = environment();
    env.scan = [&](const platform::Directory& folder, const platform::CancelToken& cancel) {
        released.wait();
        return scanBackup(folder, cancel);
    };
    auto view = std::make_unique<RestoreView>(pair, env);
    view->show();
    EXPECT_TRUE(view->model().isLoading());
    saveScreenshot(*view, QStringLiteral("restore-scanning"));
    // Closed before the scan ends: the result must not reach the destroyed window.
    view.reset();
    released.count_down();
    ASSERT_TRUE(platform::waitForUtilityTasks(kWaitMs));
    larkfold::test::spinFor(50);
}

// The responsiveness the window promises during long restores: its event loop never stalls.
TEST_F(RestoreViewTest, TheWindowStaysResponsiveWhileTenThousandFilesAreRestored)
{
    constexpr int kFileCount = 10'000;
    for (int i = 0; i < kFileCount; ++i)
        backUp("Folder " + std::to_string(i / 100) + "/file " + std::to_string(i) + ".txt", std::to_string(i));
    platform::FaultInjectingFileSystem faults;
    std::latch halfway(1), goOn(1);
    auto env = environment();
    env.fileSystem = &faults;
    RestoreView view(pair, env);
    view.show();
    ASSERT_TRUE(spinUntil([&] { return !view.model().isLoading(); }, kWaitMs));
    ASSERT_EQ(view.model().files()->rowCount(), kFileCount);
    part<QCheckBox>(view, "selectAll")->click();
    prompts.answers.push_back(tree.mkdir("chosen"));

    faults.beforeNth(platform::FileOperation::open, kFileCount, [&] {
        halfway.count_down();
        goOn.wait();
    });
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    QTest::mouseClick(part<QAbstractButton>(view, "restoreTo"), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return halfway.try_wait(); }, 10 * kWaitMs));
    const int ticksAtHalfway = ticks;
    const bool ticking = spinUntil([&] { return ticks >= ticksAtHalfway + 3; }, kWaitMs);
    const bool inProgress = view.model().restoreInProgress();
    goOn.count_down();
    EXPECT_TRUE(ticking) << "the window's event loop stalled during the restore";
    EXPECT_TRUE(inProgress);
    ASSERT_TRUE(spinUntil([&] { return view.model().restoreMessage().has_value(); }, 10 * kWaitMs));
    timer.stop();

    EXPECT_EQ(text(view, "restoreMessage"), QStringLiteral("10000 files restored successfully."));
    EXPECT_EQ(tree.read("chosen/Folder 99/file 9999.txt"), "9999");
    // The list is read again after a restore, through this test's file layer.
    ASSERT_TRUE(platform::waitForUtilityTasks(10 * kWaitMs));
}

} // namespace
