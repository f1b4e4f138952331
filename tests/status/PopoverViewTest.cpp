#include "PopoverHarness.h"

#include "support/Screenshot.h"

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
    saveScreenshot(popover, QStringLiteral("popover-empty"));
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

TEST_F(PopoverViewTest, PauseOrResumeIsDecidedAtTheClick)
{
    const BackupPair docs = c.storePair(QStringLiteral("Docs"), folder("docs"), folder("dest"));
    const BackupPair music = c.storePair(QStringLiteral("Music"), folder("music"), folder("dest"), false);
    start();
    settle();
    StatusManager& manager = c.manager();
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Pause All")) << "one paused, one idle";

    click(part(view(), "pauseButton"));
    EXPECT_TRUE(manager.isAllPaused());
    EXPECT_TRUE(engine(docs.id).status().is<BackupStatus::Paused>());
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All"));

    // While the hold lasts, whatever an engine shows meanwhile, the button resumes.
    engine(docs.id).setStatus(BackupStatus::idle());
    QCoreApplication::processEvents();
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All"));
    click(part(view(), "pauseButton"));
    EXPECT_FALSE(manager.isAllPaused());
    settle();
    EXPECT_FALSE(engine(docs.id).status().is<BackupStatus::Paused>());
    EXPECT_TRUE(engine(music.id).status().is<BackupStatus::Paused>()) << "the user's own pause stays";
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Pause All"));

    // Every engine paused one by one, without the hold: the button resumes them.
    engine(docs.id).stop();
    engine(docs.id).setStatus(BackupStatus::paused());
    QCoreApplication::processEvents();
    EXPECT_EQ(pauseButtonText(), QStringLiteral("Resume All"));
    click(part(view(), "pauseButton"));
    EXPECT_FALSE(manager.isAllPaused());
    settle();
    EXPECT_FALSE(engine(docs.id).status().is<BackupStatus::Paused>());
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
    QApplication::setPalette(original);
}
