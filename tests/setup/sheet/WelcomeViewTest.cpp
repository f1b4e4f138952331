#include "setup/WelcomeView.h"

#include "SheetFixture.h"
#include "setup/WelcomeModel.h"
#include "store/ConfigStore.h"
#include "support/Reference.h"
#include "support/Screenshot.h"
#include "widgets/Theme.h"

#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;
using Step = WelcomeModel::Step;

namespace {


class WelcomeViewTest : public SheetFixture {
protected:
    WelcomeView& view()
    {
        if (!m_view) {
            m_view = std::make_unique<WelcomeView>(start(), c.store(), std::make_unique<ForwardingPrompts>(prompts));
            m_view->show();
            QCoreApplication::processEvents();
        }
        return *m_view;
    }

    template <typename T = QWidget>
    T* part(const char* name)
    {
        QCoreApplication::processEvents();
        for (T* candidate : view().findChildren<T*>(QString::fromLatin1(name)))
            if (candidate->isVisibleTo(&view()))
                return candidate;
        return nullptr;
    }

    // Whether a visible label reads `text`.
    bool shows(const QString& text)
    {
        QCoreApplication::processEvents();
        for (QLabel* label : view().findChildren<QLabel*>())
            if (label->isVisibleTo(&view()) && label->text() == text)
                return true;
        return false;
    }

    void click(const char* name)
    {
        QWidget* widget = part(name);
        ASSERT_NE(widget, nullptr) << name;
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
        QCoreApplication::processEvents();
    }

    QPushButton* primary() { return part<QPushButton>("primary"); }

private:
    std::unique_ptr<WelcomeView> m_view;
};

} // namespace

TEST_F(WelcomeViewTest, FourStepsToTheFirstPair)
{
    const fs::path photos = folder("Photos");
    const fs::path dest = folder("Backups");
    const fs::path dropbox = makeDropbox();
    QSignalSpy completed(&view(), &WelcomeView::completed);

    EXPECT_EQ(part<QLabel>("subtitle")->text(), QStringLiteral("Step 1 of 4 — Choose a folder to protect"));
    EXPECT_EQ(part<QLabel>("counter")->text(), QStringLiteral("Step 1 of 4"));
    EXPECT_TRUE(shows(QStringLiteral("What do you want to keep safe?")));
    EXPECT_TRUE(shows(QStringLiteral("Drop a folder here")));
    EXPECT_EQ(part("back"), nullptr) << "no Back on the first step";
    EXPECT_FALSE(primary()->isEnabled());
    saveScreenshot(view(), "welcome-1-source-empty");
    EXPECT_LOOKS_AS_REFERENCE(view(), "setup", "welcome-1-source-empty");

    // A folder dropped on the drop zone becomes the source; the window elsewhere takes no drop,
    // and the zone's highlight ends when a drag leaves it.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(photos.string()))});
    QWidget* zone = part("dropZone");
    ASSERT_NE(zone, nullptr);
    EXPECT_FALSE(view().acceptDrops());
    QDropEvent elsewhere(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view(), &elsewhere);
    EXPECT_FALSE(view().model().source());
    QDragEnterEvent enter(zone->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(zone, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(zone->property("dropTargeted").toBool());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(zone, &leave);
    EXPECT_FALSE(zone->property("dropTargeted").toBool());
    QCoreApplication::sendEvent(zone, &enter);
    saveScreenshot(view(), "welcome-1-source-drop-targeted");
    QDropEvent drop(QPointF(zone->rect().center()), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(zone, &drop);
    QCoreApplication::processEvents();
    EXPECT_EQ(view().model().source(), photos);
    EXPECT_TRUE(shows(QStringLiteral("Photos")));
    EXPECT_TRUE(primary()->isEnabled());
    EXPECT_EQ(primary()->text(), QStringLiteral("Next"));
    saveScreenshot(view(), "welcome-1-source-chosen");
    click("dropZone");
    EXPECT_TRUE(prompts.panels.empty()) << "with a source set, the zone takes no click";

    click("primary");
    EXPECT_EQ(part<QLabel>("subtitle")->text(), QStringLiteral("Step 2 of 4 — Choose a backup destination"));
    EXPECT_TRUE(shows(QStringLiteral("Where should copies go?")));
    EXPECT_TRUE(shows(QStringLiteral("Backup Drive")));
    EXPECT_TRUE(shows(QStringLiteral("2000 GB")));
    EXPECT_NE(part("back"), nullptr);
    EXPECT_FALSE(primary()->isEnabled());
    saveScreenshot(view(), "welcome-2-destination");
    EXPECT_LOOKS_AS_REFERENCE(view(), "setup", "welcome-2-destination");
    click("volumeRow");
    ASSERT_EQ(prompts.panels.size(), 1u);
    EXPECT_EQ(prompts.panels[0].startingFolder, fs::path(kDriveMountPoint));
    prompts.folderAnswers.push_back({photos / "."});
    click("chooseAnyFolder");
    ASSERT_NE(part("warning"), nullptr);
    saveScreenshot(view(), "welcome-2-destination-nested");
    prompts.folderAnswers.push_back({dest});
    click("chooseAnyFolder");

    EXPECT_EQ(part<QLabel>("subtitle")->text(), QStringLiteral("Step 3 of 4 — Add an offsite copy (optional)"));
    EXPECT_TRUE(shows(QStringLiteral("Dropbox")));
    EXPECT_TRUE(primary()->isEnabled());
    EXPECT_EQ(part("clearOffsite"), nullptr);
    saveScreenshot(view(), "welcome-3-offsite");
    prompts.folderAnswers.push_back({dropbox});
    click("cloudRow");
    EXPECT_EQ(prompts.panels.back().startingFolder, dropbox);

    EXPECT_EQ(part<QLabel>("subtitle")->text(), QStringLiteral("Step 4 of 4 — Review and start"));
    EXPECT_TRUE(shows(QStringLiteral("Ready to start.")));
    EXPECT_NE(part("summaryCard"), nullptr);
    EXPECT_TRUE(shows(QStringLiteral("Backups")));
    EXPECT_EQ(primary()->text(), QStringLiteral("Start Backing Up"));
    saveScreenshot(view(), "welcome-4-review");
    EXPECT_LOOKS_AS_REFERENCE(view(), "setup", "welcome-4-review");
    click("back");
    EXPECT_NE(part("clearOffsite"), nullptr) << "Clear while an offsite folder is chosen";
    click("primary");

    QTest::keyClick(&view(), Qt::Key_Return);
    ASSERT_EQ(completed.count(), 1) << "Return is the primary button's";
    ASSERT_EQ(c.store().pairs().size(), 1u);
    EXPECT_EQ(c.store().pairs()[0].offsiteURL, dropbox);
    EXPECT_TRUE(c.store().appConfig().hasCompletedOnboarding);
}

TEST_F(WelcomeViewTest, WithoutDrivesOrCloudFoldersTheEmptyStatesShow)
{
    withoutVolumes();
    prompts.folderAnswers.push_back({folder("Photos")});
    click("chooseSource");
    click("primary");
    EXPECT_TRUE(shows(QStringLiteral("No external drives found.")));
    EXPECT_TRUE(shows(QStringLiteral("Connect an external drive, or choose any folder.")));
    saveScreenshot(view(), "welcome-2-destination-no-drives");
    EXPECT_LOOKS_AS_REFERENCE(view(), "setup", "welcome-2-destination-no-drives");
    prompts.folderAnswers.push_back({folder("dest")});
    click("chooseAnyFolder");
    EXPECT_TRUE(shows(QStringLiteral("No cloud folders detected.")));
    EXPECT_TRUE(shows(QStringLiteral("You can still pick any folder as your offsite location.")));
    saveScreenshot(view(), "welcome-3-offsite-no-clouds");
    EXPECT_LOOKS_AS_REFERENCE(view(), "setup", "welcome-3-offsite-no-clouds");
}

// The dots say which step is shown in the colours of the palette of the moment, light or dark.
TEST_F(WelcomeViewTest, TheStepDotsFollowASwitchToDark)
{
    prompts.folderAnswers.push_back({folder("Photos")});
    click("chooseSource");
    click("primary"); // the second step
    ASSERT_EQ(view().model().step(), Step::pickDestination);
    const ScopedPalette dark(darkPalette());
    QCoreApplication::processEvents();
    const QImage drawn = view().grab().toImage();
    const QColor window = view().palette().color(QPalette::Window);
    const QList<QWidget*> dots = view().findChildren<QWidget*>(QStringLiteral("stepDot"));
    ASSERT_EQ(dots.size(), WelcomeModel::kStepCount);
    for (int i = 0; i < int(dots.size()); ++i) {
        SCOPED_TRACE(i);
        const QColor fill = i == int(Step::pickDestination) ? Theme::green() : Theme::tertiaryFill();
        const double alpha = fill.alphaF();
        const auto mix = [&](int over, int under) { return alpha * over + (1 - alpha) * under; };
        const QColor shown = drawn.pixelColor(dots[i]->mapTo(&view(), dots[i]->rect().center()));
        EXPECT_NEAR(shown.red(), mix(fill.red(), window.red()), 2);
        EXPECT_NEAR(shown.green(), mix(fill.green(), window.green()), 2);
        EXPECT_NEAR(shown.blue(), mix(fill.blue(), window.blue()), 2);
    }
}
