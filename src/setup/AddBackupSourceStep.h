#pragma once

#include "setup/AddBackupStep.h"
#include "setup/SheetParts.h"
#include "widgets/PlainButton.h"
#include "widgets/SymbolView.h"

namespace larkfold {

class SymbolView;

// The rectangle that takes dropped folders, and a click that opens the panel.
class DropZone : public PlainButton {
    Q_OBJECT
    Q_PROPERTY(bool dropTargeted READ isDropTargeted)
public:
    explicit DropZone(QWidget* parent = nullptr);

    // While a drag of files hovers over the zone.
    bool isDropTargeted() const { return m_dropTargeted; }

signals:
    // Dropped file URLs; the receiver says whether the drop was taken.
    void dropped(const QList<QUrl>& urls, bool* accepted);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setDropTargeted(bool targeted);

    bool m_dropTargeted = false;
    SymbolView* m_symbol = nullptr;
};

// The first step: which folders to back up, dropped or chosen in the panel.
class AddBackupSourceStep : public AddBackupStep {
    Q_OBJECT
public:
    explicit AddBackupSourceStep(AddBackupView& sheet, QWidget* parent = nullptr);
};

} // namespace larkfold
