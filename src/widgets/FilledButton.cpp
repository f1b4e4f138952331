#include "widgets/FilledButton.h"

#include "widgets/Theme.h"

#include <QPainter>

namespace larkfold {
namespace {

constexpr double kCornerRadiusPixels = 8;
constexpr double kQuietFillOpacity = 0.06;
constexpr double kDisabledOpacity = 0.45;

} // namespace

FilledButton::FilledButton(const QString& text, const QFont& font, Kind kind, QWidget* parent)
    : QAbstractButton(parent), m_kind(kind)
{
    setText(text);
    setFont(font);
    setFocusPolicy(Qt::TabFocus);
}

void FilledButton::setPadding(int horizontal, int vertical)
{
    m_horizontalPadding = horizontal;
    m_verticalPadding = vertical;
    updateGeometry();
}

void FilledButton::setTextTone(Tone tone)
{
    m_textTone = tone;
    update();
}

QSize FilledButton::sizeHint() const
{
    // A pixel beyond the advance, which rounds down; the height of the text's drawn box, which can
    // be a pixel taller than a line.
    const int height = fontMetrics().boundingRect(QRect(), Qt::AlignCenter, text()).height();
    return {fontMetrics().horizontalAdvance(text()) + 1 + 2 * m_horizontalPadding, height + 2 * m_verticalPadding};
}

void FilledButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (!isEnabled())
        painter.setOpacity(kDisabledOpacity);
    QColor fill;
    if (m_kind == Kind::accent) {
        fill = isDown() ? Theme::greenButtonFill().darker(115) : Theme::greenButtonFill();
    } else if (isDown()) {
        fill = Theme::hoverFill();
    } else {
        fill = Theme::labelColor();
        fill.setAlphaF(float(kQuietFillOpacity));
    }
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()), kCornerRadiusPixels, kCornerRadiusPixels);
    painter.setPen(m_kind == Kind::accent ? Theme::white() : toneTextColor(m_textTone));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace larkfold
