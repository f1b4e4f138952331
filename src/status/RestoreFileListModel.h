#pragma once

#include "status/RestoreFileItem.h"

#include <QAbstractListModel>

#include <vector>

namespace larkfold {

// The files of a pair's backup, one row each in scan order, and the only store of their ticks.
// Main thread only.
class RestoreFileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        PathRole = Qt::UserRole + 1, // the readable relative path
        SizeTextRole,                // the size as shown; empty for 0 bytes
        IconNameRole,                // restoreIconName of the name
        DayRole,                     // the trash day as shown; empty for a file of the backup
    };

    explicit RestoreFileListModel(QObject* parent = nullptr);

    // Replaces every item, dropping all ticks.
    void setItems(std::vector<RestoreFileItem> items);
    // Replaces every item; those at a path that was ticked before stay ticked.
    void updateItems(std::vector<RestoreFileItem> items);
    const std::vector<RestoreFileItem>& items() const { return m_items; }
    const RestoreFileItem& item(int row) const { return m_items[std::size_t(row)]; }

    // The ticked items in list order, hidden ones included.
    std::vector<RestoreFileItem> selectedItems() const;
    int selectedCount() const { return m_selectedCount; }
    // Ticks or clears the given rows at once.
    void setSelected(const std::vector<int>& rows, bool selected);
    // Ticks the given rows and clears every other.
    void selectOnly(const std::vector<int>& rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the readable name; tooltip: the full path; check state: the tick.
    QVariant data(const QModelIndex& index, int role) const override;
    // Takes a check state only.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    // The ticks changed (also when the items were replaced).
    void selectionChanged();

private:
    std::vector<RestoreFileItem> m_items;
    int m_selectedCount = 0;
};

} // namespace larkfold
