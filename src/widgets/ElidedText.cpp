#include "widgets/ElidedText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace larkfold {

ElidedText::ElidedText(const QFont& font, Tone tone, Qt::TextElideMode mode, QWidget* parent)
    : ElidedText(QString(), font, tone, mode, parent)
{
}

ElidedText::ElidedText(const QString& text, const QFont& font, Tone tone, Qt::TextElideMode mode, QWidget* parent)
    : QWidget(parent), m_text(text), m_tone(tone), m_mode(mode)
{
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedText::setText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    updateGeometry();
    updateToolTip();
    update();
}

QString ElidedText::shownText() const
{
    return fontMetrics().elidedText(m_text, m_mode, contentsRect().width());
}

void ElidedText::setTone(Tone tone)
{
    if (m_tone == tone && !m_color)
        return;
    m_tone = tone;
    m_color.reset();
    update();
}

void ElidedText::setColor(const QColor& color)
{
    if (m_color == color)
        return;
    m_color = color;
    update();
}

QColor ElidedText::color() const
{
    return m_color ? *m_color : toneTextColor(m_tone);
}

void ElidedText::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void ElidedText::setToolTipWhenCut(bool enabled)
{
    m_toolTipWhenCut = enabled;
    updateToolTip();
}

QSize ElidedText::sizeHint() const
{
    // Eliding measures in fractions of a pixel: a width rounded down would cut the whole text.
    const int width = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_text))) + 1;
    const QMargins margins = contentsMargins();
    return {width + margins.left() + margins.right(), fontMetrics().height() + margins.top() + margins.bottom()};
}

QSize ElidedText::minimumSizeHint() const
{
    const QMargins margins = contentsMargins();
    return {0, fontMetrics().height() + margins.top() + margins.bottom()};
}

void ElidedText::paintEvent(QPaintEvent*)
{
    // The colour of the moment, so a change of palette needs nothing but a new paint.
    QPainter painter(this);
    painter.setPen(color());
    painter.drawText(contentsRect(), int(m_alignment | Qt::AlignVCenter), shownText());
}

void ElidedText::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateToolTip();
}

void ElidedText::updateToolTip()
{
    if (m_toolTipWhenCut)
        setToolTip(shownText() == m_text ? QString() : m_text);
}

} // namespace larkfold
