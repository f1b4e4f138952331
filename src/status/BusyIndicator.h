#pragma once

#include <QTimer>
#include <QWidget>

#include <optional>

namespace larkfold::status {

// A small turning arc: the platform's indeterminate progress indicator. Turns only while shown.
class BusyIndicator : public QWidget {
    Q_OBJECT

public:
    explicit BusyIndicator(int diameter, QWidget* parent = nullptr);

    void setColor(const QColor& color);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_diameter;
    int m_angle = 0;
    std::optional<QColor> m_color;
    QTimer m_timer;
};

} // namespace larkfold::status
