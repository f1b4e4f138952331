#include "support/EventLoop.h"
#include "widgets/HoverFade.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QWidget>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;

namespace {

void enter(QWidget& widget)
{
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&widget, &event);
}

} // namespace

// A widget hidden under the pointer hears no leave: shown again, it starts plain, and the next
// enter brings the hover back, whether it was fading in or already in.
TEST(HoverFade, AWidgetHiddenUnderThePointerStartsPlainAgain)
{
    for (const bool reduceMotion : {true, false}) {
        SCOPED_TRACE(reduceMotion ? "reduced motion" : "animated");
        QWidget widget;
        // Away from the pointer, which then comes in only by the events sent here.
        widget.setGeometry(QCursor::pos().x() + 100, QCursor::pos().y() + 100, 60, 40);
        HoverFade hover(widget, reduceMotion);
        widget.show();
        enter(widget);
        EXPECT_TRUE(hover.isHovered());
        if (reduceMotion) {
            EXPECT_EQ(hover.amount(), 1.0) << "at once";
        }
        widget.hide();
        EXPECT_FALSE(hover.isHovered());
        EXPECT_EQ(hover.amount(), 0.0);
        widget.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(hover.amount(), 0.0);
        enter(widget);
        EXPECT_TRUE(spinUntil([&] { return hover.amount() == 1.0; }, 10'000));
    }
}
