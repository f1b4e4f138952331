#pragma once

#include <QStyledItemDelegate>

namespace larkfold::status {

// Draws a row of the restore list: tick box, file symbol, name over path, size. Only the tick
// box reacts, to a click or the space bar.
class RestoreFileDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the tick box of a row drawn in `rowRect` lies.
    static QRect checkBoxRect(const QStyleOptionViewItem& option, const QRect& rowRect);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

} // namespace larkfold::status
