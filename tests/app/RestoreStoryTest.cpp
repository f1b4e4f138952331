// A user's story with the application delegate in this process: a deleted file restored from the
// restore window's list of the backup trash. A process of its own, as the delegate's quitting
// ends backup runs for the rest of the process.

#include "DelegateFixture.h"
#include "app/AppDelegate.h"
#include "platform/FakeVolumeInfo.h"
#include "shell/AppNotifications.h"
#include "shell/StatusManager.h"
#include "status/RestoreFileListModel.h"
#include "status/RestoreView.h"
#include "store/ConfigStore.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"
#include "support/Screenshot.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Kind = AppDelegate::WindowKind;

namespace {

// A user's story: a file deleted from the source is set aside in the backup trash by the next
// run, shows in the restore window that is open meanwhile, and comes back to its place from there.
TEST(AppDelegate, ADeletedFileComesBackFromTheTrashListToItsPlace)
{
    TempDir support;
    TempTree tree{{"docs/Letters/letters-1", "first letter"}, {"docs/Letters/letters-3", "third letter"},
                  {"docs/notes.txt", "notes"}, {"work/plan.txt", "plan"}, {"dest/", ""}};
    {
        ConfigStore seed(support.path());
        seed.addPair(pairRecord(QStringLiteral("Documents"), tree.path("docs"), tree.path("dest")));
        seed.addPair(pairRecord(QStringLiteral("Work"), tree.path("work"), tree.path("dest")));
    }
    // One volume, with room, holds both the sources and the destination.
    Delegate d(support.path(), true, [](AppDelegate::Environment& environment) {
        static_cast<platform::FakeVolumeInfo*>(environment.coordinator.engine.volumes)
            ->setVolume({"/", platform::VolumeSpace{64'000'000'000, 12'000'000'000}, 1, false});
    });
    AppDelegate& app = *d.app;
    const QUuid pairId = app.configStore()->pairs().front().id;
    const fs::path backup = tree.path("dest/Larkfold/Documents/Letters/letters-3");
    ASSERT_TRUE(spinUntil([&] { return fs::exists(backup); }, 60'000))
        << "the first backup: " << app.statusManager()->engine(pairId)->status().displayText().toStdString();

    AppNotifications::instance().postShowRestore(pairId);
    ASSERT_TRUE(spinUntil([&] { return app.controller(Kind::restore).window() != nullptr; }));
    auto* view = app.controller(Kind::restore).window()->findChild<RestoreView*>();
    ASSERT_NE(view, nullptr);
    RestoreViewModel& model = view->model();
    ASSERT_TRUE(spinUntil([&] { return !model.isLoading(); }, 60'000));
    EXPECT_EQ(model.trashFiles()->rowCount(), 0);
    EXPECT_EQ(model.trashSharedText(),
              QStringLiteral("Work backs up to the same place, so files deleted from it are listed here too."));

    fs::remove(tree.path("docs/Letters/letters-3"));
    ASSERT_TRUE(spinUntil([&] { return model.trashFiles()->rowCount() == 1; }, 60'000))
        << "the run that set it aside has ended, and the window listed the trash again";
    EXPECT_FALSE(fs::exists(backup));
    model.setCurrentList(RestoreList::trash);
    model.setSearchText(QStringLiteral("letters-3"));
    model.setAllFilteredSelected(true);
    saveScreenshot(*app.controller(Kind::restore).window(), QStringLiteral("app-restore-deleted-file"));
    model.restoreToOriginal();
    ASSERT_TRUE(spinUntil([&] { return model.restoreMessage().has_value(); }, 60'000));

    EXPECT_EQ(model.restoreMessage(), QStringLiteral("1 file restored successfully."));
    EXPECT_EQ(readFile(tree.path("docs/Letters/letters-3")), "third letter");
    EXPECT_TRUE(spinUntil([&] { return model.trashFiles()->rowCount() == 0; }, 60'000)) << "it left the trash";
    // The watcher backs it up again.
    EXPECT_TRUE(spinUntil([&] { return fs::exists(backup); }, 60'000));
}

} // namespace
