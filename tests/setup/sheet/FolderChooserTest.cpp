#include "setup/FolderChooser.h"

#include "support/Screenshot.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;
namespace fs = std::filesystem;

namespace {

// A Latin-1 "café": bytes that are no UTF-8, which Qt's own file dialog does not list at all.
const std::string kCafe("caf\xe9");

QStringList shownNames(FolderChooser& chooser)
{
    auto* list = chooser.findChild<QListWidget*>(QStringLiteral("folders"));
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->text();
    return names;
}

void select(FolderChooser& chooser, const QString& name)
{
    auto* list = chooser.findChild<QListWidget*>(QStringLiteral("folders"));
    const auto found = list->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    found.front()->setSelected(true);
}

} // namespace

TEST(FolderChooser, ListsAndChoosesFoldersByTheirBytes)
{
    TempTree tree{{"Photos/2024/", ""}, {".hidden/", ""}, {"notes.txt", "x"}, {"archive/", ""}};
    tree.mkdir(kCafe);
    FolderChooser chooser({QStringLiteral("Choose Source"), QStringLiteral("Choose one or more folders to back up"),
                           tree.root(), true, false});
    chooser.show();
    EXPECT_EQ(chooser.windowTitle(), QStringLiteral("Choose one or more folders to back up"));
    EXPECT_EQ(shownNames(chooser), (QStringList{"archive", "caf\\xE9", "Photos"}));
    saveScreenshot(chooser, "folder-chooser");

    chooser.findChild<QCheckBox*>(QStringLiteral("showHidden"))->setChecked(true);
    EXPECT_EQ(shownNames(chooser), (QStringList{".hidden", "archive", "caf\\xE9", "Photos"}));

    select(chooser, QStringLiteral("caf\\xE9"));
    select(chooser, QStringLiteral("Photos"));
    QTest::mouseClick(chooser.findChild<QPushButton*>(QStringLiteral("choose")), Qt::LeftButton);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.chosenFolders(), (std::vector<fs::path>{tree.path(kCafe), tree.path("Photos")}));
}

TEST(FolderChooser, ATypedPathOrTheListedFolderIsChosen)
{
    TempTree tree{{"Photos/2024/", ""}, {"Docs/", ""}};
    FolderChooser chooser({QStringLiteral("Choose Destination"), QStringLiteral("Choose or create a folder"),
                           tree.path("missing"), false, true});
    chooser.show();
    EXPECT_FALSE(chooser.folder().empty()) << "a starting folder that is not there opens the home folder";

    chooser.setFolder(tree.path("Photos"));
    auto* list = chooser.findChild<QListWidget*>(QStringLiteral("folders"));
    QTest::keyClick(list, Qt::Key_Home);
    emit list->itemActivated(list->item(0)); // a double click enters the folder
    EXPECT_EQ(chooser.folder(), tree.path("Photos/2024"));
    QTest::mouseClick(chooser.findChild<QAbstractButton*>(QStringLiteral("upButton")), Qt::LeftButton);
    EXPECT_EQ(chooser.folder(), tree.path("Photos"));
    EXPECT_EQ(chooser.chosenFolders(), std::vector<fs::path>{tree.path("Photos")}) << "nothing selected";

    // Return in the location field chooses what was typed; a path that is no folder keeps the panel.
    auto* location = chooser.findChild<QLineEdit*>(QStringLiteral("location"));
    location->setText(QString::fromStdString(tree.path("nowhere").string()));
    QTest::keyClick(location, Qt::Key_Return);
    EXPECT_TRUE(chooser.isVisible());
    location->setText(QString::fromStdString(tree.path("Docs").string()));
    QTest::keyClick(location, Qt::Key_Return);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.chosenFolders(), std::vector<fs::path>{tree.path("Docs")});
}
