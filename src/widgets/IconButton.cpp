#include "widgets/IconButton.h"

#include "widgets/Theme.h"

#include <QPainter>

namespace larkfold {
namespace {

constexpr int kSidePixels = 24;
constexpr double kSymbolPoints = 12;
constexpr double kCornerRadiusPixels = 8;
constexpr double kBorderPixels = 0.5;

} // namespace

IconButton::IconButton(const QString& symbol, const QString& accessibilityName, const QString& toolTip,
                       bool reduceMotion, QWidget* parent)
    : QAbstractButton(parent), m_symbol(symbol), m_reduceMotion(reduceMotion)
{
    setAccessibleName(accessibilityName);
    setToolTip(toolTip);
    setFixedSize(kSidePixels, kSidePixels);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    m_hover.setDuration(Theme::quickAnimation().durationMs);
    m_hover.setEasingCurve(Theme::quickAnimation().curve);
    connect(&m_hover, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_hoverAmount = value.toDouble();
        update();
    });
}

void IconButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    setHovered(true);
}

void IconButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    setHovered(false);
}

void IconButton::hideEvent(QHideEvent* event)
{
    QAbstractButton::hideEvent(event);
    m_hover.stop();
    m_hoverAmount = 0;
}

void IconButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hoverAmount > 0) {
        const double half = kBorderPixels / 2;
        const QRectF inset = QRectF(rect()).adjusted(half, half, -half, -half);
        painter.setPen(QPen(Theme::faded(Theme::hoverFill(), m_hoverAmount), kBorderPixels));
        painter.setBrush(Theme::faded(Theme::subtleFill(), m_hoverAmount));
        painter.drawRoundedRect(inset, kCornerRadiusPixels, kCornerRadiusPixels);
    }
    const QPixmap symbol = Theme::symbol(m_symbol, Theme::systemFont(kSymbolPoints), Theme::secondaryLabelColor(),
                                         devicePixelRatioF());
    const QSizeF size = symbol.deviceIndependentSize();
    painter.drawPixmap(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), symbol);
}

void IconButton::setHovered(bool hovered)
{
    const double target = hovered ? 1.0 : 0.0;
    m_hover.stop();
    if (m_reduceMotion) {
        m_hoverAmount = target;
        update();
        return;
    }
    m_hover.setStartValue(m_hoverAmount);
    m_hover.setEndValue(target);
    m_hover.start();
}

} // namespace larkfold
