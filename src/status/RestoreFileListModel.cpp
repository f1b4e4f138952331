#include "status/RestoreFileListModel.h"

#include "platform/ByteCount.h"
#include "platform/MainThread.h"

#include <algorithm>
#include <unordered_set>

namespace larkfold {

RestoreFileListModel::RestoreFileListModel(QObject* parent) : QAbstractListModel(parent) {}

void RestoreFileListModel::setItems(std::vector<RestoreFileItem> items)
{
    platform::requireMainThread("RestoreFileListModel::setItems");
    beginResetModel();
    m_items = std::move(items);
    m_selectedCount = int(std::count_if(m_items.begin(), m_items.end(), [](const auto& i) { return i.isSelected; }));
    endResetModel();
    emit selectionChanged();
}

void RestoreFileListModel::updateItems(std::vector<RestoreFileItem> items)
{
    std::unordered_set<std::string> ticked;
    for (const RestoreFileItem& item : m_items) {
        if (item.isSelected)
            ticked.insert(item.listedPath());
    }
    for (RestoreFileItem& item : items)
        item.isSelected = item.isSelected || ticked.contains(item.listedPath());
    setItems(std::move(items));
}

std::vector<RestoreFileItem> RestoreFileListModel::selectedItems() const
{
    std::vector<RestoreFileItem> selected;
    selected.reserve(std::size_t(m_selectedCount));
    std::copy_if(m_items.begin(), m_items.end(), std::back_inserter(selected), [](const auto& i) { return i.isSelected; });
    return selected;
}

void RestoreFileListModel::setSelected(const std::vector<int>& rows, bool selected)
{
    int first = rowCount();
    int last = -1;
    for (const int row : rows) {
        if (row < 0 || row >= rowCount() || m_items[std::size_t(row)].isSelected == selected)
            continue;
        m_items[std::size_t(row)].isSelected = selected;
        m_selectedCount += selected ? 1 : -1;
        first = std::min(first, row);
        last = std::max(last, row);
    }
    if (last < 0)
        return;
    emit dataChanged(index(first), index(last), {Qt::CheckStateRole});
    emit selectionChanged();
}

void RestoreFileListModel::selectOnly(const std::vector<int>& rows)
{
    std::vector<bool> chosen(m_items.size(), false);
    for (const int row : rows) {
        if (row >= 0 && row < rowCount())
            chosen[std::size_t(row)] = true;
    }
    bool changed = false;
    for (std::size_t row = 0; row < m_items.size(); ++row) {
        changed = changed || m_items[row].isSelected != chosen[row];
        m_items[row].isSelected = chosen[row];
    }
    if (!changed)
        return;
    m_selectedCount = int(std::count(chosen.begin(), chosen.end(), true));
    emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
    emit selectionChanged();
}

int RestoreFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant RestoreFileListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const RestoreFileItem& file = item(index.row());
    switch (role) {
    case Qt::DisplayRole: return file.displayName;
    case Qt::ToolTipRole:
    case PathRole: return file.displayPath;
    case Qt::CheckStateRole: return file.isSelected ? Qt::Checked : Qt::Unchecked;
    case SizeTextRole: return file.fileSize > 0 ? platform::formatByteCount(file.fileSize) : QString();
    case IconNameRole: return restoreIconName(file.name);
    case DayRole: return file.displayDay;
    default: return {};
    }
}

bool RestoreFileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    setSelected({index.row()}, static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked);
    return true;
}

Qt::ItemFlags RestoreFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

QHash<int, QByteArray> RestoreFileListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(PathRole, "path");
    names.insert(SizeTextRole, "sizeText");
    names.insert(IconNameRole, "iconName");
    names.insert(DayRole, "day");
    return names;
}

} // namespace larkfold
