#pragma once

// The sheet's own parts: the rows that offer a folder, and the font weights its texts use.

#include "widgets/PlainButton.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QVariantAnimation>

namespace larkfold {

// `font` at another weight.
QFont withWeight(QFont font, QFont::Weight weight);

// A selectable row on a rounded rectangle: the selected fill when selected, else a fill that
// fades in while the pointer is over it (at once when motion is reduced).
class RowButton : public PlainButton {
    Q_OBJECT
    Q_PROPERTY(bool hovered READ isHovered)
public:
    RowButton(int cornerRadius, bool reduceMotion, QWidget* parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHovered() const { return m_hovered; }
    // How far the hover look has come in: 0 to 1.
    double hoverAmount() const { return m_hoverAmount; }
    // The background as drawn now.
    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    int cornerRadius() const { return m_cornerRadius; }

private:
    void setHovered(bool hovered);

    int m_cornerRadius;
    bool m_reduceMotion;
    bool m_selected = false;
    bool m_hovered = false;
    double m_hoverAmount = 0;
    QVariantAnimation m_hoverAnimation;
};

// A row that offers a folder (an earlier destination, a cloud folder): a symbol, a title and a
// line below it, and a mark while it is the chosen one.
struct ChoiceRow {
    QString symbol;
    double symbolPoints = 14;
    int symbolBoxWidth = 0;
    QString title;
    QString subtitle;
    QString toolTip;
    QString checkSymbol;
    QFont checkFont;
};
RowButton* makeChoiceRow(const ChoiceRow& row, bool selected, bool reduceMotion, QWidget* parent = nullptr);

// The plain "Choose any folder ›" button of the destination and offsite steps.
PlainButton* makeChooseAnyFolderButton(QWidget* parent = nullptr);

} // namespace larkfold
