#include "status/PopoverParts.h"

#include "widgets/Theme.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace larkfold {

QColor toneColor(Tone tone)
{
    switch (tone) {
    case Tone::green:
        return Theme::green();
    case Tone::amber:
        return Theme::amber();
    case Tone::red:
        return Theme::red();
    case Tone::label:
        return Theme::labelColor();
    case Tone::secondary:
        return Theme::secondaryLabelColor();
    case Tone::tertiary:
        return Theme::tertiaryLabelColor();
    }
    return Theme::labelColor();
}

QColor toneTextColor(Tone tone)
{
    switch (tone) {
    case Tone::green:
        return Theme::greenText();
    case Tone::amber:
        return Theme::amberText();
    case Tone::red:
        return Theme::redText();
    case Tone::label:
    case Tone::secondary:
    case Tone::tertiary:
        break;
    }
    return toneColor(tone);
}

// --- ToneLabel ---

ToneLabel::ToneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QLabel(text, parent), m_tone(tone)
{
    setFont(font);
    setTextFormat(Qt::PlainText);
    // Set the role too: inside a button a label would otherwise draw in the button's text colour.
    setForegroundRole(QPalette::WindowText);
    applyTone();
}

void ToneLabel::setTone(Tone tone)
{
    if (m_tone == tone)
        return;
    m_tone = tone;
    applyTone();
}

void ToneLabel::applyTone()
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, toneTextColor(m_tone));
    setPalette(palette);
}

bool ToneLabel::event(QEvent* event)
{
    const bool handled = QLabel::event(event);
    // The application's palette changed (light to dark): the tone's colour with it. Compared
    // first, so the label's own change of palette ends here.
    const auto type = event->type();
    if ((type == QEvent::ApplicationPaletteChange || type == QEvent::PaletteChange)
        && palette().color(QPalette::WindowText) != toneTextColor(m_tone))
        applyTone();
    return handled;
}

// --- ElidedLine ---

ElidedLine::ElidedLine(const QFont& font, Tone tone, Qt::TextElideMode mode, QWidget* parent)
    : QWidget(parent), m_tone(tone), m_mode(mode)
{
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLine::setText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

QString ElidedLine::shownText() const
{
    return fontMetrics().elidedText(m_text, m_mode, width());
}

QSize ElidedLine::sizeHint() const
{
    // Eliding measures in fractions of a pixel: a width rounded down would cut the whole text.
    const int width = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_text))) + 1;
    return {width, fontMetrics().height()};
}

QSize ElidedLine::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void ElidedLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(toneTextColor(m_tone));
    painter.drawText(rect(), int(Qt::AlignLeft | Qt::AlignVCenter), shownText());
}

// --- ToneSymbol ---

ToneSymbol::ToneSymbol(const QString& name, const QFont& font, Tone tone, QWidget* parent)
    : QWidget(parent), m_name(name), m_font(font), m_tone(tone)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToneSymbol::setSymbol(const QString& name, Tone tone)
{
    if (m_name == name && m_tone == tone)
        return;
    m_name = name;
    m_tone = tone;
    update();
}

QSize ToneSymbol::sizeHint() const
{
    const int side = QFontMetrics(m_font).height();
    return {side, side};
}

void ToneSymbol::paintEvent(QPaintEvent*)
{
    const QPixmap symbol = Theme::symbol(m_name, m_font, toneColor(m_tone), devicePixelRatioF());
    if (symbol.isNull())
        return;
    const QSizeF size = symbol.deviceIndependentSize();
    QPainter painter(this);
    painter.drawPixmap(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), symbol);
}

} // namespace larkfold
