#pragma once

#include "setup/AddBackupModel.h"
#include "widgets/PlainButton.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QStackedWidget;

namespace larkfold {

class AddBackupConfirmStep;
class AddBackupDestinationStep;
class AddBackupOffsiteStep;
class AddBackupSourceStep;
class AddBackupStep;
class PlainButton;
class SetupPrompts;
class StatusManager;

// The add-a-backup sheet: a header with the back or cancel button and the step's title above
// the content of the model's step. The presenter shows it in place of its own content and takes
// it away on finished() or cancelled() (with deleteLater(): the signals come from inside the
// sheet's own work); each presentation is a new sheet.
class AddBackupView : public QWidget {
    Q_OBJECT
public:
    // With the real panels and alerts unless `prompts` are given. The coordinator must outlive the sheet.
    explicit AddBackupView(StatusManager& statusManager, std::unique_ptr<SetupPrompts> prompts = nullptr,
                           QWidget* parent = nullptr);
    ~AddBackupView() override;

    AddBackupModel& model() { return *m_model; }
    // Step changes and hover fills without animation; the desktop's setting unless set.
    bool reduceMotion() const { return m_reduceMotion; }
    void setReduceMotion(bool reduceMotion) { m_reduceMotion = reduceMotion; }
    // Brings the sheet's window forward, then runs `openPanel` on a later turn of the event loop,
    // once the click that asked for it has ended.
    void openPanelLater(std::function<void()> openPanel);

    QSize sizeHint() const override;

signals:
    void finished();
    void cancelled();

protected:
    // Return adds the backups on the confirmation step.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* makeHeader();
    void showStep();
    AddBackupStep* page(AddBackupModel::Step step) const;

    std::unique_ptr<SetupPrompts> m_prompts;
    std::unique_ptr<AddBackupModel> m_model;
    bool m_reduceMotion = false;
    QLabel* m_backLabel = nullptr;
    QLabel* m_title = nullptr;
    QStackedWidget* m_steps = nullptr;
    AddBackupSourceStep* m_sourceStep = nullptr;
    AddBackupDestinationStep* m_destinationStep = nullptr;
    AddBackupOffsiteStep* m_offsiteStep = nullptr;
    AddBackupConfirmStep* m_confirmStep = nullptr;
};

} // namespace larkfold
