#pragma once

#include <QWidget>

namespace larkfold {

// One line of text cut to the width it is given, at the start, middle or end, with the full
// text as its tooltip when cut.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    // The text as it is drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();

    Qt::TextElideMode m_mode;
    QString m_text;
};

} // namespace larkfold
