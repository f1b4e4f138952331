#pragma once

// One line of text cut to the width it gets (at the start, middle or end), in a tone or a colour.

#include "widgets/Tone.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <optional>

namespace larkfold {

class ElidedText : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    ElidedText(const QFont& font, Tone tone, Qt::TextElideMode mode = Qt::ElideMiddle, QWidget* parent = nullptr);
    ElidedText(const QString& text, const QFont& font, Tone tone, Qt::TextElideMode mode = Qt::ElideMiddle,
               QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    void setText(const QString& text);
    // The text as drawn at the current width.
    QString shownText() const;

    Tone tone() const { return m_tone; }
    // Drawn in the tone's text colour of the moment, light or dark.
    void setTone(Tone tone);
    // Drawn in `color` whatever the palette.
    void setColor(const QColor& color);
    // The colour the text is drawn in now.
    QColor color() const;

    void setAlignment(Qt::Alignment alignment);
    // While the text is cut, the whole of it is the tooltip.
    void setToolTipWhenCut(bool enabled);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();

    QString m_text;
    Tone m_tone;
    std::optional<QColor> m_color;
    Qt::TextElideMode m_mode;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    bool m_toolTipWhenCut = false;
};

} // namespace larkfold
