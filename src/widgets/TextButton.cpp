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
    return {fontMetrics().horizontalAdvance(text()) + 1, fontMetrics().height()};
}

void TextButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor color = toneTextColor(m_tone);
    painter.setPen(isDown() ? color.darker(120) : color);
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace larkfold
