#include "store/theme/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>

#include <gtest/gtest.h>

using namespace larkfold;

TEST(Theme, Colours)
{
    struct Case {
        const char* name;
        QColor color;
        float red, green, blue, alpha;
    } cases[] = {
        {"green", Theme::green(), 0.36f, 0.68f, 0.42f, 1},
        {"amber", Theme::amber(), 0.83f, 0.64f, 0.30f, 1},
        {"red", Theme::red(), 0.81f, 0.42f, 0.39f, 1},
        {"white", Theme::white(), 1, 1, 1, 1},
        {"selectedFill", Theme::selectedFill(), 0.36f, 0.68f, 0.42f, 0.08f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.color.redF(), c.red, 0.003);
        EXPECT_NEAR(c.color.greenF(), c.green, 0.003);
        EXPECT_NEAR(c.color.blueF(), c.blue, 0.003);
        EXPECT_NEAR(c.color.alphaF(), c.alpha, 0.003);
    }
}

TEST(Theme, FillsFollowTheTextColourOfThePalette)
{
    const QPalette original = QGuiApplication::palette();
    for (QColor text : {QColor(Qt::black), QColor(Qt::white)}) {
        QPalette palette = original;
        palette.setColor(QPalette::WindowText, text);
        QGuiApplication::setPalette(palette);
        EXPECT_EQ(Theme::subtleFill().rgb(), text.rgb());
        EXPECT_NEAR(Theme::subtleFill().alphaF(), 0.04, 0.003);
        EXPECT_EQ(Theme::hoverFill().rgb(), text.rgb());
        EXPECT_NEAR(Theme::hoverFill().alphaF(), 0.12, 0.003);
    }
    QGuiApplication::setPalette(original);
}

TEST(Theme, AnimationsEaseInAndOut)
{
    EXPECT_EQ(Theme::quickAnimation().durationMs, 150);
    EXPECT_EQ(Theme::stepAnimation().durationMs, 180);
    const QEasingCurve& curve = Theme::quickAnimation().curve;
    EXPECT_NEAR(curve.valueForProgress(0.5), 0.5, 0.01);
    EXPECT_LT(curve.valueForProgress(0.1), 0.1); // slow start
    EXPECT_GT(curve.valueForProgress(0.9), 0.9); // slow end
}

TEST(Theme, Fonts)
{
    const QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    struct Case {
        const char* name;
        QFont font;
        double points;
        QFont::Weight weight;
    } cases[] = {
        {"title", Theme::titleFont(), 15, QFont::DemiBold},     {"heading", Theme::headingFont(), 13, QFont::DemiBold},
        {"subheading", Theme::subheadingFont(), 12, QFont::DemiBold}, {"body", Theme::bodyFont(), 12, QFont::Normal},
        {"caption", Theme::captionFont(), 11, QFont::Normal},   {"small", Theme::smallFont(), 10, QFont::Normal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.font.pointSizeF(), c.points);
        EXPECT_EQ(c.font.weight(), c.weight);
        EXPECT_EQ(c.font.family(), system.family());
    }
}
