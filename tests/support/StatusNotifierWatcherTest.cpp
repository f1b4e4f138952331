#include "support/EventLoop.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/StatusNotifierItemClient.h"
#include "support/TestDisplay.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

#include <vector>

using namespace larkfold::test;

// Qt exports its tray item over D-Bus only on the xcb platform, and decides once per process, so
// the watcher is on the bus before the first icon exists.
TEST(FakeStatusNotifierWatcher, LetsATestClickQtsTrayItemAndReadItsMenu)
{
    LARKFOLD_REQUIRE_X_SERVER();
    FakeStatusNotifierWatcher watcher(testSessionBus().address());
    ASSERT_TRUE(watcher.isRegistered());
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());

    QMenu menu;
    QAction* open = menu.addAction(QStringLiteral("&Open"));
    menu.addSeparator();
    QAction* hidden = menu.addAction(QStringLiteral("Hidden"));
    hidden->setVisible(false);
    QAction* quit = menu.addAction(QStringLiteral("Quit Larkfold"));
    int quitClicks = 0;
    QObject::connect(quit, &QAction::triggered, [&] { ++quitClicks; });
    // Entries brought up to date as the menu opens reach the panel.
    QObject::connect(&menu, &QMenu::aboutToShow, [&] { open->setText(QStringLiteral("Open Larkfold")); });

    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::black);
    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.setContextMenu(&menu);
    tray.setToolTip(QStringLiteral("All backups up to date"));
    std::vector<QSystemTrayIcon::ActivationReason> reasons;
    QObject::connect(&tray, &QSystemTrayIcon::activated, [&](auto reason) { reasons.push_back(reason); });
    tray.show();

    const QString item = watcher.waitForItem();
    ASSERT_FALSE(item.isEmpty());
    QDBusConnection panel = testSessionBus().connection(QStringLiteral("panel"));
    StatusNotifierItemClient client(panel, item);

    ASSERT_TRUE(client.activate());
    ASSERT_TRUE(spinUntil([&] { return reasons.size() == 1; }));
    EXPECT_EQ(reasons[0], QSystemTrayIcon::Trigger);
    ASSERT_TRUE(client.contextMenu());
    ASSERT_TRUE(spinUntil([&] { return reasons.size() == 2; }));
    EXPECT_EQ(reasons[1], QSystemTrayIcon::Context);

    EXPECT_EQ(client.toolTipTitle(), QStringLiteral("All backups up to date"));
    EXPECT_EQ(client.menuLabels(), (QStringList{QStringLiteral("Open Larkfold"), QStringLiteral("Quit Larkfold")}));
    ASSERT_TRUE(client.clickMenuItem(QStringLiteral("Quit Larkfold")));
    ASSERT_TRUE(spinUntil([&] { return quitClicks == 1; }));
    EXPECT_FALSE(client.clickMenuItem(QStringLiteral("Hidden")));

    // An item that leaves the bus leaves the watcher's list.
    tray.hide();
    EXPECT_TRUE(spinUntil([&] { return watcher.items().isEmpty(); }));
}
