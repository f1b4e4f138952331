#include "setup/AddBackupStep.h"

#include "setup/AddBackupView.h"

namespace larkfold {

AddBackupStep::AddBackupStep(AddBackupView& sheet, QWidget* parent) : QWidget(parent), m_sheet(sheet) {}

AddBackupModel& AddBackupStep::model() const
{
    return m_sheet.model();
}

} // namespace larkfold
