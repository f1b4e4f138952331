#pragma once

// A small button that is one of our symbols, with a fill and a hairline that fade in under the pointer.

#include <QAbstractButton>
#include <QString>
#include <QVariantAnimation>

namespace larkfold {

class IconButton : public QAbstractButton {
    Q_OBJECT
public:
    // The fill comes at once where `reduceMotion`.
    IconButton(const QString& symbol, const QString& accessibilityName, const QString& toolTip, bool reduceMotion,
               QWidget* parent = nullptr);

    // How far the hover look has come in: 0 to 1.
    double hoverAmount() const { return m_hoverAmount; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // A window closed under the pointer sends no leave; it must not open again with the fill.
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setHovered(bool hovered);

    QString m_symbol;
    bool m_reduceMotion;
    double m_hoverAmount = 0;
    QVariantAnimation m_hover;
};

} // namespace larkfold
