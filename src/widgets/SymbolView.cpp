#include "widgets/SymbolView.h"

#include "widgets/Theme.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace larkfold {

SymbolView::SymbolView(const QString& name, const QFont& font, Tone tone, int boxWidth, QWidget* parent)
    : QWidget(parent), m_name(name), m_font(font), m_tone(tone), m_boxWidth(boxWidth)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

SymbolView::SymbolView(const QString& name, int side, Tone tone, QWidget* parent)
    : SymbolView(name, QFont(), tone, side, parent)
{
    m_side = side;
}

void SymbolView::setSymbol(const QString& name, Tone tone)
{
    if (m_name == name && m_tone == tone && !m_color)
        return;
    m_name = name;
    m_tone = tone;
    m_color.reset();
    update();
}

void SymbolView::setTone(Tone tone)
{
    setSymbol(m_name, tone);
}

void SymbolView::setColor(const QColor& color)
{
    if (m_color == color)
        return;
    m_color = color;
    update();
}

QColor SymbolView::color() const
{
    return m_color ? *m_color : toneColor(m_tone);
}

void SymbolView::setRotation(double degrees)
{
    if (m_rotationDegrees == degrees)
        return;
    m_rotationDegrees = degrees;
    update();
}

QSize SymbolView::sizeHint() const
{
    if (m_side)
        return {*m_side, *m_side};
    const int side = QFontMetrics(m_font).height();
    return {std::max(side, m_boxWidth), side};
}

void SymbolView::paintEvent(QPaintEvent*)
{
    const QPixmap symbol = m_side ? Theme::symbol(m_name, *m_side, color(), devicePixelRatioF())
                                  : Theme::symbol(m_name, m_font, color(), devicePixelRatioF());
    if (symbol.isNull())
        return;
    const QSizeF size = symbol.deviceIndependentSize();
    QPainter painter(this);
    if (m_rotationDegrees != 0) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(width() / 2.0, height() / 2.0);
        painter.rotate(m_rotationDegrees);
        painter.drawPixmap(QPointF(-size.width() / 2, -size.height() / 2), symbol);
        return;
    }
    painter.drawPixmap(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), symbol);
}

} // namespace larkfold
