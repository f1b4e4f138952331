#include "widgets/HoverFade.h"

#include "widgets/Theme.h"

#include <QEvent>
#include <QWidget>

namespace larkfold {

HoverFade::HoverFade(QWidget& widget, bool reduceMotion) : m_widget(widget), m_reduceMotion(reduceMotion)
{
    m_animation.setDuration(Theme::quickAnimation().durationMs);
    m_animation.setEasingCurve(Theme::quickAnimation().curve);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_amount = value.toDouble();
        m_widget.update();
    });
    widget.installEventFilter(this);
}

void HoverFade::setHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    const double target = hovered ? 1.0 : 0.0;
    m_animation.stop();
    if (m_reduceMotion) {
        m_amount = target;
        m_widget.update();
        return;
    }
    m_animation.setStartValue(m_amount);
    m_animation.setEndValue(target);
    m_animation.start();
}

bool HoverFade::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_widget) {
        switch (event->type()) {
        case QEvent::Enter: setHovered(true); break;
        case QEvent::Leave: setHovered(false); break;
        case QEvent::Hide:
            m_animation.stop();
            m_hovered = false;
            m_amount = 0;
            break;
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace larkfold
