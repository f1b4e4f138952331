// The "Smart setup" card offscreen, in a window of the size the application gives it, with a
// screenshot of each state.

#include "setup/ProfileSuggestionView.h"

#include "widgets/FilledButton.h"
#include "widgets/SymbolView.h"
#include "store/StoredEnum.h"
#include "widgets/Theme.h"
#include "support/EventLoop.h"
#include "support/Reference.h"
#include "support/Screenshot.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;

namespace {

// The card in a window as the application opens it: 460 x 360, the card filling it.
struct SuggestionWindow {
    SuggestionWindow(BackupProfile profile, const QString& pairName, qint64 bytes)
    {
        window.setWindowTitle(QStringLiteral("Smart setup"));
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new ProfileSuggestionView(profile, pairName, bytes, [this] { ++accepted; }, [this] { ++declined; });
        layout->addWidget(view);
        window.setFixedSize(QSize(460, 360).expandedTo(window.minimumSizeHint()));
        window.show();
        QApplication::setActiveWindow(&window);
        QCoreApplication::processEvents();
    }

    template <typename T = QWidget>
    T* part(const char* name) const
    {
        return view->findChild<T*>(QString::fromLatin1(name));
    }
    QString text(const char* name) const { return part<QLabel>(name)->text(); }
    // The section's chevron has turned down, or back.
    bool chevronAt(double degrees) const
    {
        return spinUntil([&] { return part("disclosureChevron")->property("turnedDegrees").toDouble() == degrees; },
                         20'000);
    }
    bool shown(const char* name) const { return part(name) && part(name)->isVisible(); }
    void click(const char* name) const { QTest::mouseClick(part(name), Qt::LeftButton); }
    QStringList labels(const char* name) const
    {
        QStringList texts;
        for (const QLabel* label : view->findChildren<QLabel*>(QString::fromLatin1(name)))
            texts << label->text();
        return texts;
    }

    QWidget window;
    ProfileSuggestionView* view = nullptr;
    int accepted = 0;
    int declined = 0;
};

} // namespace

TEST(ProfileSuggestionView, AStandardFolderShowsItsNameAndOnlyOK)
{
    SuggestionWindow w(BackupProfile::standard, QStringLiteral("Holiday Photos"), 73'400'000);
    EXPECT_EQ(w.window.size(), QSize(460, 360));
    EXPECT_EQ(w.part<SymbolView>("profileSymbol")->name(), QStringLiteral("folder"));
    EXPECT_EQ(w.text("headline"), QStringLiteral("Ready to back up \"Holiday Photos.\""));
    EXPECT_EQ(w.text("sizeLine"), QStringLiteral("73.4 MB"));
    EXPECT_EQ(w.text("description"), QStringLiteral("Backs up everything in this folder normally."));
    EXPECT_EQ(w.part("changeSection"), nullptr) << "no section at all";
    EXPECT_EQ(w.part<FilledButton>("acceptButton")->text(), QStringLiteral("OK"));
    EXPECT_EQ(w.part<FilledButton>("declineButton")->text(), QStringLiteral("Use defaults"));
    saveScreenshot(w.window, QStringLiteral("suggestion-standard"));
    EXPECT_LOOKS_AS_REFERENCE(w.window, "setup", QStringLiteral("suggestion-standard"));

    // The buttons never close the window: they only call back, once per press; Return accepts.
    w.click("declineButton");
    w.click("acceptButton");
    EXPECT_EQ(w.declined, 1);
    EXPECT_EQ(w.accepted, 1);
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == &w.window; }, 20'000));
    QTest::keyClick(&w.window, Qt::Key_Return);
    EXPECT_EQ(w.accepted, 2);
    EXPECT_TRUE(w.window.isVisible());
}

TEST(ProfileSuggestionView, AFilmProjectOpensWhatChangesAndItsTechnicalLines)
{
    SuggestionWindow w(BackupProfile::film, QStringLiteral("Spring Lookbook"), 48'200'000'000);
    EXPECT_EQ(w.part<SymbolView>("profileSymbol")->name(), QStringLiteral("film"));
    EXPECT_EQ(w.text("headline"), QStringLiteral("Looks like a film project."));
    EXPECT_EQ(w.text("sizeLine"), QStringLiteral("48.2 GB"));
    EXPECT_EQ(w.part<FilledButton>("acceptButton")->text(), QStringLiteral("Set it up"));
    EXPECT_TRUE(w.shown("whatThisChangesButton"));
    EXPECT_FALSE(w.shown("changeDetails"));
    saveScreenshot(w.window, QStringLiteral("suggestion-film-closed"));
    EXPECT_LOOKS_AS_REFERENCE(w.window, "setup", QStringLiteral("suggestion-film-closed"));

    w.click("whatThisChangesButton");
    EXPECT_TRUE(w.shown("changeDetails"));
    EXPECT_EQ(w.labels("changeBullet"), ProfileSuggestionModel::changeBullets(BackupProfile::film));
    EXPECT_EQ(w.text("technicalDetailsLabel"), QStringLiteral("Show technical details"));
    EXPECT_FALSE(w.shown("technicalLines"));
    EXPECT_TRUE(w.chevronAt(90));
    saveScreenshot(w.window, QStringLiteral("suggestion-film-open"));
    EXPECT_LOOKS_AS_REFERENCE(w.window, "setup", QStringLiteral("suggestion-film-open"));

    w.click("technicalDetailsButton");
    EXPECT_TRUE(w.shown("technicalLines"));
    EXPECT_EQ(w.text("technicalDetailsLabel"), QStringLiteral("Hide technical details"));
    // The window grows to show them, and nothing it showed goes out of sight.
    const auto inSight = [&](const char* name) {
        const QWidget* viewport = w.part<QScrollArea>("bodyScroll")->viewport();
        const QWidget* widget = w.part(name);
        const QRect area(widget->mapTo(viewport, QPoint()), widget->size());
        return viewport->rect().contains(area) && w.window.rect().contains(QRect(widget->mapTo(&w.window, QPoint()),
                                                                                  widget->size()));
    };
    EXPECT_TRUE(spinUntil([&] { return w.window.height() > 360 && inSight("technicalLines"); }, 20'000))
        << w.window.height();
    EXPECT_TRUE(inSight("description"));
    EXPECT_TRUE(w.window.rect().contains(QRect(w.part("acceptButton")->mapTo(&w.window, QPoint()),
                                               w.part("acceptButton")->size())));
    EXPECT_EQ(w.part<QScrollArea>("bodyScroll")->verticalScrollBar()->value(), 0);
    const QStringList lines = w.labels("technicalLine");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Profile: film"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Excluded folders: Adobe After Effects Auto-Save,")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("Optimized Clips (+10 more)"))) << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("Excluded extensions: .cfa, .ims, .mpgindex, .pek, .tmp"));
    saveScreenshot(w.window, QStringLiteral("suggestion-film-technical"));
    EXPECT_LOOKS_AS_REFERENCE(w.window, "setup", QStringLiteral("suggestion-film-technical"));

    // Closing the section hides the lines with it and the window shrinks back; reopening brings them back.
    w.click("whatThisChangesButton");
    EXPECT_FALSE(w.shown("technicalLines"));
    EXPECT_TRUE(w.chevronAt(0));
    EXPECT_TRUE(spinUntil([&] { return w.window.height() == 360; }, 20'000)) << w.window.height();
    w.click("whatThisChangesButton");
    EXPECT_TRUE(w.shown("technicalLines"));
    EXPECT_EQ(w.accepted + w.declined, 0);
}

TEST(ProfileSuggestionView, DocumentsListTheSystemFoldersAndALongNameWraps)
{
    SuggestionWindow w(BackupProfile::documents, QStringLiteral("Documents"), 0);
    EXPECT_EQ(w.text("sizeLine"), QStringLiteral("Zero KB"));
    w.click("whatThisChangesButton");
    w.click("technicalDetailsButton");
    EXPECT_TRUE(w.chevronAt(90));
    EXPECT_EQ(w.labels("technicalLine"),
              (QStringList{QStringLiteral("Profile: documents"),
                           QStringLiteral("Excluded folders: .DocumentRevisions-V100, .Spotlight-V100, "
                                          ".TemporaryItems, .Trashes, .fseventsd, lost+found")}));
    saveScreenshot(w.window, QStringLiteral("suggestion-documents-technical"));
    EXPECT_LOOKS_AS_REFERENCE(w.window, "setup", QStringLiteral("suggestion-documents-technical"));

    SuggestionWindow named(BackupProfile::standard,
                           QStringLiteral("Family Archive 2009–2024 from the old laptop in the study"), 1'000);
    const QLabel* headline = named.part<QLabel>("headline");
    EXPECT_GT(headline->height(), headline->fontMetrics().height()) << "wrapped, not cut";
    saveScreenshot(named.window, QStringLiteral("suggestion-standard-long-name"));
    EXPECT_LOOKS_AS_REFERENCE(named.window, "setup", QStringLiteral("suggestion-standard-long-name"));
    EXPECT_LOOKS_AS_REFERENCE(named.window, "setup", QStringLiteral("suggestion-standard-long-name"));
}

// Every profile's symbol is one of ours, drawn in the window's green.
TEST(ProfileSuggestionView, EveryProfileHasItsSymbol)
{
    for (const BackupProfile profile : allCases<BackupProfile>()) {
        const QString name = QString::fromLatin1(storedString(profile).data());
        SCOPED_TRACE(name.toStdString());
        SuggestionWindow w(profile, QStringLiteral("Projects"), 2'500'000'000);
        const auto* symbol = w.part<SymbolView>("profileSymbol");
        EXPECT_FALSE(Theme::symbol(symbol->name(), Theme::titleFont(), Theme::green()).isNull());
        EXPECT_EQ(symbol->color(), Theme::green());
        saveScreenshot(w.window, QStringLiteral("suggestion-header-") + name);
        EXPECT_LOOKS_AS_REFERENCE(w.window, "setup", QStringLiteral("suggestion-header-") + name);
    }
}
