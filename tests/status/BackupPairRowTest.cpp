#include "PopoverHarness.h"

#include "platform/FakeVolumeInfo.h"
#include "platform/FileEvents.h"
#include "shell/AppNotifications.h"
#include "status/RunErrorsView.h"
#include "support/Screenshot.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <QEnterEvent>
#include <QMenu>
#include <QSignalSpy>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

class BackupPairRowTest : public PopoverHarness {
protected:
    // One pair over real folders, backed up once and settled.
    BackupPair storeDocs()
    {
        c.tree.write("docs/a.txt", "hello");
        const BackupPair pair = c.storePair(QStringLiteral("Docs"), c.tree.path("docs"), folder("dest"));
        start();
        settle();
        return pair;
    }

    bool visible(BackupPairRow& pairRow, const char* name) { return part(pairRow, name) != nullptr; }

    QString toolTip(BackupPairRow& pairRow, const char* name)
    {
        QWidget* widget = part(pairRow, name);
        return widget ? widget->toolTip() : QString();
    }
};

} // namespace

TEST_F(BackupPairRowTest, EveryStatusWithItsTextDotAndControls)
{
    const BackupPair docs = storeDocs();
    changePair(docs.id, [&](BackupPair& pair) { pair.lastBackupAt = now.addSecs(-300); });
    view(/*reduceMotion=*/false);
    BackupPairRow& pairRow = row(docs.id);

    const struct {
        BackupStatus status;
        const char* text;
        bool relink;
        bool progress;
        bool pulsing;
    } cases[] = {
        {BackupStatus::syncing(0.427, QStringLiteral("Tax/2024.pdf")), "↑ 42%", false, true, true},
        {BackupStatus::completed(1, 0.5), "✓ 5m ago", false, false, false},
        {BackupStatus::error(BackupError::timedOut()), "⚠ Error", true, false, false},
        {BackupStatus::idle(), "✓ 5m ago", false, false, false},
        {BackupStatus::scanning(), "Scanning…", false, false, true},
        {BackupStatus::destinationUnreachable(), "Not connected", true, false, false},
        {BackupStatus::paused(), "Paused", false, false, false},
        {BackupStatus::queued(), "Queued", false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        show(docs.id, c.status);
        EXPECT_EQ(pairRow.statusText(), QString::fromUtf8(c.text));
        EXPECT_EQ(visible(pairRow, "relinkButton"), c.relink);
        EXPECT_EQ(visible(pairRow, "progressBar"), c.progress);
        EXPECT_EQ(pairRow.isPulsing(), c.pulsing);
        EXPECT_EQ(pairRow.accessibleName(), QStringLiteral("Docs, ") + QString::fromUtf8(c.text));
        EXPECT_EQ(pairRow.accessibleDescription(), c.relink ? QStringLiteral("Tap for details") : QString());
    }

    // The progress and the file being copied follow the engine.
    show(docs.id, BackupStatus::syncing(0.999, QStringLiteral("Tax/2025.pdf")));
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("↑ 99%"));
    EXPECT_EQ(toolTip(pairRow, "statusText"), QStringLiteral("Tax/2025.pdf"));
}

// "Reconnecting…" only while the reconnector looks for the destination; once it is found the pair
// backs up and shows its last backup again.
TEST_F(BackupPairRowTest, ReconnectingOnlyWhileAnAttemptLooksForTheDestination)
{
    c.tree.write("docs/a.txt", "hello");
    const fs::path drive = c.tree.path("Drive");
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), c.tree.path("docs"), drive);
    start();
    BackupPairRow& pairRow = row(docs.id);
    ASSERT_TRUE(spinUntil([&] { return engine(docs.id).status().is<BackupStatus::DestinationUnreachable>(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("Not connected"));

    c.wake.simulateWake();
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("Reconnecting…"));
    EXPECT_TRUE(spinUntil([&] { return pairRow.statusText() == QStringLiteral("Not connected"); }, 20'000))
        << "the attempt found nothing";

    fs::create_directories(drive);
    c.wake.simulateWake();
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("Reconnecting…"));
    ASSERT_TRUE(c.waitForEvents(docs.id, BackupEvent::EventType::backup, 1, 20'000));
    settle();
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("✓ Just now"));
}

// While copying, the figure and the bar show one value, also while the bar moves on to a new one.
TEST_F(BackupPairRowTest, TheFigureIsWhatTheBarDraws)
{
    const BackupPair docs = storeDocs();
    view(/*reduceMotion=*/false);
    BackupPairRow& pairRow = row(docs.id);
    show(docs.id, BackupStatus::syncing(0.76, QStringLiteral("film.mov")));
    show(docs.id, BackupStatus::idle());
    // A new run's bar starts where the run is, not at the last run's value.
    show(docs.id, BackupStatus::syncing(0.31, QStringLiteral("a.mov")));
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("↑ 31%"));
    EXPECT_DOUBLE_EQ(pairRow.shownProgress(), 0.31);

    // Reports come faster than the bar moves; whatever it draws, the figure says.
    for (int percent = 35; percent <= 90; percent += 5) {
        engine(docs.id).setStatus(BackupStatus::syncing(percent / 100.0, QStringLiteral("a.mov")));
        for (int turn = 0; turn < 3; ++turn) {
            spinFor(10);
            EXPECT_EQ(pairRow.statusText(), QStringLiteral("↑ %1%").arg(progressPercent(pairRow.shownProgress())));
        }
    }
    EXPECT_TRUE(spinUntil([&] { return pairRow.shownProgress() == 0.9; }, 10'000)) << "the bar catches up";
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("↑ 90%"));
}

TEST_F(BackupPairRowTest, NameAndDestinationLine)
{
    c.tree.write("docs/a.txt", "x");
    const BackupPair docs = c.storePair(QStringLiteral("Documents of the household, bank letters and tax returns"),
                                        c.tree.path("docs"), folder("Backup Drive/Larkfold Backups"));
    start();
    settle();
    BackupPairRow& pairRow = row(docs.id);
    auto* destination = part<ElidedText>(pairRow, "destinationText");
    ASSERT_NE(destination, nullptr);
    EXPECT_EQ(destination->text(), QStringLiteral("→ Larkfold Backups"));
    EXPECT_EQ(destination->toolTip(), QString::fromStdString(docs.destinationURL.string()));
    auto* name = part<ElidedText>(pairRow, "pairName");
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->shownText().contains(QStringLiteral("…"))) << "cut in the middle to fit";
    EXPECT_TRUE(name->shownText().startsWith(QStringLiteral("Documents")));
    EXPECT_TRUE(name->shownText().endsWith(QStringLiteral("returns")));
}

TEST_F(BackupPairRowTest, FreeSpaceIconBelowOneGibibyteAsTheEngineMeasuredIt)
{
    const BackupPair docs = storeDocs();
    BackupPairRow& pairRow = row(docs.id);
    EXPECT_FALSE(visible(pairRow, "freeSpaceIcon")) << "nothing measured";

    for (const std::int64_t available : {std::int64_t{1'073'741'824}, std::int64_t{1'073'741'823}}) {
        SCOPED_TRACE(available);
        c.volumes.setVolume({c.tree.root(), platform::VolumeSpace{4'000'000'000, std::uint64_t(available)}, 1});
        c.manager().backupPairNow(docs.id);
        ASSERT_TRUE(spinUntil([&] { return engine(docs.id).destinationFreeSpace() == available; }, 20'000));
        QCoreApplication::processEvents();
        const bool low = available < 1'073'741'824;
        EXPECT_EQ(visible(pairRow, "freeSpaceIcon"), low);
        if (low) {
            EXPECT_EQ(toolTip(pairRow, "freeSpaceIcon"), QStringLiteral("1.07 GB free on destination"));
        }
    }
}

TEST_F(BackupPairRowTest, OffsiteAndRedundancyIcons)
{
    const BackupPair docs = storeDocs();
    BackupPairRow& pairRow = row(docs.id);
    // One destination only: one backup.
    ASSERT_EQ(c.manager().copyRedundancy().at(docs.id), CopyRedundancy::singleBackup());
    EXPECT_FALSE(visible(pairRow, "offsiteIcon"));
    ASSERT_TRUE(visible(pairRow, "redundancyIcon"));
    auto* redundancy = part<SymbolView>(pairRow, "redundancyIcon");
    EXPECT_EQ(redundancy->name(), QStringLiteral("exclamationmark.circle"));
    EXPECT_EQ(redundancy->tone(), Tone::amber);
    EXPECT_EQ(redundancy->accessibleName(), redundancy->toolTip());
    EXPECT_TRUE(redundancy->toolTip().startsWith(QStringLiteral("There's just one backup of this folder.")));

    // An offsite folder makes a second copy: the warning goes and the cloud shows.
    changePair(docs.id, [&](BackupPair& pair) { pair.offsiteURL = folder("Dropbox/Offsite"); });
    c.manager().recomputeCopyRedundancy();
    QCoreApplication::processEvents();
    EXPECT_FALSE(visible(pairRow, "redundancyIcon"));
    EXPECT_EQ(toolTip(pairRow, "offsiteIcon"), QStringLiteral("Offsite copy in Offsite — first sync coming soon"));
    changePair(docs.id, [&](BackupPair& pair) { pair.lastOffsiteAt = now.addSecs(-2 * 86400); });
    EXPECT_EQ(toolTip(pairRow, "offsiteIcon"), QStringLiteral("Offsite copy in Offsite — last synced 2d ago"));

    // The source is gone from a disk that is there: the backup is the only copy.
    changePair(docs.id, [&](BackupPair& pair) { pair.offsiteURL.reset(); });
    fs::remove_all(c.tree.path("docs"));
    c.manager().recomputeCopyRedundancy();
    QCoreApplication::processEvents();
    EXPECT_EQ(part<SymbolView>(pairRow, "redundancyIcon")->tone(), Tone::red);
    EXPECT_TRUE(toolTip(pairRow, "redundancyIcon").startsWith(QStringLiteral("This is the only copy of these files.")));
}

// A source the system does not let the program watch is backed up on the schedule; the row says so.
TEST_F(BackupPairRowTest, AWatchWarningWhenChangesAreNotAllWatched)
{
    class FailingFileEvents final : public platform::FileEvents {
    public:
        std::optional<QString> start(const fs::path&, BatchHandler) override { return QStringLiteral("no watch"); }
        void stop() override {}
    };
    c.environment.engine.fileEvents = [] { return std::make_unique<FailingFileEvents>(); };
    const BackupPair docs = storeDocs();
    BackupPairRow& pairRow = row(docs.id);

    ASSERT_TRUE(visible(pairRow, "watchIcon"));
    auto* icon = part<SymbolView>(pairRow, "watchIcon");
    EXPECT_EQ(icon->tone(), Tone::amber);
    EXPECT_EQ(icon->toolTip(), QStringLiteral("Changes here can't be watched, so they're backed up on the schedule."));
    EXPECT_EQ(icon->accessibleName(), icon->toolTip());
    saveScreenshot(view(), QStringLiteral("popover-watch-warning"));
}

TEST_F(BackupPairRowTest, AClickUnfoldsTheProblemAndItFoldsWhenTheProblemGoes)
{
    const BackupPair docs = storeDocs();
    BackupPairRow& pairRow = row(docs.id);
    click(&pairRow);
    EXPECT_FALSE(pairRow.isErrorDetailShown()) << "nothing to unfold while all is well";

    show(docs.id, BackupStatus::error(BackupError::partialFailure(3, 120)));
    click(&pairRow);
    ASSERT_TRUE(pairRow.isErrorDetailShown());
    auto* description = part<QLabel>(pairRow, "errorDescription");
    auto* suggestion = part<QLabel>(pairRow, "errorSuggestion");
    ASSERT_NE(description, nullptr);
    ASSERT_NE(suggestion, nullptr);
    const BackupError error = BackupError::partialFailure(3, 120);
    EXPECT_EQ(description->text(), error.errorDescription());
    EXPECT_EQ(suggestion->text(), error.recoverySuggestion());
    click(&pairRow);
    EXPECT_FALSE(pairRow.isErrorDetailShown());

    // A drive that is away: its details say the destination was not found.
    show(docs.id, BackupStatus::destinationUnreachable());
    click(&pairRow);
    ASSERT_TRUE(pairRow.isErrorDetailShown());
    EXPECT_EQ(part<QLabel>(pairRow, "errorDescription")->text(),
              BackupError::destinationNotFound(docs.destinationURL).errorDescription());

    show(docs.id, BackupStatus::syncing(0.1, {}));
    EXPECT_FALSE(pairRow.isErrorDetailShown());
    EXPECT_EQ(part(pairRow, "errorDetail"), nullptr);
}

TEST_F(BackupPairRowTest, HoverAndUnfoldingAnimateUnlessMotionIsReduced)
{
    const BackupPair docs = storeDocs();
    {
        BackupPairRow& pairRow = row(docs.id);
        hover(pairRow, true);
        EXPECT_EQ(pairRow.hoverAmount(), 1.0) << "at once";
        show(docs.id, BackupStatus::queued());
        EXPECT_FALSE(pairRow.isPulsing()) << "no ring";
    }
    PopoverView moving(c.manager(), {}, [&] {
        PopoverView::Environment environment;
        environment.prompts = std::make_unique<ForwardingPairActionPrompts>(prompts);
        environment.now = [this] { return now; };
        environment.reduceMotion = false;
        return environment;
    }());
    moving.resize(kWidthPixels, kHeightPixels);
    moving.show();
    QCoreApplication::processEvents();
    BackupPairRow& pairRow = *moving.row(docs.id);
    EXPECT_TRUE(pairRow.isPulsing());
    hover(pairRow, true);
    EXPECT_LT(pairRow.hoverAmount(), 1.0) << "fading in";
    EXPECT_TRUE(spinUntil([&] { return pairRow.hoverAmount() == 1.0; }, 10'000));
    hover(pairRow, false);
    EXPECT_TRUE(spinUntil([&] { return pairRow.hoverAmount() == 0.0; }, 10'000));

    show(docs.id, BackupStatus::error(BackupError::timedOut()));
    pairRow.toggleErrorDetail();
    QWidget* detail = pairRow.findChild<QWidget*>(QStringLiteral("errorDetail"));
    ASSERT_NE(detail, nullptr);
    EXPECT_NE(detail->graphicsEffect(), nullptr) << "fading in";
    EXPECT_TRUE(spinUntil([&] { return detail->graphicsEffect() == nullptr; }, 10'000));
    EXPECT_TRUE(detail->isVisible());
}

TEST_F(BackupPairRowTest, TheMenuFollowsThePair)
{
    const BackupPair docs = storeDocs();
    QMenu* menu = row(docs.id).contextMenu();
    std::vector<QString> labels;
    for (QAction* action : menu->actions())
        labels.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(labels, (std::vector<QString>{QStringLiteral("Back Up Now"), QStringLiteral("Pause"), QStringLiteral("-"),
                                            QStringLiteral("Change Destination…"),
                                            QStringLiteral("Reveal in File Manager"), QStringLiteral("Restore Files…"),
                                            QStringLiteral("Redo Smart Setup…"), QStringLiteral("-"),
                                            QStringLiteral("Remove This Backup…")}));
    EXPECT_TRUE(menu->actions().at(0)->isEnabled());
    menu->popup(row(docs.id).mapToGlobal(QPoint(40, 20)));
    QCoreApplication::processEvents();
    saveScreenshot(*menu, QStringLiteral("popover-row-menu"));
    menu->hide();

    changePair(docs.id, [](BackupPair& pair) { pair.isEnabled = false; });
    menu = row(docs.id).contextMenu();
    EXPECT_FALSE(menu->actions().at(0)->isEnabled()) << "a paused pair is not backed up now";
    EXPECT_EQ(menu->actions().at(1)->text(), QStringLiteral("Resume"));
}

TEST_F(BackupPairRowTest, RelinkChoosesANewDestination)
{
    c.tree.write("docs/a.txt", "hello");
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), c.tree.path("docs"), c.tree.path("Away/Backups"));
    start();
    settle();
    PopoverView& popover = view();
    BackupPairRow& pairRow = row(docs.id);
    ASSERT_TRUE(pairRow.status().is<BackupStatus::DestinationUnreachable>());
    QSignalSpy closing(&popover, &PopoverView::closeRequested);
    const fs::path replacement = folder("New Drive");
    prompts.folderAnswers.push_back({replacement});

    QWidget* relink = part(pairRow, "relinkButton");
    ASSERT_NE(relink, nullptr);
    QTest::mouseClick(relink, Qt::LeftButton, {}, relink->rect().center());
    EXPECT_EQ(closing.count(), 1) << "the popover closes first";
    EXPECT_TRUE(prompts.panels.empty()) << "the panel opens once the click has ended";
    ASSERT_TRUE(spinUntil([&] { return !prompts.panels.empty(); }));
    EXPECT_EQ(prompts.panels.front().prompt, QStringLiteral("Choose Destination"));
    EXPECT_EQ(prompts.panels.front().message, QStringLiteral("Choose where \"Docs\" should be backed up to"));
    ASSERT_TRUE(spinUntil([&] { return c.storedPair(docs.id).destinationURL == replacement; }));
    EXPECT_TRUE(c.storedPair(docs.id).destinationBookmark.has_value());
    EXPECT_TRUE(c.waitForEvents(docs.id, BackupEvent::EventType::backup, 1));
    settle();
    EXPECT_FALSE(row(docs.id).status().is<BackupStatus::DestinationUnreachable>());
    EXPECT_EQ(part<ElidedText>(row(docs.id), "destinationText")->text(), QStringLiteral("→ New Drive"));
}

TEST_F(BackupPairRowTest, HeldDeletionsKeepTheirOwnWordsUntilTheUserRestoresOrConfirms)
{
    for (int i = 0; i < 20; ++i)
        c.tree.write("Work/f" + std::to_string(i) + ".txt", "x");
    const BackupPair work = c.storePair(QStringLiteral("Work"), c.tree.path("Work"), folder("dest"));
    start();
    settle();
    BackupPairRow& pairRow = row(work.id);
    for (int i = 2; i < 20; ++i)
        fs::remove(c.tree.path("Work/f" + std::to_string(i) + ".txt"));
    c.manager().backupPairNow(work.id);
    const auto holding = [&] {
        const auto* error = engine(work.id).status().as<BackupStatus::Error>();
        return error && error->error.is<BackupError::DeletionHeld>();
    };
    ASSERT_TRUE(spinUntil(holding, 20'000));
    settle();
    EXPECT_TRUE(holding()) << "no return to a good status while the files wait for an answer";
    EXPECT_EQ(pairRow.statusText(), QStringLiteral("⚠ Many deleted"));
    EXPECT_FALSE(visible(pairRow, "relinkButton"));

    click(&pairRow);
    ASSERT_TRUE(pairRow.isErrorDetailShown());
    EXPECT_EQ(part<QLabel>(pairRow, "errorDescription")->text(),
              QStringLiteral("18 files disappeared from Work at once, so Larkfold kept their backups where they are."));
    EXPECT_FALSE(visible(pairRow, "showDetailsButton")) << "no file failed";
    saveScreenshot(view(), QStringLiteral("popover-row-deletions-held"));
    {
        ScopedPalette dark(darkPalette());
        saveScreenshot(view(), QStringLiteral("popover-row-deletions-held-dark"));
    }

    // Restore them: the restore window is asked for with exactly those files.
    std::vector<std::string> ticked;
    const auto connection = QObject::connect(&AppNotifications::instance(), &AppNotifications::showRestoreRequested,
                                             [&](const QUuid& id, const std::vector<std::string>& tick) {
                                                 EXPECT_EQ(id, work.id);
                                                 ticked = tick;
                                             });
    click(part(pairRow, "restoreHeldButton"));
    QObject::disconnect(connection);
    std::sort(ticked.begin(), ticked.end());
    std::vector<std::string> expected;
    for (int i = 2; i < 20; ++i)
        expected.push_back("f" + std::to_string(i) + ".txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ticked, expected);

    // One of them came back; the others the user confirms gone: only those move, once asked.
    c.tree.write("Work/f3.txt", "back");
    prompts.confirmAnswers.push_back(true);
    click(part(pairRow, "confirmDeletionButton"));
    ASSERT_EQ(prompts.confirmations.size(), 1u);
    EXPECT_EQ(prompts.confirmations[0].confirmButton, QStringLiteral("Confirm Deletion"));
    ASSERT_TRUE(spinUntil([&] { return !holding() && engine(work.id).heldDeletions().empty(); }, 30'000));
    settle();
    const fs::path backup = c.tree.path("dest/Larkfold/Work");
    ASSERT_TRUE(spinUntil([&] { return fs::exists(backup / "f3.txt") && !fs::exists(backup / "f4.txt"); }, 20'000));
    EXPECT_TRUE(fs::exists(backup / "f0.txt"));
    std::size_t trashed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(c.tree.path("dest/.Larkfold-Trash")))
        trashed += entry.is_regular_file();
    EXPECT_EQ(trashed, 17u);
    EXPECT_FALSE(pairRow.isErrorDetailShown());
}

TEST_F(BackupPairRowTest, ShowDetailsListsWhatFailedWithTheSystemsWords)
{
    c.tree.write("docs/a.txt", "hello");
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), c.tree.path("docs"), "/etc");
    start();
    ASSERT_TRUE(spinUntil([&] { return engine(docs.id).status().is<BackupStatus::Error>(); }, 20'000));
    settle();
    BackupPairRow& pairRow = row(docs.id);
    click(&pairRow);
    ASSERT_TRUE(pairRow.isErrorDetailShown());
    EXPECT_EQ(part<QLabel>(pairRow, "errorSuggestion")->text(), QStringLiteral("Show Details… says where and why."));
    QSignalSpy asked(&AppNotifications::instance(), &AppNotifications::showRunErrorsRequested);
    click(part(pairRow, "showDetailsButton"));
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked.at(0).at(0).toUuid(), docs.id);

    RunErrorsView details(docs.name, &engine(docs.id));
    details.resize(680, 360);
    details.show();
    auto* list = details.findChild<QTreeWidget*>(QStringLiteral("runErrorsList"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Checking the folders"));
    EXPECT_EQ(list->topLevelItem(0)->text(2),
              QStringLiteral("Destination is a protected system folder. Choose a different destination."));
    EXPECT_EQ(details.findChild<QLabel*>(QStringLiteral("runErrorsHeading"))->text(),
              QStringLiteral("1 problem in the last backup of Docs"));
    click(details.findChild<QPushButton*>(QStringLiteral("copyRunErrorsButton")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), details.model().clipboardText());
    saveScreenshot(details, QStringLiteral("run-errors"));
    ScopedPalette dark(darkPalette());
    saveScreenshot(details, QStringLiteral("run-errors-dark"));
}
