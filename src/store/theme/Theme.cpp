#include "store/theme/Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>

namespace larkfold {
namespace {

constexpr double kSubtleFillOpacity = 0.04;
constexpr double kHoverFillOpacity = 0.12;
constexpr double kSelectedFillOpacity = 0.08;
constexpr int kQuickAnimationMs = 150;
constexpr int kStepAnimationMs = 180;

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(opacity));
    return color;
}

QColor labelColor()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
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

QFont Theme::systemFont(double points, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
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

} // namespace larkfold
