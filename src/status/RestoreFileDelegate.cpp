#include "status/RestoreFileDelegate.h"

#include "status/RestoreFileListModel.h"
#include "status/StatusStyle.h"
#include "widgets/Theme.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace larkfold::status {
namespace {

constexpr int kHorizontalPaddingPx = 16;
constexpr int kVerticalPaddingPx = 8;
constexpr int kSpacingPx = 8;
constexpr int kIconFramePx = 16;
constexpr int kIconPx = 16;
constexpr int kLineSpacingPx = 1;
constexpr int kDividerInsetPx = 48;
constexpr double kDividerOpacity = 0.1;

QStyle* styleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

// The path in the backup, after the day it was deleted for a file of the trash.
QString secondLine(const QModelIndex& index)
{
    const QString path = index.data(RestoreFileListModel::PathRole).toString();
    const QString day = index.data(RestoreFileListModel::DayRole).toString();
    return day.isEmpty() ? path : QStringLiteral("Deleted %1 · %2").arg(day, path);
}

} // namespace

QRect RestoreFileDelegate::checkBoxRect(const QStyleOptionViewItem& option, const QRect& rowRect)
{
    QStyle* style = styleOf(option);
    const int width = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
    const int height = style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget);
    return {rowRect.left() + kHorizontalPaddingPx, rowRect.center().y() - height / 2, width, height};
}

QSize RestoreFileDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    const int height = kVerticalPaddingPx + QFontMetrics(Theme::bodyFont()).height() + kLineSpacingPx
        + QFontMetrics(Theme::captionFont()).height() + kVerticalPaddingPx;
    return {0, height};
}

void RestoreFileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const QRect row = option.rect;
    QStyle* style = styleOf(option);

    QStyleOptionButton box;
    box.rect = checkBoxRect(option, row);
    box.state = QStyle::State_Enabled
        | (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);

    int x = box.rect.right() + 1 + kSpacingPx;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap icon = fileSymbol(index.data(RestoreFileListModel::IconNameRole).toString(),
                                    Theme::tertiaryLabelColor(), kIconPx, ratio);
    painter->drawPixmap(x + (kIconFramePx - kIconPx) / 2, row.center().y() - kIconPx / 2, icon);
    x += kIconFramePx + kSpacingPx;

    int right = row.right() - kHorizontalPaddingPx;
    const QString size = index.data(RestoreFileListModel::SizeTextRole).toString();
    if (!size.isEmpty()) {
        const QFontMetrics metrics(Theme::smallFont());
        const int width = metrics.horizontalAdvance(size);
        painter->setFont(Theme::smallFont());
        painter->setPen(Theme::secondaryLabelColor());
        painter->drawText(QRect(right - width, row.top(), width, row.height()), Qt::AlignRight | Qt::AlignVCenter, size);
        right -= width + kSpacingPx;
    }

    const QFontMetrics nameMetrics(Theme::bodyFont());
    const QFontMetrics pathMetrics(Theme::captionFont());
    const int textWidth = std::max(0, right - x);
    const int textTop = row.top() + (row.height() - nameMetrics.height() - kLineSpacingPx - pathMetrics.height()) / 2;
    painter->setFont(Theme::bodyFont());
    painter->setPen(Theme::labelColor());
    painter->drawText(QRect(x, textTop, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, textWidth));
    painter->setFont(Theme::captionFont());
    painter->setPen(Theme::secondaryLabelColor());
    painter->drawText(QRect(x, textTop + nameMetrics.height() + kLineSpacingPx, textWidth, pathMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      // A long path keeps its file's end; a trash row keeps its day too.
                      pathMetrics.elidedText(secondLine(index),
                                             index.data(RestoreFileListModel::DayRole).toString().isEmpty() ? Qt::ElideLeft
                                                                                                            : Qt::ElideMiddle,
                                             textWidth));

    if (index.row() + 1 < index.model()->rowCount()) {
        painter->setPen(Theme::faded(Theme::labelColor(), kDividerOpacity));
        painter->drawLine(row.left() + kDividerInsetPx, row.bottom(), row.right(), row.bottom());
    }
    painter->restore();
}

bool RestoreFileDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                      const QModelIndex& index)
{
    bool toggle = false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !checkBoxRect(option, option.rect).contains(mouse->position().toPoint()))
            return false;
        toggle = event->type() == QEvent::MouseButtonRelease;
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select)
            return false;
        toggle = true;
        break;
    }
    default:
        return false;
    }
    if (toggle) {
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
    return true;
}

} // namespace larkfold::status
