#include "widgets/PlainButton.h"

#include <QChildEvent>
#include <QLayout>

namespace larkfold {

PlainButton::PlainButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::TabFocus);
}

QSize PlainButton::sizeHint() const
{
    return layout() ? layout()->sizeHint() : QSize();
}

QSize PlainButton::minimumSizeHint() const
{
    return layout() ? layout()->minimumSize() : QSize();
}

void PlainButton::paintEvent(QPaintEvent*) {}

void PlainButton::childEvent(QChildEvent* event)
{
    QAbstractButton::childEvent(event);
    if (event->added() && event->child()->isWidgetType())
        static_cast<QWidget*>(event->child())->setAttribute(Qt::WA_TransparentForMouseEvents);
}

} // namespace larkfold
