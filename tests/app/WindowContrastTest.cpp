// Every text of every window reads against what lies behind it: 4.5:1, or 3:1 for large text
// (WCAG), in the light palette the desktop starts with and in a dark one. Each window is measured
// as it is drawn, and kept as a screenshot.

#include "DelegateFixture.h"
#include "app/AppDelegate.h"
#include "engine/BackupEngine.h"
#include "setup/AddBackupView.h"
#include "shell/StatusManager.h"
#include "status/BackupPairRow.h"
#include "status/RestoreView.h"
#include "store/ConfigStore.h"
#include "support/Contrast.h"
#include "support/EventLoop.h"
#include "support/PairRecord.h"
#include "support/Reference.h"
#include "support/Screenshot.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QGraphicsEffect>
#include <QLineEdit>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>

using namespace larkfold;
using namespace larkfold::test;
using Kind = AppDelegate::WindowKind;

namespace {

// `sameEachRun`: the window shows nothing that changes from run to run (a temporary path, an
// age), so it must look exactly as its reference.
void expectReadable(QWidget& window, const QString& name, bool sameEachRun = false)
{
    SCOPED_TRACE(name.toStdString());
    const std::vector<TextContrast> texts = textContrasts(window);
    EXPECT_FALSE(texts.empty()) << "no text was found to measure";
    const QStringList poor = poorContrasts(window);
    EXPECT_TRUE(poor.isEmpty()) << poor.join(QLatin1Char('\n')).toStdString();
    saveScreenshot(window, QStringLiteral("contrast-") + name);
    if (sameEachRun)
        EXPECT_LOOKS_AS_REFERENCE(window, "app", QStringLiteral("contrast-") + name);
}

} // namespace

TEST(WindowContrast, EveryTextReadsInLightAndDark)
{
    for (const bool dark : {false, true}) {
        const QString look = dark ? QStringLiteral("-dark") : QStringLiteral("-light");
        const ScopedPalette palette(dark ? darkPalette() : QApplication::palette());
        TempDir support;
        TempTree tree{{"photos/a.jpg", "a"}, {"docs/b.txt", "b"}, {"music/c.mp3", "c"}, {"notes/d.txt", "d"},
                      {"dest/", ""}, {"offsite/", ""}};
        std::vector<BackupPair> pairs;
        {
            ConfigStore seed(support.path());
            // Paused, so nothing changes the statuses the test sets.
            for (const char* name : {"photos", "docs", "music", "notes"}) {
                BackupPair pair = pairRecord(QString::fromLatin1(name), tree.path(name), tree.path("dest"), false);
                pair.lastBackupAt = QDateTime::currentDateTimeUtc().addSecs(-600);
                if (pairs.empty())
                    pair.offsiteURL = tree.path("offsite");
                seed.addPair(pair);
                pairs.push_back(pair);
            }
        }
        Delegate d(support.path());
        AppDelegate& app = *d.app;
        StatusManager& manager = *app.statusManager();
        manager.engine(pairs[0].id)->setStatus(BackupStatus::syncing(0.42, QStringLiteral("a.jpg")));
        manager.engine(pairs[1].id)->setStatus(BackupStatus::error(BackupError::partialFailure(3, 120)));
        manager.engine(pairs[2].id)->setStatus(BackupStatus::destinationUnreachable());

        app.showPopover();
        ASSERT_TRUE(spinUntil([&] { return app.popover()->isVisible(); }));
        app.popoverView()->row(pairs[1].id)->toggleErrorDetail();
        QWidget* detail = app.popoverView()->row(pairs[1].id)->findChild<QWidget*>(QStringLiteral("errorDetail"));
        ASSERT_NE(detail, nullptr);
        ASSERT_TRUE(spinUntil([&] { return detail->isVisible() && !detail->graphicsEffect(); }, 10'000));
        expectReadable(*app.popover(), QStringLiteral("popover") + look);
        app.showAddBackup();
        ASSERT_TRUE(app.popoverView()->isShowingAddBackup());
        expectReadable(*app.popover(), QStringLiteral("add-backup") + look, true);
        app.popoverView()->addBackupView()->model().goBack();
        app.closePopover();

        app.showRestore(pairs[1].id);
        QWidget* restore = app.controller(Kind::restore).window();
        ASSERT_NE(restore, nullptr);
        auto* view = restore->findChild<RestoreView*>();
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(spinUntil([&] { return !view->model().isLoading(); }, 20'000));
        expectReadable(*restore, QStringLiteral("restore") + look);

        app.openLearn();
        app.openAbout();
        app.openPromote();
        app.showWelcome();
        app.showProfileSuggestion(pairs[3].id, QStringLiteral("notes"), BackupProfile::documents, 2'400'000);
        const std::pair<Kind, const char*> windows[] = {
            {Kind::learn, "learn"}, {Kind::about, "about"}, {Kind::promote, "filing"},
            {Kind::welcome, "welcome"}, {Kind::profileSuggestion, "smart-setup"},
        };
        for (const auto& [kind, name] : windows) {
            QWidget* window = app.controller(kind).window();
            ASSERT_NE(window, nullptr) << name;
            expectReadable(*window, QString::fromLatin1(name) + look, true);
            window->close();
        }
        restore->close();
    }
}

// A window opened in the light palette reads as well once the desktop turns dark under it: its
// texts take their colours from the palette of the moment, not the one they were made in.
TEST(WindowContrast, EveryTextFollowsASwitchToDark)
{
    TempDir support;
    TempTree tree{{"photos/a.jpg", "a"}, {"dest/", ""}};
    BackupPair pair = pairRecord(QStringLiteral("photos"), tree.path("photos"), tree.path("dest"), false);
    {
        ConfigStore seed(support.path());
        seed.addPair(pair);
    }
    Delegate d(support.path());
    AppDelegate& app = *d.app;

    app.showPopover();
    ASSERT_TRUE(spinUntil([&] { return app.popover()->isVisible(); }));
    app.showAddBackup();
    AddBackupView* sheet = app.popoverView()->addBackupView();
    ASSERT_NE(sheet, nullptr);
    sheet->model().handleDrop({QUrl::fromLocalFile(QString::fromStdString(tree.path("photos").native()))});
    // A protected system folder: the sheet refuses it with its warning.
    sheet->model().selectDestination("/usr/local/share");
    ASSERT_TRUE(sheet->model().validationWarning().has_value());
    // Once the step has slid in.
    ASSERT_TRUE(spinUntil(
        [&] {
            const auto parts = sheet->findChildren<QWidget*>();
            return std::none_of(parts.begin(), parts.end(), [](QWidget* part) { return part->graphicsEffect(); });
        },
        10'000));
    {
        const ScopedPalette dark(darkPalette());
        expectReadable(*app.popover(), QStringLiteral("switched-add-backup-dark"));
    }
    app.closePopover();

    app.showRestore(pair.id);
    auto* restoreView = app.controller(Kind::restore).window()->findChild<RestoreView*>();
    ASSERT_NE(restoreView, nullptr);
    ASSERT_TRUE(spinUntil([&] { return !restoreView->model().isLoading(); }, 20'000));
    // A filter typed in: the field's own text must follow too.
    auto* filter = restoreView->findChild<QLineEdit*>(QStringLiteral("filterField"));
    ASSERT_NE(filter, nullptr);
    filter->setText(QStringLiteral("a.jpg"));
    app.openLearn();
    app.openAbout();
    app.openPromote();
    app.showWelcome();
    app.showProfileSuggestion(pair.id, QStringLiteral("photos"), BackupProfile::documents, 2'400'000);
    const std::pair<Kind, const char*> windows[] = {
        {Kind::restore, "restore"}, {Kind::learn, "learn"}, {Kind::about, "about"},
        {Kind::promote, "filing"}, {Kind::welcome, "welcome"}, {Kind::profileSuggestion, "smart-setup"},
    };
    const ScopedPalette dark(darkPalette());
    for (const auto& [kind, name] : windows) {
        QWidget* window = app.controller(kind).window();
        ASSERT_NE(window, nullptr) << name;
        expectReadable(*window, QStringLiteral("switched-") + QString::fromLatin1(name) + QStringLiteral("-dark"));
        window->close();
    }
}
