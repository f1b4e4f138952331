#include "platform/AppIdentity.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold::platform;
using larkfold::test::TempTree;

TEST(AppIdentity, NamesAnIconByNameOnlyWhereTheDesktopFindsIt)
{
    TempTree tree;
    const auto in = [&](const char* relative) { return QString::fromStdString(tree.path(relative).string()); };
    tree.write("system/icons/hicolor/48x48/apps/io.larkfold.Larkfold.png", "png");
    tree.write("system/icons/hicolor/scalable/apps/io.larkfold.Larkfold.svg", "svg");
    tree.write("system/icons/hicolor/scalable/status/io.larkfold.Larkfold-idle.svg", "svg");
    tree.write("prefix/share/icons/hicolor/scalable/apps/io.larkfold.Larkfold.svg", "svg");
    tree.write("prefix/share/icons/hicolor/16x16/apps/io.larkfold.Larkfold.png", "png");
    tree.write("prefix/share/icons/hicolor/128x128/apps/io.larkfold.Larkfold.png", "png");
    tree.write("prefix/share/icons/hicolor/scalable/status/io.larkfold.Larkfold-paused.svg", "svg");
    tree.mkdir("empty");
    const QString name = QStringLiteral("io.larkfold.Larkfold");

    struct Case {
        const char* what;
        QString name;
        IconContext context;
        QStringList desktopFolders;
        QString besideProgram;
        IconReference expected;
    };
    const Case cases[] = {
        {"installed for the desktop", name, IconContext::apps, {in("empty"), in("system")}, in("prefix/share"), {name, {}}},
        {"installed beside the program only: its largest picture", name, IconContext::apps, {in("empty")},
         in("prefix/share"), {{}, in("prefix/share/icons/hicolor/128x128/apps/io.larkfold.Larkfold.png")}},
        {"a drawing when there is no picture", QStringLiteral("io.larkfold.Larkfold-paused"), IconContext::status,
         {in("system")}, in("prefix/share"), {{}, in("prefix/share/icons/hicolor/scalable/status/io.larkfold.Larkfold-paused.svg")}},
        {"status icon for the desktop", QStringLiteral("io.larkfold.Larkfold-idle"), IconContext::status, {in("system")},
         {}, {QStringLiteral("io.larkfold.Larkfold-idle"), {}}},
        {"an application icon is no status icon", name, IconContext::status, {in("system")}, in("prefix/share"), {}},
        {"nowhere", name, IconContext::apps, {in("empty")}, in("empty"), {}},
        {"no program", name, IconContext::apps, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const IconReference found = iconReference(c.name, c.context, c.desktopFolders, c.besideProgram);
        EXPECT_EQ(found.themeName.toStdString(), c.expected.themeName.toStdString());
        EXPECT_EQ(found.file.toStdString(), c.expected.file.toStdString());
    }
}
