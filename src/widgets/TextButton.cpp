#include "widgets/TextButton.h"

#include <QPainter>

namespace larkfold {

TextButton::TextButton(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QAbstractButton(parent), m_tone(tone)
{
    setText(text);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TextButton::sizeHint() const
{
    // A pixel beyond the advance, which rounds down; the height of the text's drawn box.
    return {fontMetrics().horizontalAdvance(text()) + 1,
            fontMetrics().boundingRect(QRect(), Qt::AlignLeft, text()).height()};
}

void TextButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor color = toneTextColor(m_tone);
    painter.setPen(isDown() ? color.darker(120) : color);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace larkfold
