#include "widgets/Theme.h"

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
        EXPECT_EQ(Theme::labelColor(), text);
        EXPECT_EQ(Theme::separatorColor().rgb(), text.rgb());
        EXPECT_NEAR(Theme::separatorColor().alphaF(), 0.1, 0.003);
    }
    QGuiApplication::setPalette(original);
}

TEST(Theme, ContrastRatiosAsWcagCountsThem)
{
    EXPECT_NEAR(Theme::contrastRatio(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(Theme::contrastRatio(Qt::white, Qt::black), 21.0, 0.01);
    EXPECT_NEAR(Theme::contrastRatio(QColor(0x77, 0x77, 0x77), QColor(0x77, 0x77, 0x77)), 1.0, 0.001);
    EXPECT_NEAR(Theme::contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
    EXPECT_NEAR(Theme::contrastRatio(QColor(0xbb, 0xbb, 0xbb), QColor(0xef, 0xef, 0xef)), 1.7, 0.05);

    // Moved only as far as needed, and not at all when it reads already.
    const QColor grey(0xbb, 0xbb, 0xbb);
    const QColor moved = Theme::readableOn(grey, {QColor(0xef, 0xef, 0xef), Qt::white}, Qt::black, 4.5);
    EXPECT_GE(Theme::contrastRatio(moved, QColor(0xef, 0xef, 0xef)), 4.5);
    EXPECT_LT(Theme::contrastRatio(moved, QColor(0xef, 0xef, 0xef)), 4.8);
    EXPECT_EQ(Theme::readableOn(Qt::black, {Qt::white}, Qt::black, 4.5), QColor(Qt::black));
}

// Text colours read at least 4.5:1 on the window, on fields and under the rows' fills, in light
// and dark palettes; the secondary one stays nearer the label colour than the tertiary one.
TEST(Theme, TextColoursReadOnLightAndDarkPalettes)
{
    const QPalette original = QGuiApplication::palette();
    const struct {
        const char* name;
        QColor window, base, text;
    } palettes[] = {
        {"light", QColor(0xef, 0xef, 0xef), Qt::white, Qt::black},
        {"dark", QColor(0x26, 0x26, 0x26), QColor(0x33, 0x33, 0x33), Qt::white},
        {"grey on grey", QColor(0xd6, 0xd6, 0xd6), QColor(0xe8, 0xe8, 0xe8), QColor(0x30, 0x30, 0x30)},
    };
    for (const auto& p : palettes) {
        SCOPED_TRACE(p.name);
        QPalette palette = original;
        palette.setColor(QPalette::Window, p.window);
        palette.setColor(QPalette::Base, p.base);
        palette.setColor(QPalette::WindowText, p.text);
        QGuiApplication::setPalette(palette);
        const auto under = [&](const QColor& tint, double opacity) {
            return QColor::fromRgbF(float(tint.redF() * opacity + p.window.redF() * (1 - opacity)),
                                    float(tint.greenF() * opacity + p.window.greenF() * (1 - opacity)),
                                    float(tint.blueF() * opacity + p.window.blueF() * (1 - opacity)));
        };
        const std::pair<const char*, QColor> texts[] = {
            {"secondary", Theme::secondaryLabelColor()}, {"tertiary", Theme::tertiaryLabelColor()},
            {"green", Theme::greenText()}, {"amber", Theme::amberText()}, {"red", Theme::redText()},
        };
        for (const auto& [name, color] : texts) {
            SCOPED_TRACE(name);
            EXPECT_EQ(color.alpha(), 255);
            for (const QColor& background : {p.window, p.base, under(p.text, 0.12)})
                EXPECT_GE(Theme::contrastRatio(color, background), 4.5) << background.name().toStdString();
        }
        EXPECT_GE(Theme::contrastRatio(Theme::amberText(), under(Theme::amber(), 0.1)), 4.5) << "on a warning panel";
        EXPECT_GT(Theme::contrastRatio(Theme::secondaryLabelColor(), p.window),
                  Theme::contrastRatio(Theme::tertiaryLabelColor(), p.window));
        EXPECT_GE(Theme::contrastRatio(Theme::white(), Theme::greenButtonFill()), 4.5);
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
