#include "store/theme/Theme.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPixmap>
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
        const std::pair<QColor, double> labels[] = {
            {Theme::labelColor(), 1.0},          {Theme::secondaryLabelColor(), 0.5},
            {Theme::tertiaryLabelColor(), 0.26}, {Theme::quaternaryLabelColor(), 0.1},
            {Theme::separatorColor(), 0.1},
        };
        for (const auto& [color, opacity] : labels) {
            EXPECT_EQ(color.rgb(), text.rgb());
            EXPECT_NEAR(color.alphaF(), opacity, 0.003);
        }
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
        int points;
        QFont::Weight weight;
    } cases[] = {
        {"title", Theme::titleFont(), 15, QFont::DemiBold},     {"heading", Theme::headingFont(), 13, QFont::DemiBold},
        {"subheading", Theme::subheadingFont(), 12, QFont::DemiBold}, {"body", Theme::bodyFont(), 12, QFont::Normal},
        {"caption", Theme::captionFont(), 11, QFont::Normal},   {"small", Theme::smallFont(), 10, QFont::Normal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.font.pixelSize(), c.points);
        EXPECT_EQ(c.font.weight(), c.weight);
        EXPECT_EQ(c.font.family(), system.family());
    }
}

TEST(Theme, SymbolsTakeTheColourAndTheSizeOfTheText)
{
    const QFont font = Theme::systemFont(16);
    const int side = QFontMetrics(font).height();
    const QPixmap symbol = Theme::symbol(QStringLiteral("chevron.right"), font, Theme::green(), 2.0);
    ASSERT_FALSE(symbol.isNull());
    EXPECT_EQ(symbol.deviceIndependentSize().toSize(), QSize(side, side));
    const QImage image = symbol.toImage();
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 255) {
                ++drawn;
                EXPECT_EQ(pixel.rgb(), Theme::green().rgb());
            }
        }
    }
    EXPECT_GT(drawn, 0);
    EXPECT_TRUE(Theme::symbol(QStringLiteral("no.such.symbol"), font, Theme::green()).isNull());
}
