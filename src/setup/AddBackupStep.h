#pragma once

#include <QWidget>

namespace larkfold {

class AddBackupModel;
class AddBackupView;

// The content of one step of the add-a-backup sheet, drawn from the sheet's model.
class AddBackupStep : public QWidget {
    Q_OBJECT
public:
    explicit AddBackupStep(AddBackupView& sheet, QWidget* parent = nullptr);

    // Draws the step again from the model's state.
    virtual void refresh() {}

protected:
    AddBackupView& sheet() const { return m_sheet; }
    AddBackupModel& model() const;

private:
    AddBackupView& m_sheet;
};

} // namespace larkfold
