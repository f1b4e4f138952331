#pragma once

// A rounded rectangle under what its layout holds: the control background, or a fill of the caller's.

#include <QColor>
#include <QWidget>

#include <optional>

namespace larkfold {

class RoundedCard : public QWidget {
    Q_OBJECT
public:
    explicit RoundedCard(double cornerRadius, QWidget* parent = nullptr);

    // Drawn in `fill` in place of the palette's control background.
    void setFill(const QColor& fill);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_cornerRadius;
    std::optional<QColor> m_fill;
};

} // namespace larkfold
