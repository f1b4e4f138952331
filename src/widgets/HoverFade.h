#pragma once

// How far a widget's hover look has come in: eased in under the pointer, out when it leaves.

#include <QObject>
#include <QVariantAnimation>

class QWidget;

namespace larkfold {

// Follows the pointer entering and leaving `widget` and repaints it as the amount moves from 0
// (plain) to 1 (hovered), at once where `reduceMotion`. A widget hidden under the pointer gets no
// leave, so hidden it starts plain again.
class HoverFade : public QObject {
public:
    HoverFade(QWidget& widget, bool reduceMotion);

    bool isHovered() const { return m_hovered; }
    double amount() const { return m_amount; }
    // For a widget that moved under a still pointer, or from under it: it gets no enter or leave.
    void setHovered(bool hovered);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_widget;
    bool m_reduceMotion;
    bool m_hovered = false;
    double m_amount = 0;
    QVariantAnimation m_animation;
};

} // namespace larkfold
