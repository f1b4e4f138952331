#include "widgets/Divider.h"

#include "widgets/Theme.h"

#include <QPainter>

namespace larkfold {

Divider::Divider(int leadingInset, int trailingInset, QWidget* parent)
    : QWidget(parent), m_leadingInset(leadingInset), m_trailingInset(trailingInset)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect().adjusted(m_leadingInset, 0, -m_trailingInset, 0), Theme::separatorColor());
}

} // namespace larkfold
