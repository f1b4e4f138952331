// The window around the popover's content. Built twice: on the private X server and offscreen.

#include "app/PopoverHost.h"
#include "support/EventLoop.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;

namespace {

// Runs a modal alert over `host` and tells whether the host was still shown while it was up.
bool visibleUnderAlert(PopoverHost& host)
{
    QMessageBox box(&host);
    box.setText(QStringLiteral("Remove \"Docs\"?"));
    bool visible = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &box, [&] {
        if (!box.isVisible())
            return;
        poll.stop();
        visible = host.isVisible();
        box.done(QMessageBox::Ok);
    });
    poll.start();
    box.exec();
    return visible;
}

} // namespace

TEST(PopoverHost, PinnedItStaysOpenUnderItsOwnAlerts)
{
    PopoverHost host;
    host.showUnder(std::nullopt, QPoint(640, 10));
    ASSERT_TRUE(spinUntil([&] { return host.isVisible(); }));
    const QPoint place = host.pos();
    QSignalSpy closed(&host, &PopoverHost::closed);

    host.setPinned(true);
    EXPECT_TRUE(host.isVisible());
    EXPECT_EQ(host.pos(), place);
    EXPECT_EQ(host.windowType(), Qt::Tool);
    EXPECT_TRUE(visibleUnderAlert(host));
    EXPECT_TRUE(host.isVisible());

    host.setPinned(false);
    EXPECT_TRUE(host.isVisible());
    EXPECT_EQ(host.pos(), place);
    EXPECT_EQ(host.windowType(), Qt::Popup);
    EXPECT_EQ(closed.count(), 0) << "a change of flags is no close";
    EXPECT_FALSE(host.closedJustNow());

    // Unpinned, an alert takes the input and the popup closes under it: why the pin exists.
    EXPECT_FALSE(visibleUnderAlert(host));
    EXPECT_EQ(closed.count(), 1);
}

TEST(PopoverHost, PinningAClosedPopoverLeavesItClosed)
{
    PopoverHost host;
    host.setPinned(true);
    EXPECT_FALSE(host.isVisible());
    host.setPinned(false);
    EXPECT_FALSE(host.isVisible());
    EXPECT_EQ(host.windowType(), Qt::Popup);

    // Without a tray it is an ordinary window, pinned or not.
    host.setStandalone(true);
    host.setPinned(true);
    EXPECT_EQ(host.windowType(), Qt::Window);
}
