#pragma once

// A button that is only its text, in a tone, darker while pressed.

#include "widgets/Tone.h"

#include <QAbstractButton>
#include <QFont>
#include <QString>

namespace larkfold {

class TextButton : public QAbstractButton {
    Q_OBJECT
public:
    TextButton(const QString& text, const QFont& font, Tone tone = Tone::green, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Tone m_tone;
};

} // namespace larkfold
