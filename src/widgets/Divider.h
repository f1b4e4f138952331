#pragma once

// A one-pixel line in the separator colour of the moment, inset from either side.

#include <QWidget>

namespace larkfold {

class Divider : public QWidget {
    Q_OBJECT
public:
    explicit Divider(int leadingInset = 0, int trailingInset = 0, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_leadingInset;
    int m_trailingInset;
};

} // namespace larkfold
