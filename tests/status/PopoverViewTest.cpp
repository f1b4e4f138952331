#include "PopoverHarness.h"

#include "support/Reference.h"
#include "support/Screenshot.h"

#include <QCursor>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

class PopoverViewTest : public PopoverHarness {
protected:
    QString pauseButtonText()
    {
        auto* button = part<QAbstractButton>(view(), "pauseButton");
        return button ? button->text() : QString();
    }

    // Three pairs the screenshots show: one copying, one with an error unfolded, one whose drive is away.
    void storeThreePairs()
    {
        writeFiles(c.tree.path("Photos"), 2);
        writeFiles(c.tree.path("Documents"), 2);
        writeFiles(c.tree.path("Music"), 2);
        folder("Drive/Backups");
        m_photos = c.storePair(QStringLiteral("Photos from the summer in Lisbon and Porto"), c.tree.path("Photos"),
                               c.tree.path("Drive/Backups"));
        m_documents = c.storePair(QStringLiteral("Documents"), c.tree.path("Documents"), c.tree.path("Drive/Backups"));
        m_music = c.storePair(QStringLiteral("Music"), c.tree.path("Music"), "/media/nobody/Away Drive/Backups");
        BackupPair documents = m_documents;
        documents.offsiteURL = folder("Dropbox/Larkfold");
        c.store().updatePair(documents);
        start();
        settle();
        show(m_photos.id, BackupStatus::syncing(0.42, QStringLiteral("IMG_0042.CR3")));
        show(m_documents.id, BackupStatus::error(BackupError::partialFailure(3, 120)));
        // With motion, so the busy row's ring shows.
        view(/*reduceMotion=*/false);
        row(m_documents.id).toggleErrorDetail();
        QWidget* detail = row(m_documents.id).findChild<QWidget*>(QStringLiteral("errorDetail"));
        ASSERT_TRUE(spinUntil([&] { return detail->graphicsEffect() == nullptr; }, 10'000));
    }

    // More pairs than the list shows at once; paused, so nothing changes under the test.
    std::vector<BackupPair> storeManyPairs(int count)
    {
        std::vector<BackupPair> pairs;
        for (int i = 0; i < count; ++i) {
            pairs.push_back(c.storePair(QStringLiteral("Pair %1").arg(i + 1), folder("src" + std::to_string(i)),
                                        folder("dest"), false));
        }
        start();
        return pairs;
    }

    QScrollArea* list() { return view().findChild<QScrollArea*>(QStringLiteral("pairList")); }

    // The whole row lies in the part of the list that shows.
    bool inView(QWidget* widget)
    {
        QWidget* viewport = list()->viewport();
        return viewport->rect().contains(QRect(widget->mapTo(viewport, QPoint()), widget->size()));
    }

    BackupPair m_photos;
    BackupPair m_documents;
    BackupPair m_music;
};

} // namespace

TEST_F(PopoverViewTest, WithoutPairsSaysHowToBegin)
{
    PopoverView& popover = view();
    EXPECT_NE(part(popover, "emptyState"), nullptr);
    EXPECT_EQ(part(popover, "pairList"), nullptr);
    EXPECT_EQ(popover.lastBackupLine(), QString());
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All")) << "there is no engine";
    // Nothing to act on: both buttons are off, the label stays.
    EXPECT_FALSE(part<QAbstractButton>(popover, "pauseButton")->isEnabled());
    EXPECT_FALSE(part<QAbstractButton>(popover, "backUpButton")->isEnabled());
    saveScreenshot(popover, QStringLiteral("popover-empty"));
    EXPECT_LOOKS_AS_REFERENCE(popover, "status", QStringLiteral("popover-empty"));
}

// Rows below the fold show a scroll bar, and a row just added or just unfolded is scrolled into view.
TEST_F(PopoverViewTest, RowsBelowTheFoldScrollIntoView)
{
    const std::vector<BackupPair> pairs = storeManyPairs(7);
    PopoverView& popover = view();
    QScrollBar* bar = list()->verticalScrollBar();
    ASSERT_TRUE(spinUntil([&] { return bar->isVisible(); })) << "the rows overflow";
    EXPECT_TRUE(inView(popover.rows().front()));
    EXPECT_FALSE(inView(popover.rows().back()));

    const BackupPair added = c.makePair(QStringLiteral("Added last"), folder("added"), folder("dest"), false);
    c.manager().addPair(added);
    EXPECT_TRUE(spinUntil([&] { return inView(&row(added.id)); }));
    saveScreenshot(popover, QStringLiteral("popover-overflow-light"));
    EXPECT_LOOKS_AS_REFERENCE(popover, "status", QStringLiteral("popover-overflow-light"));

    bar->setValue(0);
    show(pairs.back().id, BackupStatus::error(BackupError::partialFailure(2, 40)));
    row(pairs.back().id).toggleErrorDetail();
    EXPECT_TRUE(spinUntil([&] { return inView(&row(pairs.back().id)); })) << "the unfolded detail shows in full";
    EXPECT_TRUE(row(pairs.back().id).isErrorDetailShown());
    {
        const ScopedPalette dark(darkPalette());
        saveScreenshot(popover, QStringLiteral("popover-overflow-dark"));
        EXPECT_LOOKS_AS_REFERENCE(popover, "status", QStringLiteral("popover-overflow-dark"));
    }
}

// A row's hover goes when the pointer is no longer over it: the list scrolled under a still
// pointer, or the popover closed under it.
TEST_F(PopoverViewTest, HoverGoesWithThePointer)
{
    storeManyPairs(7);
    PopoverView& popover = view();
    QScrollBar* bar = list()->verticalScrollBar();
    ASSERT_TRUE(spinUntil([&] { return bar->isVisible(); }));
    BackupPairRow* first = popover.rows().front();
    QTest::mouseMove(first, first->rect().center());
    QCoreApplication::processEvents();
    ASSERT_TRUE(first->isHovered());

    bar->setValue(bar->maximum());
    EXPECT_FALSE(first->isHovered());
    EXPECT_EQ(first->hoverAmount(), 0.0);
    BackupPairRow* under = nullptr;
    for (BackupPairRow* shown : popover.rows())
        if (shown->isHovered())
            under = shown;
    ASSERT_NE(under, nullptr) << "the row that came under the pointer";

    // Closed, then opened again with the pointer elsewhere (on the tray icon).
    popover.hide();
    EXPECT_FALSE(under->isHovered());
    QWidget elsewhere;
    elsewhere.setGeometry(popover.geometry().translated(popover.width() + 50, 0));
    elsewhere.show();
    QTest::mouseMove(&elsewhere, elsewhere.rect().center());
    popover.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(under->isHovered());
    EXPECT_EQ(under->hoverAmount(), 0.0);
}

TEST_F(PopoverViewTest, LastBackupLineAtEveryBoundary)
{
    // Paused pairs: no run of theirs moves the date while the test sets it.
    const BackupPair first = c.storePair(QStringLiteral("A"), folder("a"), folder("dest"), false);
    const BackupPair second = c.storePair(QStringLiteral("B"), folder("b"), folder("dest"), false);
    PopoverView& popover = view();
    EXPECT_EQ(popover.lastBackupLine(), QString()) << "never backed up";

    const struct {
        qint64 seconds;
        const char* text;
    } cases[] = {
        {-10, "Last backup: Just now"}, {59, "Last backup: Just now"}, {60, "Last backup: 1m ago"},
        {3599, "Last backup: 59m ago"}, {3600, "Last backup: 1h ago"}, {86399, "Last backup: 23h ago"},
        {86400, "Last backup: 1d ago"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        changePair(first.id, [&](BackupPair& pair) { pair.lastBackupAt = now.addSecs(-c.seconds); });
        // The other pair's backup is older: the newest one counts.
        changePair(second.id, [&](BackupPair& pair) { pair.lastBackupAt = now.addSecs(-c.seconds - 86400 * 3); });
        EXPECT_EQ(popover.lastBackupLine(), QString::fromUtf8(c.text));
    }
}

TEST_F(PopoverViewTest, RowsFollowTheStoreInItsOrderWithDividersBetween)
{
    const BackupPair a = c.storePair(QStringLiteral("Zebra"), folder("z"), folder("dest"), false);
    const BackupPair b = c.storePair(QStringLiteral("Apple"), folder("a"), folder("dest"), false);
    start();
    const BackupPair d = c.makePair(QStringLiteral("Mango"), folder("m"), folder("dest"), false);
    c.manager().addPair(d);
    PopoverView& popover = view();

    std::vector<QString> names;
    for (BackupPairRow* shown : popover.rows())
        names.push_back(shown->pair().name);
    EXPECT_EQ(names, (std::vector<QString>{QStringLiteral("Zebra"), QStringLiteral("Apple"), QStringLiteral("Mango")}))
        << "no sorting";
    QCoreApplication::processEvents();
    const auto dividers = popover.findChildren<QWidget*>(QStringLiteral("rowDivider"));
    ASSERT_EQ(dividers.size(), 2);
    // After the first and the second row only.
    const auto bottom = [&](QWidget* widget) { return widget->mapTo(&popover, QPoint(0, widget->height())).y(); };
    const auto top = [&](QWidget* widget) { return widget->mapTo(&popover, QPoint()).y(); };
    std::vector<int> dividerTops;
    for (QWidget* divider : dividers)
        dividerTops.push_back(top(divider));
    std::sort(dividerTops.begin(), dividerTops.end());
    EXPECT_EQ(dividerTops.at(0), bottom(popover.rows().at(0)));
    EXPECT_EQ(dividerTops.at(1), bottom(popover.rows().at(1)));

    // A row keeps its unfolded state while its pair stays; a removed pair's row goes.
    c.manager().removePair(b.id);
    QCoreApplication::processEvents();
    ASSERT_EQ(popover.rows().size(), 2u);
    EXPECT_EQ(popover.rows().at(0)->pair().id, a.id);
    EXPECT_EQ(popover.findChildren<QWidget*>(QStringLiteral("rowDivider")).size(), 1);
}

TEST_F(PopoverViewTest, APairWithoutAnEngineShowsAsIdle)
{
    const BackupPair pair = c.storePair(QStringLiteral("Docs"), folder("docs"), folder("dest"), false);
    start();
    PopoverView& popover = view();
    // A record the coordinator made no engine for.
    const BackupPair orphan = c.makePair(QStringLiteral("Notes"), folder("notes"), folder("dest"));
    c.store().addPair(orphan);
    QCoreApplication::processEvents();
    ASSERT_EQ(popover.rows().size(), 2u);
    EXPECT_EQ(row(pair.id).statusText(), QStringLiteral("Paused"));
    EXPECT_EQ(row(orphan.id).statusText(), QStringLiteral("Up to date"));
    EXPECT_TRUE(row(orphan.id).status().is<BackupStatus::Idle>());
}

// The footer's buttons agree with the rows: "Pause All" while any row is not paused, "Resume All"
// resumes every paused pair, and "Back Up Now" says which paused pairs it left out.
TEST_F(PopoverViewTest, PauseAllAndResumeAllAgreeWithTheRows)
{
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), folder("docs"), folder("dest"));
    const BackupPair music = c.storePair(QStringLiteral("Music"), folder("music"), folder("dest"), false);
    start();
    settle();
    StatusManager& manager = c.manager();
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Pause All")) << "one paused, one idle";

    click(part(view(), "pauseButton"));
    EXPECT_TRUE(manager.isHeld(docs.id));
    EXPECT_TRUE(engine(docs.id).status().is<BackupStatus::Paused>());
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All"));
    EXPECT_EQ(row(docs.id).contextMenu()->actions().at(1)->text(), QStringLiteral("Resume"));
    EXPECT_FALSE(row(docs.id).contextMenu()->actions().at(0)->isEnabled()) << "Back Up Now";

    // Back Up Now runs nothing while every pair is paused, and says so.
    const int runs = c.eventCount(docs.id, BackupEvent::EventType::backup);
    click(part(view(), "backUpButton"));
    ASSERT_EQ(prompts.told.size(), 1u);
    EXPECT_EQ(prompts.told.back(), QStringLiteral("All backups are paused — choose Resume All to back them up."));
    // A pair added meanwhile waits with the others.
    const BackupPair photos = c.makePair(QStringLiteral("Photos"), folder("photos"), folder("dest"));
    manager.addPair(photos);
    QCoreApplication::processEvents();
    EXPECT_EQ(row(photos.id).statusText(), QStringLiteral("Paused"));
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All"));
    ASSERT_TRUE(c.waitForTasks());
    EXPECT_EQ(c.eventCount(docs.id, BackupEvent::EventType::backup), runs);

    // Resume All resumes them all, the pair paused on its own too.
    click(part(view(), "pauseButton"));
    settle();
    for (const BackupPair& pair : {docs, music, photos}) {
        SCOPED_TRACE(pair.name.toStdString());
        EXPECT_FALSE(engine(pair.id).status().is<BackupStatus::Paused>());
        EXPECT_TRUE(c.storedPair(pair.id).isEnabled);
    }
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Pause All"));

    // Every engine paused one by one, one of them for good: the button resumes them all.
    for (const BackupPair& pair : {docs, photos}) {
        engine(pair.id).stop();
        engine(pair.id).setStatus(BackupStatus::paused());
    }
    manager.togglePause(music.id);
    QCoreApplication::processEvents();
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All"));
    click(part(view(), "pauseButton"));
    settle();
    EXPECT_TRUE(c.storedPair(music.id).isEnabled);
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Pause All"));

    // Back Up Now names the paused pair it left out.
    manager.togglePause(music.id);
    click(part(view(), "backUpButton"));
    EXPECT_EQ(prompts.told.back(), QStringLiteral("“Music” is paused and was left out — resume it to back it up."));
    settle();
}

// At quit the coordinator takes the engines out one by one, and each stopping copy says so.
TEST_F(PopoverViewTest, FollowsTheEnginesWhileTheCoordinatorStopsThemAll)
{
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), folder("docs"), folder("dest"));
    const BackupPair music = c.storePair(QStringLiteral("Music"), folder("music"), folder("dest"));
    start();
    settle();
    view();
    show(docs.id, BackupStatus::syncing(0.3, QStringLiteral("a.txt")));
    show(music.id, BackupStatus::syncing(0.6, QStringLiteral("b.txt")));
    auto stopped = c.manager().stopAll();
    ASSERT_EQ(stopped.size(), 2u);
    QCoreApplication::processEvents();
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All")) << "no engine is left";
    for (BackupPairRow* shown : view().rows())
        EXPECT_TRUE(shown->status().is<BackupStatus::Idle>()) << "without an engine";
}

TEST_F(PopoverViewTest, BackUpNowBacksUpEveryEnabledPair)
{
    c.tree.write("docs/a.txt", "a");
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), c.tree.path("docs"), folder("dest"));
    const BackupPair music = c.storePair(QStringLiteral("Music"), folder("music"), folder("dest"), false);
    start();
    settle();
    const int runs = c.eventCount(docs.id, BackupEvent::EventType::backup);
    auto* button = part<QAbstractButton>(view(), "backUpButton");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("Back Up Now"));
    EXPECT_EQ(button->accessibleName(), QStringLiteral("Back up all pairs now"));
    click(button);
    EXPECT_TRUE(c.waitForEvents(docs.id, BackupEvent::EventType::backup, runs + 1));
    EXPECT_EQ(c.eventCount(music.id, BackupEvent::EventType::backup), 0);
}

TEST_F(PopoverViewTest, PlusShowsTheSheetAndTheGearAsksForTheMenu)
{
    PopoverView& popover = view();
    QSignalSpy pinned(&popover, &PopoverView::pinnedChanged);
    click(part(popover, "addButton"));
    ASSERT_TRUE(popover.isShowingAddBackup());
    EXPECT_TRUE(popover.addBackupView()->isVisible());
    EXPECT_TRUE(popover.isPinned()) << "the sheet's dialogs must not close the popover";
    ASSERT_EQ(pinned.count(), 1);
    EXPECT_TRUE(pinned.at(0).at(0).toBool());
    saveScreenshot(popover, QStringLiteral("popover-add-backup-sheet"));

    popover.showAddBackup();
    EXPECT_EQ(pinned.count(), 1) << "one sheet at a time";
    popover.addBackupView()->model().goBack();
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover.isShowingAddBackup());
    EXPECT_FALSE(popover.isPinned());
    ASSERT_EQ(pinned.count(), 2);
    EXPECT_FALSE(pinned.at(1).at(0).toBool());
    EXPECT_NE(part(popover, "emptyState"), nullptr);

    click(part(popover, "gearButton"));
    EXPECT_EQ(gearTaps, 1);
}

TEST_F(PopoverViewTest, AddingABackupThroughTheSheetShowsItsRow)
{
    const fs::path source = folder("Pictures");
    const fs::path destination = folder("Drive");
    PopoverView& popover = view();
    popover.showAddBackup();
    AddBackupModel& model = popover.addBackupView()->model();
    ASSERT_TRUE(model.handleDrop({QUrl::fromLocalFile(QString::fromStdString(source.string()))}));
    model.selectDestination(destination);
    model.skipOffsite();
    model.addBackups();
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover.isShowingAddBackup());
    ASSERT_EQ(popover.rows().size(), 1u);
    EXPECT_EQ(popover.rows().front()->pair().name, QStringLiteral("Pictures"));
}

TEST_F(PopoverViewTest, ScreenshotsOfThreePairsLightAndDark)
{
    storeThreePairs();
    PopoverView& popover = view();
    EXPECT_TRUE(row(m_photos.id).isPulsing());
    EXPECT_TRUE(row(m_music.id).status().is<BackupStatus::DestinationUnreachable>());
    EXPECT_TRUE(row(m_documents.id).isErrorDetailShown());
    saveScreenshot(popover, QStringLiteral("popover-three-pairs-light"));

    const QPalette original = QApplication::palette();
    QApplication::setPalette(darkPalette());
    QCoreApplication::processEvents();
    saveScreenshot(popover, QStringLiteral("popover-three-pairs-dark"));
    QApplication::setPalette(original);
}

TEST_F(PopoverViewTest, EmptyPopoverInTheDark)
{
    const QPalette original = QApplication::palette();
    QApplication::setPalette(darkPalette());
    saveScreenshot(view(), QStringLiteral("popover-empty-dark"));
    EXPECT_LOOKS_AS_REFERENCE(view(), "status", QStringLiteral("popover-empty-dark"));
    QApplication::setPalette(original);
}
