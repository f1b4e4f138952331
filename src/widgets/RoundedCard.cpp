#include "widgets/RoundedCard.h"

#include <QPainter>

namespace larkfold {

RoundedCard::RoundedCard(double cornerRadius, QWidget* parent) : QWidget(parent), m_cornerRadius(cornerRadius) {}

void RoundedCard::setFill(const QColor& fill)
{
    m_fill = fill;
    update();
}

void RoundedCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_fill ? *m_fill : palette().color(QPalette::Base));
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}

} // namespace larkfold
