#pragma once

// A text in a tone (or a fixed colour) that takes its colour again whenever the palette changes.

#include "widgets/Tone.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

#include <optional>

namespace larkfold {

class ToneLabel : public QLabel {
    Q_OBJECT
public:
    ToneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent = nullptr);

    Tone tone() const { return m_tone; }
    // Drawn in the tone's text colour of the moment, light or dark.
    void setTone(Tone tone);
    // Drawn in `color` whatever the palette, for text on a fill of its own (white on green).
    void setColor(const QColor& color);
    // The colour the text is drawn in now.
    QColor color() const;

protected:
    bool event(QEvent* event) override;

private:
    void applyColor();

    Tone m_tone;
    std::optional<QColor> m_color;
};

// A plain text in a font and tone, on one line unless `wraps`.
ToneLabel* makeText(const QString& text, const QFont& font, Tone tone, bool wraps = false, QWidget* parent = nullptr);
// A parent where `wraps` goes would turn into wrapping and no parent.
ToneLabel* makeText(const QString& text, const QFont& font, Tone tone, QWidget* parent) = delete;

} // namespace larkfold
