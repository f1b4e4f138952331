#include "store/theme/Theme.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

#include <cmath>

namespace larkfold {
namespace {

constexpr double kSubtleFillOpacity = 0.04;
constexpr double kHoverFillOpacity = 0.12;
constexpr double kSelectedFillOpacity = 0.08;
constexpr double kSecondaryLabelOpacity = 0.5;
constexpr double kTertiaryLabelOpacity = 0.26;
constexpr double kQuaternaryLabelOpacity = 0.1;
constexpr double kSeparatorOpacity = 0.1;
constexpr int kQuickAnimationMs = 150;
constexpr int kStepAnimationMs = 180;

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(opacity));
    return color;
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

QColor Theme::labelColor()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QColor Theme::secondaryLabelColor()
{
    return withOpacity(labelColor(), kSecondaryLabelOpacity);
}

QColor Theme::tertiaryLabelColor()
{
    return withOpacity(labelColor(), kTertiaryLabelOpacity);
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
    QSvgRenderer renderer(QStringLiteral(":/symbols/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    const int side = QFontMetrics(font).height();
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
