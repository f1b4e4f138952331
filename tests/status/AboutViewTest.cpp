#include "status/AboutView.h"

#include "support/Reference.h"
#include "support/Screenshot.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace larkfold;

namespace {

QStringList texts(const QWidget& view)
{
    QStringList result;
    for (const QLabel* label : view.findChildren<QLabel*>()) {
        if (!label->text().isEmpty())
            result << label->text();
    }
    return result;
}

} // namespace

TEST(AboutView, ShowsTheNameTheBuildsVersionAndTheDescription)
{
    AboutView view;
    view.show();
    EXPECT_EQ(view.windowTitle(), "About Larkfold");
    EXPECT_EQ(texts(view), (QStringList{"Larkfold", "Version " LARKFOLD_EXPECTED_VERSION " (Beta)",
                                        "Keep your folders backed up, automatically.",
                                        "Copies go only where you choose."}));
    EXPECT_EQ(AboutView::appVersion(), LARKFOLD_EXPECTED_VERSION);
    EXPECT_EQ(AboutView::versionLine("1.4"), "Version 1.4 (Beta)");
    EXPECT_EQ(AboutView::versionLine(QString()), "Version 1.0 (Beta)");
    larkfold::test::saveScreenshot(view, "about");
    EXPECT_LOOKS_AS_REFERENCE(view, "status", "about");
}

TEST(AboutView, EverythingFitsAndTheLogoIsDrawn)
{
    AboutView view;
    view.show();
    EXPECT_EQ(view.width(), 280);
    EXPECT_GE(view.height(), 260);
    for (const QLabel* label : view.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->text().toStdString());
        const QRect shown(label->mapTo(&view, QPoint(0, 0)), label->size());
        EXPECT_TRUE(view.rect().contains(shown));
        EXPECT_GE(label->height(), label->hasHeightForWidth() ? label->heightForWidth(label->width())
                                                              : label->minimumSizeHint().height());
    }
    const QLabel* logo = view.findChild<QLabel*>("logo");
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->size(), QSize(100, 100));
    const QImage image = logo->pixmap().toImage();
    // The logo's green square, beside the white bird.
    const QColor edge = image.pixelColor(image.width() * 15 / 100, image.height() / 2);
    EXPECT_EQ(edge.name(), "#5cad6b");
}
