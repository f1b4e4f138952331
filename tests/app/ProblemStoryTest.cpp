// A user's story with the application delegate in this process: a file that fails is listed by
// Show Details with the system's words; most of a folder deleted at once waits with the guard's
// own words until the user confirms, and the deleted files then show in the restore window's
// trash list. A process of its own, as the delegate's quitting ends backup runs for the rest of
// the process.

#include "DelegateFixture.h"
#include "app/AppDelegate.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/FakeVolumeInfo.h"
#include "shell/AppNotifications.h"
#include "shell/StatusManager.h"
#include "status/BackupPairRow.h"
#include "status/PopoverView.h"
#include "status/RestoreFileListModel.h"
#include "status/RestoreView.h"
#include "status/RunErrorsView.h"
#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"
#include "support/QtPrinters.h"
#include "support/Screenshot.h"
#include "support/TempTree.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cerrno>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Kind = AppDelegate::WindowKind;

namespace {

template <typename T = QWidget>
T* part(const QWidget& parent, const char* name)
{
    auto* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Answers the next modal message box by pressing the button with `text`, once it is up; the
// box's text is kept for the test.
void answerNextMessageBox(const QString& text, QString* asked)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, text, asked] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == text) {
                *asked = box->text();
                timer->deleteLater();
                button->click();
                return;
            }
        }
    });
    timer->start(20);
}

TEST(AppDelegate, AFailedFileAndAMassDeletionAreToldInTheirOwnWordsAndEndInTheTrashList)
{
    TempDir support;
    TempTree tree{{"dest/", ""}};
    for (int i = 0; i < 20; ++i)
        tree.write("Work/f" + std::to_string(i) + ".txt", "x");
    {
        ConfigStore seed(support.path());
        seed.addPair(pairRecord(QStringLiteral("Work"), tree.path("Work"), tree.path("dest")));
    }
    platform::FaultInjectingFileSystem faults;
    Delegate d(support.path(), true, [&](AppDelegate::Environment& environment) {
        environment.coordinator.engine.fileSystem = &faults;
        static_cast<platform::FakeVolumeInfo*>(environment.coordinator.engine.volumes)
            ->setVolume({"/", platform::VolumeSpace{64'000'000'000, 12'000'000'000}, 1, false});
    });
    AppDelegate& app = *d.app;
    const QUuid pairId = app.configStore()->pairs().front().id;
    BackupEngine* engine = app.statusManager()->engine(pairId);
    ASSERT_NE(engine, nullptr);
    const fs::path backups = tree.path("dest/Larkfold/Work");
    const auto runEnded = [&] {
        return !engine->hasRunningTask()
            && (engine->status().is<BackupStatus::Completed>() || engine->status().is<BackupStatus::Idle>());
    };
    ASSERT_TRUE(spinUntil([&] { return runEnded() && fs::exists(backups / "f19.txt"); }, 60'000))
        << "the first backup: " << engine->status().displayText().toStdString();

    // A changed file whose copy fails: the row says so, and Show Details names it with the reason.
    faults.failNth(platform::FileOperation::copyRange, 1, EACCES);
    tree.write("Work/f0.txt", "changed");
    ASSERT_TRUE(spinUntil([&] { return !engine->lastRunErrors().empty(); }, 60'000))
        << engine->status().displayText().toStdString() << " / " << readFile(backups / "f0.txt");
    app.showPopover();
    PopoverView* popover = app.popoverView();
    ASSERT_NE(popover, nullptr);
    ASSERT_TRUE(spinUntil([&] { return popover->row(pairId) != nullptr; }));
    BackupPairRow* row = popover->row(pairId);
    const auto unfold = [&] {
        ASSERT_TRUE(spinUntil([&] { return row->status().is<BackupStatus::Error>() && row->isVisible(); }, 20'000))
            << row->statusText().toStdString() << (row->isVisible() ? " shown" : " hidden");
        if (!row->isErrorDetailShown())
            QTest::mouseClick(row, Qt::LeftButton);
        ASSERT_TRUE(spinUntil([&] { return row->isErrorDetailShown(); }));
    };
    unfold();
    part<QAbstractButton>(*row, "showDetailsButton")->click();
    ASSERT_TRUE(spinUntil([&] { return app.controller(Kind::runErrors).window() != nullptr; }));
    QWidget* detailsWindow = app.controller(Kind::runErrors).window();
    auto* list = part<QTreeWidget>(*detailsWindow, "runErrorsList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_TRUE(list->topLevelItem(0)->text(0).endsWith(QStringLiteral("f0.txt"))) << list->topLevelItem(0)->text(0).toStdString();
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("Permission denied"));
    saveScreenshot(*detailsWindow, QStringLiteral("app-run-errors"));

    // The next run copies it; then most of the folder goes at once and the guard holds it.
    engine->triggerBackup(app.configStore()->pairs().front());
    ASSERT_TRUE(spinUntil([&] { return readFile(backups / "f0.txt") == "changed"; }, 60'000));
    for (int i = 2; i < 20; ++i)
        fs::remove(tree.path("Work/f" + std::to_string(i) + ".txt"));
    ASSERT_TRUE(spinUntil([&] { return engine->heldDeletions().size() == 18; }, 60'000));
    // Show Details closed the popover: the user opens it again.
    app.showPopover();
    unfold();
    EXPECT_EQ(part<QLabel>(*row, "errorDescription")->text(),
              QStringLiteral("18 files disappeared from Work at once, so Larkfold kept their backups where they are."));
    EXPECT_TRUE(fs::exists(backups / "f19.txt")) << "kept where it is until the user says";

    QString asked;
    answerNextMessageBox(QStringLiteral("Confirm Deletion"), &asked);
    part<QAbstractButton>(*row, "confirmDeletionButton")->click();
    EXPECT_EQ(asked, QStringLiteral("Move the backups of 18 files to the backup trash?"));
    ASSERT_TRUE(spinUntil([&] { return !fs::exists(backups / "f19.txt"); }, 60'000));
    ASSERT_TRUE(spinUntil([&] { return engine->heldDeletions().empty(); }, 60'000));

    AppNotifications::instance().postShowRestore(pairId);
    ASSERT_TRUE(spinUntil([&] { return app.controller(Kind::restore).window() != nullptr; }));
    auto* view = app.controller(Kind::restore).window()->findChild<RestoreView*>();
    ASSERT_NE(view, nullptr);
    RestoreViewModel& model = view->model();
    ASSERT_TRUE(spinUntil([&] { return !model.isLoading() && model.trashFiles()->rowCount() == 18; }, 60'000))
        << model.trashFiles()->rowCount() << " in the trash list";
    model.setCurrentList(RestoreList::trash);
    saveScreenshot(*app.controller(Kind::restore).window(), QStringLiteral("app-restore-confirmed-deletions"));
}

} // namespace
