#pragma once

#include "setup/SetupPrompts.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace larkfold {

class ConfigStore;
class StatusManager;
class WelcomeModel;

// The first-run window's content: a header with the step, the step's page and the footer with
// Back and Next. It binds a WelcomeModel and forwards clicks; the model decides.
class WelcomeView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 480;
    static constexpr int kStepHeight = 300;

    // `prompts` null: the dialogs of this desktop.
    WelcomeView(StatusManager& statusManager, ConfigStore& configStore, std::unique_ptr<SetupPrompts> prompts = nullptr,
                QWidget* parent = nullptr);
    ~WelcomeView() override;

    WelcomeModel& model() { return *m_model; }

signals:
    // The pair is made and onboarding is done: the window may go.
    void completed();

protected:
    // Return is the primary button's, as in a dialog.
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Parts;
    void rebuildStep();
    void refreshHeader();

    std::unique_ptr<Parts> m_parts;
    std::unique_ptr<WelcomeModel> m_model;
};

} // namespace larkfold
