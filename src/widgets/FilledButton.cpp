#include "widgets/FilledButton.h"

#include "widgets/Theme.h"

#include <QPainter>

namespace larkfold {
namespace {

constexpr double kCornerRadiusPixels = 8;
// Tabs sit close together, on smaller corners.
constexpr double kTabCornerRadiusPixels = 6;
constexpr double kQuietFillOpacity = 0.06;
constexpr double kCheckedTabFillOpacity = 0.09;
constexpr double kDisabledOpacity = 0.45;

} // namespace

FilledButton::FilledButton(const QString& text, const QFont& font, Kind kind, QWidget* parent)
    : QAbstractButton(parent), m_kind(kind)
{
    setText(text);
    setFont(font);
    setFocusPolicy(Qt::TabFocus);
    if (kind == Kind::tab) {
        setCheckable(true);
        setPadding(10, 4);
    }
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
    QColor textColor = toneTextColor(m_textTone);
    double radius = kCornerRadiusPixels;
    switch (m_kind) {
    case Kind::accent:
        fill = isDown() ? Theme::greenButtonFill().darker(115) : Theme::greenButtonFill();
        textColor = Theme::white();
        break;
    case Kind::quiet:
        fill = isDown() ? Theme::hoverFill() : Theme::faded(Theme::labelColor(), kQuietFillOpacity);
        break;
    case Kind::tab:
        radius = kTabCornerRadiusPixels;
        if (isDown())
            fill = Theme::hoverFill();
        else if (isChecked())
            fill = Theme::faded(Theme::labelColor(), kCheckedTabFillOpacity);
        textColor = toneTextColor(isChecked() ? Tone::label : m_textTone);
        break;
    }
    if (fill.isValid()) {
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    }
    painter.setPen(textColor);
    painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace larkfold
