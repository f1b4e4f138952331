#include "setup/AddBackupView.h"

#include "SheetFixture.h"
#include "setup/AddBackupSourceStep.h"
#include "setup/OffsiteIntroHeader.h"
#include "widgets/ElidedText.h"
#include "widgets/FilledButton.h"
#include "widgets/WarningBox.h"
#include "setup/VolumePickerRow.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/Paths.h"
#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/Reference.h"
#include "support/Screenshot.h"

#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Step = AddBackupModel::Step;

namespace {

constexpr int kPopoverWidthPixels = 300;
constexpr int kPopoverHeightPixels = 360;


class AddBackupViewTest : public SheetFixture {
protected:
    // A new sheet at the popover's size, shown offscreen.
    AddBackupView& sheet(bool reduceMotion = true)
    {
        if (!m_sheet) {
            m_sheet = std::make_unique<AddBackupView>(start(), std::make_unique<ForwardingPrompts>(prompts));
            m_sheet->setReduceMotion(reduceMotion);
            m_sheet->resize(kPopoverWidthPixels, kPopoverHeightPixels);
            m_sheet->show();
            QCoreApplication::processEvents();
        }
        return *m_sheet;
    }

    template <typename T>
    T* part(const char* name)
    {
        QCoreApplication::processEvents();
        T* found = nullptr;
        for (T* candidate : sheet().findChildren<T*>(QString::fromLatin1(name))) {
            if (candidate->isVisibleTo(&sheet()))
                found = candidate;
        }
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // The visible widgets of that name, in layout order.
    template <typename T>
    std::vector<T*> parts(const char* name)
    {
        QCoreApplication::processEvents();
        std::vector<T*> found;
        for (T* candidate : sheet().findChildren<T*>(QString::fromLatin1(name))) {
            if (candidate->isVisibleTo(&sheet()))
                found.push_back(candidate);
        }
        std::sort(found.begin(), found.end(), [this](QWidget* a, QWidget* b) {
            return a->mapTo(&sheet(), QPoint()).y() < b->mapTo(&sheet(), QPoint()).y();
        });
        return found;
    }

    QString text(const char* label) { return part<QLabel>(label)->text(); }

    void click(QWidget* widget)
    {
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
        QCoreApplication::processEvents();
    }

    // Clicks a control that opens a panel, and waits for the panel.
    void clickForPanel(QWidget* widget)
    {
        const std::size_t panels = prompts.panels.size();
        click(widget);
        ASSERT_TRUE(spinUntil([&] { return prompts.panels.size() > panels; }, 10'000));
        QCoreApplication::processEvents();
    }

    void drop(const std::vector<fs::path>& paths)
    {
        auto* zone = part<DropZone>("dropZone");
        ASSERT_NE(zone, nullptr);
        QMimeData mime;
        mime.setUrls(fileUrls(paths));
        QDragEnterEvent enter(zone->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(zone, &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_TRUE(zone->isDropTargeted());
        if (m_screenshotNextDrag) {
            saveScreenshot(sheet(), "add-backup-source-drop-targeted");
            EXPECT_LOOKS_AS_REFERENCE(sheet(), "setup", "add-backup-source-drop-targeted");
            m_screenshotNextDrag = false;
        }
        QDropEvent dropped(QPointF(zone->rect().center()), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(zone, &dropped);
        EXPECT_FALSE(zone->isDropTargeted());
        QCoreApplication::processEvents();
    }

    Step step() { return sheet().model().step(); }

    bool m_screenshotNextDrag = false;

private:
    std::unique_ptr<AddBackupView> m_sheet;
};

} // namespace

TEST_F(AddBackupViewTest, FromADropThroughTheDestinationAndItsChecks)
{
    const fs::path photos = folder("Pictures/Photos");
    const fs::path docs = folder("Documents/Tax Papers 2024 and the letters from the bank");
    const fs::path earlier = folder("Backups/Disk");
    c.storePair("Music", folder("Music"), earlier);

    EXPECT_EQ(text("stepTitle"), QStringLiteral("Add Backup"));
    EXPECT_EQ(text("backLabel"), QStringLiteral("Cancel"));
    EXPECT_EQ(text("tip"), QStringLiteral("Tip: Add each important folder separately for more reliable backups."));
    saveScreenshot(sheet(), "add-backup-source");
    EXPECT_LOOKS_AS_REFERENCE(sheet(), "setup", "add-backup-source");

    drop({c.tree.write("notes.txt", "x")});
    EXPECT_EQ(step(), Step::chooseSource) << "only a file";
    m_screenshotNextDrag = true;
    drop({photos, c.tree.write("other.txt", "x"), docs});
    ASSERT_EQ(step(), Step::chooseDestination);
    EXPECT_EQ(text("stepTitle"), QStringLiteral("Choose Destination"));
    EXPECT_EQ(text("backLabel"), QStringLiteral("Back"));
    EXPECT_EQ(parts<QWidget>("sourceRow").size(), 2u);
    const auto volumes = parts<VolumePickerRow>("volumeRow");
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0]->volume().name, QStringLiteral("Backup Drive"));
    EXPECT_EQ(volumes[1]->volume().name, QStringLiteral("nas"));
    const auto earlierRows = parts<RowButton>("earlierDestinationRow");
    ASSERT_EQ(earlierRows.size(), 1u);
    EXPECT_EQ(earlierRows[0]->toolTip(), QString::fromStdString(earlier.string()));
    EXPECT_FALSE(sheet().findChild<WarningBox*>(QStringLiteral("validationWarning"))->isVisibleTo(&sheet()));
    EXPECT_TRUE(sheet().findChildren<QLabel*>(QStringLiteral("noDrives")).isEmpty());
    saveScreenshot(sheet(), "add-backup-destination");

    // A volume's row opens the panel inside the volume; a folder in a source is refused there.
    prompts.folderAnswers.push_back({photos / ".." / "Photos" / "Backup"});
    fs::create_directories(photos / "Backup");
    clickForPanel(volumes[0]);
    EXPECT_EQ(prompts.panels.back().startingFolder, fs::path(kDriveMountPoint));
    EXPECT_EQ(step(), Step::chooseDestination);
    EXPECT_EQ(part<WarningBox>("validationWarning")->text(),
              QStringLiteral("The destination can't be inside \"Photos\"."));
    saveScreenshot(sheet(), "add-backup-destination-nested");

    // "Choose any folder" opens the panel where drives are mounted; cancelled, nothing changes.
    clickForPanel(part<QWidget>("chooseAnyFolderButton"));
    EXPECT_EQ(prompts.panels.back().prompt, QStringLiteral("Choose Destination"));
    EXPECT_EQ(step(), Step::chooseDestination);

    click(parts<RowButton>("earlierDestinationRow").at(0));
    ASSERT_EQ(step(), Step::chooseOffsite);
    EXPECT_EQ(text("stepTitle"), QStringLiteral("Offsite Copy"));
    EXPECT_EQ(text("offsiteHeading"), OffsiteIntroHeader::heading());
    EXPECT_NE(part<QWidget>("noCloudFolders"), nullptr);
    saveScreenshot(sheet(), "add-backup-offsite-no-cloud");
    EXPECT_LOOKS_AS_REFERENCE(sheet(), "setup", "add-backup-offsite-no-cloud");

    click(part<QWidget>("backButton"));
    ASSERT_EQ(step(), Step::chooseDestination);
    const auto again = parts<RowButton>("earlierDestinationRow");
    ASSERT_EQ(again.size(), 1u);
    EXPECT_TRUE(again[0]->isSelected()) << "the chosen destination shows as chosen when coming back";
    EXPECT_FALSE(sheet().findChild<WarningBox*>(QStringLiteral("validationWarning"))->isVisibleTo(&sheet()));
    saveScreenshot(sheet(), "add-backup-destination-chosen");
}

TEST_F(AddBackupViewTest, ACloudFolderAsOffsiteAndOneSourceConfirmedWithReturn)
{
    const fs::path dropbox = makeDropbox();
    const fs::path offsite = dropbox / "Larkfold Offsite";
    fs::create_directories(offsite);
    const fs::path photos = folder("Photos");
    const fs::path drive = folder("Drive");
    QSignalSpy finished(&sheet(), &AddBackupView::finished);
    drop({photos});
    sheet().model().selectDestination(drive);
    ASSERT_EQ(step(), Step::chooseOffsite);

    const auto cloudRows = parts<RowButton>("cloudFolderRow");
    ASSERT_EQ(cloudRows.size(), 1u);
    EXPECT_EQ(cloudRows[0]->accessibleName(), QStringLiteral("Dropbox"));
    saveScreenshot(sheet(), "add-backup-offsite");

    // Offsite inside the source: refused in the step.
    prompts.folderAnswers.push_back({folder("Photos/Cloud")});
    clickForPanel(part<QWidget>("chooseAnyFolderButton"));
    EXPECT_EQ(prompts.panels.back().startingFolder, platform::homeFolder());
    EXPECT_EQ(part<WarningBox>("offsiteWarning")->text(),
              QStringLiteral("The offsite folder can't be inside \"Photos\"."));
    saveScreenshot(sheet(), "add-backup-offsite-nested");

    prompts.folderAnswers.push_back({offsite});
    clickForPanel(parts<RowButton>("cloudFolderRow").at(0));
    EXPECT_EQ(prompts.panels.back().startingFolder, dropbox);
    ASSERT_EQ(step(), Step::confirm);
    EXPECT_EQ(text("stepTitle"), QStringLiteral("Confirm"));
    EXPECT_NE(part<QWidget>("fromCard"), nullptr);
    EXPECT_NE(part<QWidget>("toCard"), nullptr);
    EXPECT_EQ(text("summarySentence"), QStringLiteral("Larkfold will copy new and changed files automatically."));
    EXPECT_EQ(text("offsiteLine"), QStringLiteral("Offsite copy: Larkfold Offsite"));
    EXPECT_EQ(part<FilledButton>("addButton")->text(), QStringLiteral("Add This Backup"));
    saveScreenshot(sheet(), "add-backup-confirm-one");
    EXPECT_LOOKS_AS_REFERENCE(sheet(), "setup", "add-backup-confirm-one");

    QTest::keyClick(&sheet(), Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
    ASSERT_EQ(c.store().pairs().size(), 1u);
    const BackupPair& pair = c.store().pairs()[0];
    EXPECT_EQ(pair.name, QStringLiteral("Photos"));
    EXPECT_EQ(pair.sourceURL, photos);
    EXPECT_EQ(pair.destinationURL, drive);
    EXPECT_EQ(pair.offsiteURL, offsite);
    EXPECT_TRUE(pair.sourceBookmark && pair.destinationBookmark && pair.offsiteBookmark);
}

TEST_F(AddBackupViewTest, ThreeSourcesWithoutOffsiteAddThreePairsInOrder)
{
    const fs::path dest = folder("Drive");
    c.storePair("Photos", folder("old/Photos"), dest);
    const std::vector<fs::path> sources = {folder("a/Photos"), folder("b/Projects"), folder("c/Music")};
    prompts.folderAnswers.push_back(sources);
    clickForPanel(part<QWidget>("chooseFolderButton"));
    EXPECT_TRUE(prompts.panels.back().allowsMultipleSelection);
    ASSERT_EQ(step(), Step::chooseDestination);
    EXPECT_EQ(parts<QWidget>("sourceRow").size(), 3u);
    saveScreenshot(sheet(), "add-backup-destination-three-sources");
    sheet().model().selectDestination(dest);
    click(part<QWidget>("skipOffsiteButton"));
    ASSERT_EQ(step(), Step::confirm);
    const auto names = parts<ElidedText>("summarySource");
    ASSERT_EQ(names.size(), 3u);
    for (const ElidedText* name : names)
        EXPECT_EQ(name->shownText(), name->text()) << "short names are never cut";
    EXPECT_EQ(text("summarySentence"), QStringLiteral("Larkfold will back up 3 folders automatically."));
    EXPECT_FALSE(sheet().findChild<QLabel*>(QStringLiteral("offsiteLine"))->isVisibleTo(&sheet()));
    EXPECT_EQ(part<FilledButton>("addButton")->text(), QStringLiteral("Add 3 Backups"));
    saveScreenshot(sheet(), "add-backup-confirm-three");
    EXPECT_LOOKS_AS_REFERENCE(sheet(), "setup", "add-backup-confirm-three");

    click(part<FilledButton>("addButton"));
    const auto& pairs = c.store().pairs();
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[1].name, QStringLiteral("Photos 2"));
    EXPECT_EQ(pairs[2].name, QStringLiteral("Projects"));
    EXPECT_EQ(pairs[3].name, QStringLiteral("Music"));
    for (std::size_t i = 0; i < sources.size(); ++i)
        EXPECT_EQ(pairs[i + 1].sourceURL, sources[i]);
}

TEST_F(AddBackupViewTest, CancelOnTheFirstStepClosesAndNothingIsStored)
{
    QSignalSpy cancelled(&sheet(), &AddBackupView::cancelled);
    click(part<QWidget>("backButton"));
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_TRUE(c.store().pairs().empty());
}

TEST_F(AddBackupViewTest, WithoutDrivesOrPairsTheDestinationStepSaysSo)
{
    withoutVolumes();
    drop({folder("Photos")});
    ASSERT_EQ(step(), Step::chooseDestination);
    EXPECT_EQ(text("noDrives"), QStringLiteral("No external drives connected."));
    EXPECT_TRUE(parts<VolumePickerRow>("volumeRow").empty());
    saveScreenshot(sheet(), "add-backup-destination-no-drives");
}

TEST_F(AddBackupViewTest, StepsFadeInUnlessMotionIsReduced)
{
    AddBackupView& view = sheet(/*reduceMotion=*/false);
    auto* steps = view.findChild<QStackedWidget*>();
    drop({folder("Photos")});
    ASSERT_EQ(step(), Step::chooseDestination);
    EXPECT_NE(steps->currentWidget()->graphicsEffect(), nullptr) << "fading in";
    EXPECT_TRUE(spinUntil([&] { return steps->currentWidget()->graphicsEffect() == nullptr; }, 10'000));

    view.setReduceMotion(true);
    click(part<QWidget>("backButton"));
    ASSERT_EQ(step(), Step::chooseSource);
    EXPECT_EQ(steps->currentWidget()->graphicsEffect(), nullptr) << "at once";
}

// Folders no backup can ever work in are refused in the step, in the backup run's own words.
TEST_F(AddBackupViewTest, RefusalsOfFoldersNoBackupCanWorkIn)
{
    platform::FaultInjectingFileSystem files;
    c.environment.engine.fileSystem = &files;
    const fs::path stick = folder("small stick");
    c.volumes.setVolume({stick, platform::VolumeSpace{300'000'000, 264'300'000}, 9, false});
    const fs::path readOnly = folder("read-only drive");
    drop({folder("Photos")});
    ASSERT_EQ(step(), Step::chooseDestination);

    const QPalette original = QApplication::palette();
    const QPalette dark = darkPalette();
    struct Case {
        fs::path folder;
        bool readOnly;
        const char* screenshot;
        QString start; // of the refusal
    } cases[] = {
        {"/usr/local/share", false, "add-backup-destination-protected",
         "Destination is a protected system folder. Choose a different destination."},
        {stick, false, "add-backup-destination-low-space", "The backup drive is running low on space. Larkfold keeps "
                                                           "at least 524.3 MB free on it."},
        {readOnly, true, "add-backup-destination-read-only",
         "Destination folder is not writable — check permissions or disk space. Writing a test file there failed: "
         "Read-only file system."},
    };
    for (const Case& refusal : cases) {
        SCOPED_TRACE(refusal.screenshot);
        files.clearFaults();
        if (refusal.readOnly)
            files.failAlways(platform::FileOperation::open, EROFS);
        sheet().model().selectDestination(refusal.folder);
        EXPECT_EQ(step(), Step::chooseDestination);
        EXPECT_TRUE(part<WarningBox>("validationWarning")->text().startsWith(refusal.start))
            << part<WarningBox>("validationWarning")->text().toStdString();
        saveScreenshot(sheet(), refusal.screenshot);
        QApplication::setPalette(dark);
        saveScreenshot(sheet(), QString::fromLatin1(refusal.screenshot) + "-dark");
        QApplication::setPalette(original);
    }
    files.clearFaults();
    sheet().model().selectDestination(folder("drive"));
    EXPECT_EQ(step(), Step::chooseOffsite);
}

TEST_F(AddBackupViewTest, DarkAppearance)
{
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x33, 0x33, 0x33));
    QApplication::setPalette(dark);
    makeDropbox();
    c.storePair("Music", folder("Music"), folder("Backups/Disk"));
    drop({folder("Photos"), folder("Documents")});
    saveScreenshot(sheet(), "add-backup-destination-dark");
    sheet().model().selectDestination(folder("Backups/Disk"));
    saveScreenshot(sheet(), "add-backup-offsite-dark");
    sheet().model().skipOffsite();
    saveScreenshot(sheet(), "add-backup-confirm-dark");
    EXPECT_LOOKS_AS_REFERENCE(sheet(), "setup", "add-backup-confirm-dark");
    QApplication::setPalette(original);
}
