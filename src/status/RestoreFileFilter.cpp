#include "status/RestoreFileFilter.h"

#include "status/RestoreFileListModel.h"

namespace larkfold {

RestoreFileFilter::RestoreFileFilter(RestoreFileListModel* files, QObject* parent)
    : QSortFilterProxyModel(parent), m_files(files)
{
    // Ticks change often and names never: no filtering again on every tick.
    setDynamicSortFilter(false);
    setSourceModel(files);
}

void RestoreFileFilter::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    m_needle = text.toLower();
    invalidateRowsFilter();
}

std::vector<int> RestoreFileFilter::sourceRows() const
{
    std::vector<int> rows;
    const int count = rowCount();
    rows.reserve(std::size_t(count));
    for (int row = 0; row < count; ++row)
        rows.push_back(mapToSource(index(row, 0)).row());
    return rows;
}

bool RestoreFileFilter::allSelected() const
{
    const int count = rowCount();
    if (count == 0)
        return false;
    for (int row = 0; row < count; ++row) {
        if (!m_files->item(mapToSource(index(row, 0)).row()).isSelected)
            return false;
    }
    return true;
}

void RestoreFileFilter::setAllSelected(bool selected)
{
    // A filter that shows nothing changes nothing.
    if (rowCount() == 0)
        return;
    // A file ticked earlier and hidden now would be restored unseen with the ones shown.
    if (selected)
        m_files->selectOnly(sourceRows());
    else
        m_files->setSelected(sourceRows(), false);
}

bool RestoreFileFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    if (m_needle.isEmpty())
        return true;
    const auto& item = m_files->item(sourceRow);
    return item.searchName.contains(m_needle) || item.searchPath.contains(m_needle);
}

} // namespace larkfold
