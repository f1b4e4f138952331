#pragma once

// One of our monochrome symbols, as tall as a line of a font, recoloured from the palette as it is drawn.

#include "widgets/Tone.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <optional>

namespace larkfold {

class SymbolView : public QWidget {
    Q_OBJECT
public:
    // Centred in a box at least `boxWidth` wide.
    SymbolView(const QString& name, const QFont& font, Tone tone, int boxWidth = 0, QWidget* parent = nullptr);
    // A square `side` pixels wide, whatever the font.
    SymbolView(const QString& name, int side, Tone tone, QWidget* parent = nullptr);

    const QString& name() const { return m_name; }
    Tone tone() const { return m_tone; }
    void setSymbol(const QString& name, Tone tone);
    void setTone(Tone tone);
    // Drawn in `color` whatever the palette.
    void setColor(const QColor& color);
    // The colour the symbol is drawn in now.
    QColor color() const;
    // Turned clockwise about its centre.
    void setRotation(double degrees);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    QFont m_font;
    std::optional<int> m_side;
    Tone m_tone;
    std::optional<QColor> m_color;
    int m_boxWidth;
    double m_rotationDegrees = 0;
};

} // namespace larkfold
