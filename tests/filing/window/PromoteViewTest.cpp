#include "widgets/ElidedText.h"
#include "filing/FilingFixture.h"
#include "filing/FilingPrompts.h"
#include "filing/FilingWindow.h"
#include "filing/PromoteView.h"
#include "filing/PromoteViewModel.h"
#include "platform/Bookmark.h"
#include "platform/FaultInjectingFileSystem.h"
#include "platform/MountSource.h"
#include "platform/Trash.h"
#include "support/EventLoop.h"
#include "support/Reference.h"
#include "support/Screenshot.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>


#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <future>
#include <memory>

using namespace larkfold;
using larkfold::test::TempTree;
using Step = PromoteViewModel::Step;
namespace fs = std::filesystem;

using test::kFilingTimeoutMs;
using test::kToday;

namespace {

// Answers the panels from queues; an empty queue is a cancelled panel.
class ScriptedPrompts final : public FilingPrompts {
public:
    std::optional<fs::path> chooseProjectFolder(QWidget*) override
    {
        ++projectPanels;
        return next(projects);
    }
    std::optional<fs::path> chooseArchiveFolder(QWidget*) override
    {
        ++archivePanels;
        return next(archives);
    }
    void revealInFileManager(const fs::path& folder) override { revealed.push_back(folder); }

    std::deque<fs::path> projects;
    std::deque<fs::path> archives;
    std::vector<fs::path> revealed;
    int projectPanels = 0;
    int archivePanels = 0;

private:
    static std::optional<fs::path> next(std::deque<fs::path>& queue)
    {
        if (queue.empty())
            return std::nullopt;
        fs::path folder = queue.front();
        queue.pop_front();
        return folder;
    }
};

class PromoteViewTest : public ::testing::Test {
protected:
    PromoteViewTest()
        : bookmarks(platform::systemMountSource())
        , model(kToday, ProjectFiler(fileSystem, platform::systemMountSource(), &applications), platform::systemTrash(),
                bookmarks)
    {
        tree.mkdir("Archive");
        openWindow();
    }

    ~PromoteViewTest() override { release(); }

    void openWindow()
    {
        auto scripted = std::make_unique<ScriptedPrompts>();
        prompts = scripted.get();
        window = std::make_unique<FilingWindow>(model, std::move(scripted));
        window->show();
    }

    // Holds the next filing at the start of its copy until release().
    void holdTheCopy()
    {
        fileSystem.beforeNth(platform::FileOperation::status, 1, [this] {
            copyReached = true;
            held.wait();
        });
    }
    void release()
    {
        if (!released) {
            released = true;
            gate.set_value();
        }
    }

    template <class Widget>
    Widget* find(const char* name) const
    {
        auto* widget = window->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool shown(const char* name) const { return find<QWidget>(name)->isVisibleTo(window.get()); }
    QString text(const char* name) const
    {
        if (auto* elided = window->findChild<ElidedText*>(QLatin1String(name)))
            return elided->text();
        if (auto* button = window->findChild<QPushButton*>(QLatin1String(name)))
            return button->text();
        return find<QLabel>(name)->text();
    }
    void click(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    void typeYear(const QString& year)
    {
        auto* field = find<QLineEdit>("yearField");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, year);
        emit field->editingFinished();
    }
    bool waitForStep(Step step) { return test::spinUntil([&] { return model.step() == step; }, kFilingTimeoutMs); }

    TempTree tree;
    test::NoApplications applications;
    platform::FaultInjectingFileSystem fileSystem;
    platform::Bookmarks bookmarks;
    std::promise<void> gate;
    std::shared_future<void> held = gate.get_future().share();
    bool released = false;
    std::atomic<bool> copyReached = false;
    PromoteViewModel model;
    ScriptedPrompts* prompts = nullptr;
    std::unique_ptr<FilingWindow> window;
};

} // namespace

// The whole way through, with a screenshot of each step.
TEST_F(PromoteViewTest, WalksThroughTheFourSteps)
{
    EXPECT_EQ(window->windowTitle(), "File a Finished Project");
    const fs::path project = test::makeProject(tree, "Spring 24 Lookbook");
    fs::remove_all(project / "5 Drafts");
    tree.write("Spring 24 Lookbook/notes.txt", "loose");
    tree.write("Spring 24 Lookbook/2 Project Files/Edit/Render Files/r.bin", std::string(2'400'000, 'r'));
    tree.write("Spring 24 Lookbook/2 Project Files/Media Cache/m.bin", std::string(1'000'000, 'm'));
    test::saveScreenshot(*window, "filing-1-choose");
    EXPECT_LOOKS_AS_REFERENCE(*window, "filing", "filing-1-choose");

    // Return presses "Choose Project Folder…".
    prompts->projects.push_back(project);
    QTest::keyClick(window.get(), Qt::Key_Return);
    ASSERT_TRUE(waitForStep(Step::review));
    EXPECT_EQ(text("projectName"), "Spring 24 Lookbook");
    EXPECT_TRUE(shown("warningsBox"));
    EXPECT_TRUE(shown("tidyUpBox"));
    EXPECT_EQ(text("tidyUpLabel"), "3.4 MB in 2 folders your editing apps rebuild on their own. Removing it won't "
                                   "affect your footage or finished videos.");
    EXPECT_EQ(find<QLineEdit>("nameField")->text(), "Spring 24 Lookbook");
    EXPECT_EQ(find<QLineEdit>("yearField")->text(), "2024");
    EXPECT_EQ(text("archivePath"), "Not chosen yet");
    EXPECT_EQ(text("archiveButton"), "Choose…");
    EXPECT_FALSE(shown("goesTo"));
    EXPECT_FALSE(find<QPushButton>("fileButton")->isEnabled());
    test::saveScreenshot(*window, "filing-2-review-without-archive");
    EXPECT_LOOKS_AS_REFERENCE(*window, "filing", "filing-2-review-without-archive");

    prompts->archives.push_back(tree.path("Archive"));
    click("archiveButton");
    ASSERT_TRUE(test::spinUntil([&] { return model.archiveRoot().has_value(); }));
    EXPECT_EQ(text("archivePath"), QString::fromStdString(tree.path("Archive").native()));
    EXPECT_EQ(text("archiveButton"), "Change…");
    EXPECT_TRUE(shown("goesTo"));
    EXPECT_EQ(text("goesTo"), "Goes to " + QString::fromStdString(tree.path("Archive").native()) + "/2024/Spring 24 Lookbook");
    EXPECT_TRUE(find<QPushButton>("fileButton")->isEnabled());

    // The year field refuses what is out of range or no whole number.
    for (const char* refused : {"1989", "2101", "next"}) {
        typeYear(refused);
        EXPECT_EQ(model.year(), 2024) << refused;
        EXPECT_EQ(find<QLineEdit>("yearField")->text(), "2024");
    }
    typeYear("2025");
    EXPECT_EQ(model.year(), 2025);

    // A name of white space alone cannot be filed.
    auto* name = find<QLineEdit>("nameField");
    name->selectAll();
    QTest::keyClicks(name, "   ");
    EXPECT_EQ(model.name(), "   ");
    EXPECT_FALSE(find<QPushButton>("fileButton")->isEnabled());
    EXPECT_FALSE(shown("goesTo"));
    name->selectAll();
    QTest::keyClicks(name, "Lookbook");
    find<QCheckBox>("tidyUpBox")->click();
    EXPECT_TRUE(model.removeRebuildable());
    test::saveScreenshot(*window, "filing-3-review");

    holdTheCopy();
    click("fileButton");
    ASSERT_EQ(model.step(), Step::filing);
    EXPECT_EQ(text("filingTitle"), "Filing \"Lookbook\"…");
    ASSERT_TRUE(test::spinUntil([&] { return copyReached.load(); }));
    EXPECT_EQ(text("progressLabel"), "Tidying up files your apps can rebuild…");
    test::saveScreenshot(*window, "filing-4-filing");
    EXPECT_LOOKS_AS_REFERENCE(*window, "filing", "filing-4-filing");

    // Closing the window stops nothing; a window opened again shows the same filing.
    window.reset();
    openWindow();
    EXPECT_EQ(text("filingTitle"), "Filing \"Lookbook\"…");
    EXPECT_TRUE(shown("progressBar"));
    EXPECT_FALSE(shown("fileButton"));
    release();
    ASSERT_TRUE(waitForStep(Step::finished));

    EXPECT_EQ(text("finishedTitle"), "Filed");
    EXPECT_EQ(text("summary"), "Filed \"Lookbook\" into 2025. All 4 files copied and checked, but 2 things in it "
                               "weren't filed — keep the original until you've looked at them.");
    EXPECT_TRUE(shown("leftOutBox"));
    EXPECT_EQ(text("leftOutHeading"), "Not in the archive (2)");
    EXPECT_TRUE(shown("revealButton"));
    EXPECT_EQ(text("revealButton"), "Show in File Manager");
    EXPECT_EQ(find<QProgressBar>("progressBar")->value(), find<QProgressBar>("progressBar")->maximum());
    test::saveScreenshot(*window, "filing-5-filed");
    EXPECT_LOOKS_AS_REFERENCE(*window, "filing", "filing-5-filed");
    click("revealButton");
    EXPECT_EQ(prompts->revealed, std::vector<fs::path>{tree.path("Archive/2025/Lookbook")});

    click("fileAnotherButton");
    EXPECT_EQ(model.step(), Step::choose);
    EXPECT_EQ(model.archiveRoot(), tree.path("Archive"));
    EXPECT_EQ(model.year(), 2026);
}

TEST_F(PromoteViewTest, AFilingThatFailedSaysSoAndOffersOnlyFileAnother)
{
    const fs::path project = test::makeProject(tree, "Spot");
    tree.write("Archive/2026/Spot/cut.mov", "filed before");
    model.choose(project);
    model.setArchiveRoot(tree.path("Archive"));
    // A tidy project: no warnings, nothing to tidy up.
    EXPECT_FALSE(shown("warningsBox"));
    EXPECT_FALSE(shown("tidyUpBox"));

    QTest::keyClick(window.get(), Qt::Key_Return);
    ASSERT_EQ(model.step(), Step::filing);
    EXPECT_EQ(text("progressLabel"), "Copying…");
    ASSERT_TRUE(waitForStep(Step::finished));
    EXPECT_EQ(text("finishedTitle"), "Couldn't file it");
    EXPECT_EQ(text("summary"),
              "There's already something filed as \"Spot\" in 2026. Nothing was changed — rename one of them first.");
    EXPECT_FALSE(shown("revealButton"));
    EXPECT_TRUE(shown("fileAnotherButton"));
    test::saveScreenshot(*window, "filing-6-failed");
    EXPECT_LOOKS_AS_REFERENCE(*window, "filing", "filing-6-failed");
}

// What filing left out is listed under the summary, which then does not call the original safe to clear.
TEST_F(PromoteViewTest, TheResultNamesWhatWasLeftOut)
{
    const fs::path project = test::makeProject(tree, "Spot");
    tree.write("Spot/2 Project Files/edit.kdenlive", "cut");
    tree.write("Footage drive/A001.mov", "footage");
    tree.symlink("Spot/3 Media/Footage", tree.path("Footage drive"));
    for (const char* old : {"a.mov", "b.mov", "c.mov"})
        tree.write(std::string("Spot/3 Media/.Larkfold-Trash/2025-01-02/") + old, "old");
    model.choose(project);
    model.setArchiveRoot(tree.path("Archive"));
    model.file();
    ASSERT_TRUE(waitForStep(Step::finished));

    EXPECT_EQ(text("finishedTitle"), "Filed");
    EXPECT_EQ(text("summary"), "Filed \"Spot\" into 2026. All 4 files copied and checked, but 4 things in it weren't "
                               "filed — keep the original until you've looked at them.");
    EXPECT_EQ(text("leftOutHeading"), "Not in the archive (4)");
    QStringList lines;
    for (const QLabel* label : find<QWidget>("leftOutBox")->findChildren<QLabel*>())
        if (label->objectName().isEmpty())
            lines << label->text();
    EXPECT_EQ(lines, (QStringList{"• 3 Media/.Larkfold-Trash — a Larkfold trash folder, with 4 items",
                                  "• 3 Media/Footage — a link; neither it nor what it points to was filed",
                                  "• 4 Renders — an empty folder", "• 5 Drafts — an empty folder"}));
    test::saveScreenshot(*window, "filing-result-left-out");
    EXPECT_LOOKS_AS_REFERENCE(*window, "filing", "filing-result-left-out");
    const QPalette light = QApplication::palette();
    QApplication::setPalette(test::darkPalette());
    test::saveScreenshot(*window, "filing-result-left-out-dark");
    EXPECT_LOOKS_AS_REFERENCE(*window, "filing", "filing-result-left-out-dark");
    QApplication::setPalette(light);
}

TEST_F(PromoteViewTest, CancelledPanelsChangeNothing)
{
    click("chooseProjectButton");
    ASSERT_TRUE(test::spinUntil([&] { return prompts->projectPanels == 1; }));
    EXPECT_EQ(model.step(), Step::choose);

    model.choose(test::makeProject(tree, "Spot"));
    click("archiveButton");
    ASSERT_TRUE(test::spinUntil([&] { return prompts->archivePanels == 1; }));
    EXPECT_FALSE(model.archiveRoot().has_value());
    EXPECT_EQ(text("archivePath"), "Not chosen yet");

    click("backButton");
    EXPECT_EQ(model.step(), Step::choose);
}
