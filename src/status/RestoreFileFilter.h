#pragma once

#include <QSortFilterProxyModel>

#include <vector>

namespace larkfold {

class RestoreFileListModel;

// The rows of a RestoreFileListModel that the filter text matches, in list order: every row for
// an empty text, otherwise those whose name or path contains the text, case ignored (spaces count).
class RestoreFileFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit RestoreFileFilter(RestoreFileListModel* files, QObject* parent = nullptr);

    const QString& searchText() const { return m_searchText; }
    void setSearchText(const QString& text);

    // The list model's rows of what is shown, in order.
    std::vector<int> sourceRows() const;
    // Something is shown and all of it is ticked.
    bool allSelected() const;
    // Ticked: what is shown, and nothing else, is ticked. Cleared: what is shown is cleared and
    // hidden rows keep their ticks.
    void setAllSelected(bool selected);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    RestoreFileListModel* m_files;
    QString m_searchText;
    QString m_needle;
};

} // namespace larkfold
