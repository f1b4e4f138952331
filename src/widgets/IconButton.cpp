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
    : QAbstractButton(parent), m_symbol(symbol), m_hover(*this, reduceMotion)
{
    setAccessibleName(accessibilityName);
    setToolTip(toolTip);
    setFixedSize(kSidePixels, kSidePixels);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

void IconButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hover.amount() > 0) {
        const double half = kBorderPixels / 2;
        const QRectF inset = QRectF(rect()).adjusted(half, half, -half, -half);
        painter.setPen(QPen(Theme::faded(Theme::hoverFill(), m_hover.amount()), kBorderPixels));
        painter.setBrush(Theme::faded(Theme::subtleFill(), m_hover.amount()));
        painter.drawRoundedRect(inset, kCornerRadiusPixels, kCornerRadiusPixels);
    }
    const QPixmap symbol = Theme::symbol(m_symbol, Theme::systemFont(kSymbolPoints), Theme::secondaryLabelColor(),
                                         devicePixelRatioF());
    const QSizeF size = symbol.deviceIndependentSize();
    painter.drawPixmap(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), symbol);
}

} // namespace larkfold
