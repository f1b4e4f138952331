#pragma once

#include "setup/AddBackupStep.h"
#include "widgets/FilledButton.h"

class QLabel;
class QVBoxLayout;

namespace larkfold {

class FilledButton;

// The last step: what will be backed up where, and the button that adds the backups.
class AddBackupConfirmStep : public AddBackupStep {
    Q_OBJECT
public:
    explicit AddBackupConfirmStep(AddBackupView& sheet, QWidget* parent = nullptr);

    void refresh() override;

private:
    QWidget* m_summary = nullptr;
    QVBoxLayout* m_summaryHolder = nullptr;
    QLabel* m_sentence = nullptr;
    QWidget* m_offsiteRow = nullptr;
    QLabel* m_offsiteLine = nullptr;
    FilledButton* m_addButton = nullptr;
};

} // namespace larkfold
