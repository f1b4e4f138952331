#pragma once

// A frameless scrolling area as tall as its content up to a bound, with a slim bar in the text colour.

#include <QScrollArea>

namespace larkfold {

class BoundedScrollArea : public QScrollArea {
    Q_OBJECT
public:
    // Shrinks below `maximumHeight` when space runs short.
    BoundedScrollArea(QWidget* content, int maximumHeight, QWidget* parent = nullptr);

    // Shows `content` in place of the old one, which goes once the event that asked has ended,
    // since a click on the old content may be what asked.
    void replaceContent(QWidget* content);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    void styleScrollBar();

    int m_maximumHeight;
};

} // namespace larkfold
