#pragma once

#include "setup/AddBackupStep.h"
#include "widgets/BoundedScrollArea.h"
#include "widgets/WarningBox.h"

namespace larkfold {

class BoundedScrollArea;
class WarningBox;

// The second step: where the copies go. Lists the chosen folders, the destinations other pairs
// use and the mounted volumes, and says why a destination cannot be taken.
class AddBackupDestinationStep : public AddBackupStep {
    Q_OBJECT
public:
    explicit AddBackupDestinationStep(AddBackupView& sheet, QWidget* parent = nullptr);

    void refresh() override;

private:
    void refreshSources();
    void refreshChoices();

    QWidget* m_sources = nullptr;
    BoundedScrollArea* m_sourceList = nullptr;
    BoundedScrollArea* m_choices = nullptr;
    WarningBox* m_warning = nullptr;
};

} // namespace larkfold
