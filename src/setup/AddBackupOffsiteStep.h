#pragma once

#include "setup/AddBackupStep.h"
#include "widgets/BoundedScrollArea.h"
#include "widgets/WarningBox.h"

namespace larkfold {

class BoundedScrollArea;
class WarningBox;

// The third step: a further copy in a cloud folder, one found here or any other, or none.
class AddBackupOffsiteStep : public AddBackupStep {
    Q_OBJECT
public:
    explicit AddBackupOffsiteStep(AddBackupView& sheet, QWidget* parent = nullptr);

    void refresh() override;

private:
    QWidget* makeCloudFolders();

    BoundedScrollArea* m_cloudFolders = nullptr;
    WarningBox* m_warning = nullptr;
};

} // namespace larkfold
