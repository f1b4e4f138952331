#pragma once

// A small button that is one of our symbols, with a fill and a hairline that fade in under the pointer.

#include "widgets/HoverFade.h"

#include <QAbstractButton>
#include <QString>

namespace larkfold {

class IconButton : public QAbstractButton {
    Q_OBJECT
public:
    // The fill comes at once where `reduceMotion`.
    IconButton(const QString& symbol, const QString& accessibilityName, const QString& toolTip, bool reduceMotion,
               QWidget* parent = nullptr);

    // How far the hover look has come in: 0 to 1.
    double hoverAmount() const { return m_hover.amount(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    HoverFade m_hover;
};

} // namespace larkfold
