#pragma once

// A button that draws nothing itself: it shows what its layout holds, and its whole rectangle takes the click.

#include <QAbstractButton>

namespace larkfold {

class PlainButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PlainButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Children never take the pointer, so a click anywhere reaches the button.
    void childEvent(QChildEvent* event) override;
};

} // namespace larkfold
