#include "widgets/ToneLabel.h"

#include <QEvent>

namespace larkfold {

ToneLabel::ToneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QLabel(text, parent), m_tone(tone)
{
    setFont(font);
    setTextFormat(Qt::PlainText);
    // Set the role too: inside a button a label would otherwise draw in the button's text colour.
    setForegroundRole(QPalette::WindowText);
    applyColor();
}

void ToneLabel::setTone(Tone tone)
{
    if (m_tone == tone && !m_color)
        return;
    m_tone = tone;
    m_color.reset();
    applyColor();
}

void ToneLabel::setColor(const QColor& color)
{
    if (m_color == color)
        return;
    m_color = color;
    applyColor();
}

QColor ToneLabel::color() const
{
    return m_color ? *m_color : toneTextColor(m_tone);
}

void ToneLabel::applyColor()
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color());
    setPalette(palette);
}

bool ToneLabel::event(QEvent* event)
{
    const bool handled = QLabel::event(event);
    // The application's palette changed (light to dark): the tone's colour with it. Compared
    // first, so the label's own change of palette ends here.
    const auto type = event->type();
    if ((type == QEvent::ApplicationPaletteChange || type == QEvent::PaletteChange)
        && palette().color(QPalette::WindowText) != color())
        applyColor();
    return handled;
}

ToneLabel* makeText(const QString& text, const QFont& font, Tone tone, bool wraps, QWidget* parent)
{
    auto* label = new ToneLabel(text, font, tone, parent);
    label->setWordWrap(wraps);
    return label;
}

} // namespace larkfold
