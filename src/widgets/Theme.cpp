#include "widgets/Theme.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <optional>

namespace larkfold {
namespace {

constexpr double kSubtleFillOpacity = 0.04;
constexpr double kHoverFillOpacity = 0.12;
constexpr double kSelectedFillOpacity = 0.08;
// Where the secondary and tertiary colours start, as shares of the label colour over the window;
// they go further toward it where the palette needs that for contrast.
constexpr double kSecondaryLabelShare = 0.62;
constexpr double kTertiaryLabelShare = 0.45;
constexpr double kSecondaryBeyondTertiary = 0.3;
// The strongest tint a row or panel lays under text: a hover fill, an accent's warning panel.
constexpr double kTextUnderlayOpacity = 0.12;
constexpr double kTextContrastRatio = 4.5;
constexpr int kContrastSteps = 64;
constexpr double kTertiaryFillOpacity = 0.26;
constexpr double kQuaternaryLabelOpacity = 0.1;
constexpr double kSeparatorOpacity = 0.1;
constexpr double kWarningFillOpacity = 0.1;
constexpr int kQuickAnimationMs = 150;
constexpr int kStepAnimationMs = 180;

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(opacity));
    return color;
}

// `top` laid over `bottom` at `share` of its strength, as one opaque colour.
QColor mixed(const QColor& top, const QColor& bottom, double share)
{
    const auto channel = [share](float over, float under) { return float(over * share + under * (1.0 - share)); };
    return QColor::fromRgbF(channel(top.redF(), bottom.redF()), channel(top.greenF(), bottom.greenF()),
                            channel(top.blueF(), bottom.blueF()));
}

double relativeLuminance(const QColor& color)
{
    const auto linear = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

QColor windowColor()
{
    return QGuiApplication::palette().color(QPalette::Window);
}

// What text lies on: the window, text fields, and the window under the strongest fill of the
// label colour (and of `tint`, when the text is in that accent).
std::vector<QColor> textBackgrounds(const std::optional<QColor>& tint = std::nullopt)
{
    const QPalette palette = QGuiApplication::palette();
    const QColor window = palette.color(QPalette::Window);
    std::vector<QColor> backgrounds{window, palette.color(QPalette::Base),
                                    mixed(palette.color(QPalette::WindowText), window, kTextUnderlayOpacity)};
    if (tint)
        backgrounds.push_back(mixed(*tint, window, kTextUnderlayOpacity));
    return backgrounds;
}

QColor labelShare(double share)
{
    const QColor label = Theme::labelColor();
    return Theme::readableOn(mixed(label, windowColor(), share), textBackgrounds(), label, kTextContrastRatio);
}

QColor accentText(const QColor& accent)
{
    return Theme::readableOn(accent, textBackgrounds(accent), Theme::labelColor(), kTextContrastRatio);
}

// The standard ease-in-out timing curve: cubic Bézier (0.42, 0) (0.58, 1).
ThemeAnimation easeInOut(int durationMs)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return {curve, durationMs};
}

} // namespace

const QColor& Theme::green()
{
    static const QColor color = QColor::fromRgbF(0.36f, 0.68f, 0.42f, 1.0f);
    return color;
}

const QColor& Theme::amber()
{
    static const QColor color = QColor::fromRgbF(0.83f, 0.64f, 0.30f, 1.0f);
    return color;
}

const QColor& Theme::red()
{
    static const QColor color = QColor::fromRgbF(0.81f, 0.42f, 0.39f, 1.0f);
    return color;
}

const QColor& Theme::white()
{
    static const QColor color(Qt::white);
    return color;
}

QColor Theme::greenText()
{
    return accentText(green());
}

QColor Theme::amberText()
{
    return accentText(amber());
}

QColor Theme::redText()
{
    return accentText(red());
}

QColor Theme::greenButtonFill()
{
    return readableOn(green(), {white()}, Qt::black, kTextContrastRatio);
}

double Theme::contrastRatio(const QColor& first, const QColor& second)
{
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor Theme::readableOn(const QColor& color, const std::vector<QColor>& backgrounds, const QColor& toward,
                         double ratio)
{
    for (int step = 0; step <= kContrastSteps; ++step) {
        const QColor candidate = mixed(toward, color, double(step) / kContrastSteps);
        const bool reads = std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor& background) {
            return contrastRatio(candidate, background) >= ratio;
        });
        if (reads)
            return candidate;
    }
    return toward;
}

QColor Theme::labelColor()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QColor Theme::secondaryLabelColor()
{
    // Always a step nearer the label colour than the tertiary one, which contrast may have pushed far.
    const QColor own = labelShare(kSecondaryLabelShare);
    const QColor beyondTertiary = mixed(labelColor(), tertiaryLabelColor(), kSecondaryBeyondTertiary);
    return contrastRatio(own, windowColor()) > contrastRatio(beyondTertiary, windowColor()) ? own : beyondTertiary;
}

QColor Theme::tertiaryLabelColor()
{
    return labelShare(kTertiaryLabelShare);
}

QColor Theme::tertiaryFill()
{
    return withOpacity(labelColor(), kTertiaryFillOpacity);
}

QColor Theme::quaternaryLabelColor()
{
    return withOpacity(labelColor(), kQuaternaryLabelOpacity);
}

QColor Theme::separatorColor()
{
    return withOpacity(labelColor(), kSeparatorOpacity);
}

QColor Theme::subtleFill()
{
    return withOpacity(labelColor(), kSubtleFillOpacity);
}

QColor Theme::hoverFill()
{
    return withOpacity(labelColor(), kHoverFillOpacity);
}

const QColor& Theme::selectedFill()
{
    static const QColor color = withOpacity(green(), kSelectedFillOpacity);
    return color;
}

QColor Theme::faded(QColor color, double amount)
{
    color.setAlphaF(float(color.alphaF() * amount));
    return color;
}

QColor Theme::warningFill()
{
    return withOpacity(amber(), kWarningFillOpacity);
}

const ThemeAnimation& Theme::quickAnimation()
{
    static const ThemeAnimation animation = easeInOut(kQuickAnimationMs);
    return animation;
}

const ThemeAnimation& Theme::stepAnimation()
{
    static const ThemeAnimation animation = easeInOut(kStepAnimationMs);
    return animation;
}

const QFont& Theme::titleFont()
{
    static const QFont font = systemFont(15, QFont::DemiBold);
    return font;
}

const QFont& Theme::headingFont()
{
    static const QFont font = systemFont(13, QFont::DemiBold);
    return font;
}

const QFont& Theme::subheadingFont()
{
    static const QFont font = systemFont(12, QFont::DemiBold);
    return font;
}

const QFont& Theme::bodyFont()
{
    static const QFont font = systemFont(12, QFont::Normal);
    return font;
}

const QFont& Theme::captionFont()
{
    static const QFont font = systemFont(11, QFont::Normal);
    return font;
}

const QFont& Theme::smallFont()
{
    static const QFont font = systemFont(10, QFont::Normal);
    return font;
}

QFont Theme::systemFont(double points, QFont::Weight weight)
{
    // The design's points are device-independent pixels, as every other size of the windows is; a
    // point of this desktop is 4/3 of a pixel at 96 dpi and would not fit the windows' fixed sizes.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(int(std::lround(points)));
    font.setWeight(weight);
    return font;
}

QPixmap Theme::symbol(const QString& name, const QFont& font, const QColor& color, qreal devicePixelRatio)
{
    return symbol(name, QFontMetrics(font).height(), color, devicePixelRatio);
}

QPixmap Theme::symbol(const QString& name, int side, const QColor& color, qreal devicePixelRatio)
{
    QSvgRenderer renderer(QStringLiteral(":/symbols/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    const int pixels = int(std::ceil(side * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    // The drawings are black: keep their shape, take the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace larkfold
