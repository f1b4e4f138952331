#include "status/BusyIndicator.h"

#include "widgets/Theme.h"

#include <QPainter>

namespace larkfold::status {
namespace {

constexpr int kFrameIntervalMs = 40;
constexpr int kDegreesPerFrame = 12;
constexpr int kArcDegrees = 270;

} // namespace

BusyIndicator::BusyIndicator(int diameter, QWidget* parent)
    : QWidget(parent), m_diameter(diameter)
{
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(kFrameIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + kDegreesPerFrame) % 360;
        update();
    });
}

void BusyIndicator::setColor(const QColor& color)
{
    m_color = color;
    update();
}

QSize BusyIndicator::sizeHint() const
{
    return {m_diameter, m_diameter};
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max(1.5, m_diameter / 8.0);
    // The secondary colour of the moment unless one was set, so it follows light and dark.
    painter.setPen(QPen(m_color.value_or(Theme::secondaryLabelColor()), pen, Qt::SolidLine, Qt::RoundCap));
    const QRectF circle = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    painter.drawArc(circle, -m_angle * 16, kArcDegrees * 16);
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

} // namespace larkfold::status
