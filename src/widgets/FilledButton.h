#pragma once

// A button with its text centred on a rounded fill: the green of a flow's main action, a quiet one, or a tab's.

#include "widgets/Tone.h"

#include <QAbstractButton>
#include <QFont>
#include <QString>

namespace larkfold {

class FilledButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind {
        accent, // white text on green
        quiet,  // text in a tone on a faint fill of the label colour
        tab,    // one of a row of choices: secondary text on nothing, label text on a faint fill once checked
    };

    FilledButton(const QString& text, const QFont& font, Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    // Space between the text and the fill's edges.
    void setPadding(int horizontal, int vertical);
    // The quiet kind's text colour, and an unchecked tab's; secondary unless set.
    void setTextTone(Tone tone);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    Tone m_textTone = Tone::secondary;
    int m_horizontalPadding = 10;
    int m_verticalPadding = 7;
};

} // namespace larkfold
