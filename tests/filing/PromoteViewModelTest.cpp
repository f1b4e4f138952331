#include "filing/FilingFixture.h"
#include "filing/PromoteViewModel.h"
#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/MountSource.h"
#include "platform/Trash.h"
#include "support/EventLoop.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;
using Step = PromoteViewModel::Step;
namespace fs = std::filesystem;

using test::kFilingTimeoutMs;
using test::kToday;

namespace {

class PromoteViewModelTest : public ::testing::Test {
protected:
    PromoteViewModelTest()
        : bookmarks(platform::systemMountSource())
        , model(kToday, ProjectFiler(platform::systemFileSystem(), platform::systemMountSource(), &applications),
                platform::systemTrash(), bookmarks)
    {
        tree.mkdir("Archive");
    }

    bool waitUntilFinished() { return test::spinUntil([&] { return model.step() == Step::finished; }, kFilingTimeoutMs); }

    TempTree tree;
    test::NoApplications applications;
    platform::Bookmarks bookmarks;
    PromoteViewModel model;
};

} // namespace

TEST_F(PromoteViewModelTest, StartsOnTheChooseStep)
{
    EXPECT_EQ(model.step(), Step::choose);
    EXPECT_EQ(model.year(), 2026);
    EXPECT_TRUE(model.name().isEmpty());
    EXPECT_FALSE(model.project() || model.inspection() || model.rebuildable() || model.outcome() || model.archiveRoot());
    EXPECT_FALSE(model.canFile());
    EXPECT_TRUE(model.destinationPath().isEmpty());
}

TEST_F(PromoteViewModelTest, ChoosingAProjectProposesItsNameAndYear)
{
    const fs::path spot = test::makeProject(tree, "Spot  FW24");
    tree.write("Spot  FW24/2 Project Files/Render Files/r.bin", "r");
    QSignalSpy steps(&model, &PromoteViewModel::stepChanged);

    model.setRemoveRebuildable(true);
    model.choose(spot);
    EXPECT_EQ(model.step(), Step::review);
    EXPECT_EQ(steps.count(), 1);
    EXPECT_EQ(model.project(), spot);
    ASSERT_TRUE(model.inspection().has_value());
    EXPECT_EQ(model.inspection()->name, "Spot  FW24");
    EXPECT_EQ(model.name(), "Spot FW24");
    EXPECT_EQ(model.year(), 2024);
    ASSERT_TRUE(model.rebuildable().has_value());
    EXPECT_EQ(model.rebuildable()->items.size(), 1u);
    EXPECT_FALSE(model.removeRebuildable());

    model.choose(test::makeProject(tree, "Spot"));
    EXPECT_EQ(model.year(), 2026);
    EXPECT_TRUE(model.rebuildable()->items.empty());
}

TEST_F(PromoteViewModelTest, CanFileWithAProjectAnArchiveAndAUsableName)
{
    EXPECT_FALSE(model.canFile());
    model.choose(test::makeProject(tree, "Spot"));
    EXPECT_FALSE(model.canFile()); // no archive folder yet
    model.setArchiveRoot(tree.path("Archive"));
    const std::pair<const char*, bool> names[] = {
        {"Spot", true}, {"Spot ", true}, {"   ", false}, {"\t", false}, {".", false}, {"..", false}, {"a/b", false}};
    for (const auto& [name, canFile] : names) {
        SCOPED_TRACE(name);
        model.setName(name);
        EXPECT_EQ(model.canFile(), canFile);
    }
    model.setName("Spot ");
    model.setYear(2019);
    EXPECT_EQ(model.destinationPath(), QString::fromStdString(tree.path("Archive").native()) + "/2019/Spot ");
}

TEST_F(PromoteViewModelTest, FilesOnAWorkerAndFinishesWithTheOutcome)
{
    const fs::path spot = test::makeProject(tree, "Spot");
    for (int i = 0; i < 20; ++i)
        tree.write("Spot/3 Media/take " + std::to_string(i) + ".mov", std::string(100, 't'));
    model.choose(spot);
    model.setArchiveRoot(tree.path("Archive"));
    model.setName("Spot "); // filed without the trailing space
    std::vector<double> fractions;
    QStringList labels;
    QObject::connect(&model, &PromoteViewModel::progressChanged, [&] { fractions.push_back(model.progress()); });
    QObject::connect(&model, &PromoteViewModel::progressLabelChanged, [&] { labels << model.progressLabel(); });
    QSignalSpy outcomes(&model, &PromoteViewModel::outcomeChanged);

    model.file();
    EXPECT_EQ(model.step(), Step::filing);
    EXPECT_EQ(model.progress(), 0.0);
    ASSERT_TRUE(waitUntilFinished());

    EXPECT_EQ(outcomes.count(), 1);
    ASSERT_TRUE(model.outcome().has_value());
    EXPECT_TRUE(model.outcome()->isFiled()) << model.outcome()->summary().toStdString();
    EXPECT_EQ(model.outcome()->plan.destination, tree.path("Archive/2026/Spot"));
    EXPECT_EQ(model.outcome()->plan.name, "Spot");
    EXPECT_EQ(model.progress(), 1.0);
    EXPECT_TRUE(fs::exists(tree.path("Archive/2026/Spot/6 Finals/final.mp4")));
    ASSERT_GE(fractions.size(), 2u);
    for (const double fraction : fractions) {
        EXPECT_GE(fraction, 0.0);
        EXPECT_LE(fraction, 1.0);
    }
    EXPECT_FALSE(labels.isEmpty());
    EXPECT_EQ(model.progressLabel(), labels.last()); // kept after the end
}

TEST_F(PromoteViewModelTest, TidyingUpTrashesTheCachesBeforeTheCopy)
{
    const fs::path spot = test::makeProject(tree, "Spot");
    tree.write("Spot/2 Project Files/Edit/Render Files/r.bin", std::string(1000, 'r'));
    model.choose(spot);
    model.setArchiveRoot(tree.path("Archive"));
    model.setRemoveRebuildable(true);

    model.file();
    EXPECT_EQ(model.progressLabel(), "Tidying up files your apps can rebuild…");
    ASSERT_TRUE(waitUntilFinished());
    EXPECT_TRUE(model.outcome()->isFiled()) << model.outcome()->summary().toStdString();
    EXPECT_FALSE(tree.exists("Spot/2 Project Files/Edit/Render Files"));
    EXPECT_TRUE(tree.exists("Spot/2 Project Files/Edit"));
    EXPECT_FALSE(tree.exists("Archive/2026/Spot/2 Project Files/Edit/Render Files"));

    // Nothing found: the label is still the tidy-up text until the first report.
    model.reset();
    model.choose(test::makeProject(tree, "Plain"));
    model.setRemoveRebuildable(true);
    model.file();
    EXPECT_EQ(model.progressLabel(), "Tidying up files your apps can rebuild…");
    ASSERT_TRUE(waitUntilFinished());
    EXPECT_TRUE(model.outcome()->isFiled());
}

TEST_F(PromoteViewModelTest, AFilingThatIsRefusedTrashesNothing)
{
    const fs::path spot = test::makeProject(tree, "Spot");
    tree.write("Spot/2 Project Files/Render Files/r.bin", "r");
    tree.write("Archive/2026/Spot/cut.mov", "filed before");
    model.choose(spot);
    model.setArchiveRoot(tree.path("Archive"));
    model.setRemoveRebuildable(true);
    model.file();
    ASSERT_TRUE(waitUntilFinished());
    EXPECT_TRUE(model.outcome()->summary().startsWith("There's already something filed as \"Spot\" in 2026."));
    EXPECT_TRUE(tree.exists("Spot/2 Project Files/Render Files/r.bin"));

    // An archive inside the project.
    model.reset();
    model.choose(spot);
    model.setArchiveRoot(tree.mkdir("Spot/5 Drafts/Archive"));
    model.setRemoveRebuildable(true);
    model.file();
    ASSERT_TRUE(waitUntilFinished());
    EXPECT_TRUE(model.outcome()->summary().startsWith("The archive folder and \"Spot\" lie inside one another"));
    EXPECT_TRUE(tree.exists("Spot/2 Project Files/Render Files/r.bin"));
    EXPECT_TRUE(test::namesIn(tree.path("Spot/5 Drafts/Archive")).empty());
}

// An archive where the year folder cannot be made (a read-only drive): filing stops before the
// caches go to the Trash, so nothing of the project is lost.
TEST_F(PromoteViewModelTest, CachesStayWhenTheArchiveFoldersCannotBeMade)
{
    platform::FaultInjectingFileSystem files;
    files.failAlways(platform::FileOperation::createDirectory, EROFS);
    PromoteViewModel readOnly(kToday, ProjectFiler(files, platform::systemMountSource(), &applications),
                              platform::systemTrash(), bookmarks);
    const fs::path spot = test::makeProject(tree, "Spot");
    tree.write("Spot/2 Project Files/Render Files/r.bin", "r");
    readOnly.choose(spot);
    readOnly.setArchiveRoot(tree.path("Archive"));
    readOnly.setRemoveRebuildable(true);
    readOnly.file();
    ASSERT_TRUE(test::spinUntil([&] { return readOnly.step() == Step::finished; }, kFilingTimeoutMs));
    EXPECT_EQ(readOnly.outcome()->summary(), "Couldn't create the folder for 2026: Read-only file system.");
    EXPECT_TRUE(tree.exists("Spot/2 Project Files/Render Files/r.bin"));
    EXPECT_TRUE(test::namesIn(tree.path("Archive")).empty());
}

TEST_F(PromoteViewModelTest, OneFilingAtATime)
{
    const fs::path spot = test::makeProject(tree, "Spot");
    model.choose(spot);
    model.setArchiveRoot(tree.path("Archive"));
    QSignalSpy outcomes(&model, &PromoteViewModel::outcomeChanged);

    model.file();
    // While it runs, nothing starts another filing or leaves the filing step.
    model.file();
    model.reset();
    model.choose(test::makeProject(tree, "Other"));
    EXPECT_EQ(model.step(), Step::filing);
    EXPECT_EQ(model.project(), spot);
    ASSERT_TRUE(waitUntilFinished());
    test::spinFor(50);
    EXPECT_EQ(outcomes.count(), 1);
    EXPECT_TRUE(model.outcome()->isFiled());
    EXPECT_EQ(test::namesIn(tree.path("Archive/2026")), std::vector<std::string>{"Spot"});
}

TEST_F(PromoteViewModelTest, ResetKeepsTheArchiveFolder)
{
    model.choose(test::makeProject(tree, "Spot FW24"));
    model.setArchiveRoot(tree.path("Archive"));
    model.file();
    ASSERT_TRUE(waitUntilFinished());

    // A second project keeps the last outcome until the next filing or a reset.
    model.choose(test::makeProject(tree, "Next"));
    EXPECT_EQ(model.step(), Step::review);
    EXPECT_TRUE(model.outcome().has_value());

    model.reset();
    EXPECT_EQ(model.step(), Step::choose);
    EXPECT_FALSE(model.project() || model.inspection() || model.rebuildable() || model.outcome());
    EXPECT_TRUE(model.name().isEmpty());
    EXPECT_EQ(model.year(), 2026);
    EXPECT_EQ(model.progress(), 0.0);
    EXPECT_TRUE(model.progressLabel().isEmpty());
    EXPECT_EQ(model.archiveRoot(), tree.path("Archive"));

    model.choose(tree.path("Next"));
    EXPECT_TRUE(model.canFile());
}

TEST_F(PromoteViewModelTest, AModelGoneBeforeItsFilingEndsReceivesNothing)
{
    const fs::path spot = test::makeProject(tree, "Spot");
    auto* doomed = new PromoteViewModel(
        kToday, ProjectFiler(platform::systemFileSystem(), platform::systemMountSource(), &applications),
        platform::systemTrash(), bookmarks);
    doomed->choose(spot);
    doomed->setArchiveRoot(tree.path("Archive"));
    doomed->file();
    delete doomed; // stops the copy between files and waits for it
    test::spinFor(50); // the reports already queued find no model
    EXPECT_TRUE(tree.exists("Spot/6 Finals/final.mp4"));
}

TEST(PromoteViewModelYear, TypedYearsFrom1990To2100)
{
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"2024", 2024}, {"1990", 1990}, {"2100", 2100}, {" 2031 ", 2031}, {"1989", std::nullopt},
        {"2101", std::nullopt}, {"20.5", std::nullopt}, {"2,024", std::nullopt}, {"", std::nullopt}, {"next", std::nullopt}};
    for (const auto& [text, year] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(PromoteViewModel::yearFromText(text), year);
    }
}
