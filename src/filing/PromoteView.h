#pragma once

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace larkfold {

class ElidedText;
class SymbolView;
class ToneLabel;
class FilingPrompts;
class PromoteViewModel;

// The content of the "File a Finished Project" window: the model's step, its fields bound both
// ways, the two folder panels and the model's operations. Decides nothing itself; the model must
// outlive it.
class PromoteView : public QWidget {
    Q_OBJECT
public:
    PromoteView(PromoteViewModel& model, FilingPrompts& prompts, QWidget* parent = nullptr);

protected:
    // Return presses the step's default button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* makeChooseStep();
    QWidget* makeReviewStep();
    QWidget* makeFilingStep();
    QWidget* makeFinishedStep();

    // The panels open on a later turn of the event loop, so the click that asked has ended.
    void chooseProject();
    void chooseArchive();
    void commitYear();

    void refresh();
    void refreshReview();
    void refreshWarnings();
    void refreshFinished();
    // `lines` shows one bullet per text, in place of what it showed.
    static void showBullets(QVBoxLayout* lines, const QStringList& texts);

    PromoteViewModel& m_model;
    FilingPrompts& m_prompts;
    QStackedWidget* m_steps = nullptr;

    QPushButton* m_chooseProjectButton = nullptr;

    ElidedText* m_projectName = nullptr;
    QWidget* m_warningsBox = nullptr;
    QVBoxLayout* m_warningLines = nullptr;
    QLineEdit* m_nameField = nullptr;
    QLineEdit* m_yearField = nullptr;
    ElidedText* m_archivePath = nullptr;
    QPushButton* m_archiveButton = nullptr;
    ElidedText* m_goesTo = nullptr;
    QWidget* m_tidyUpRow = nullptr;
    QCheckBox* m_tidyUpBox = nullptr;
    QLabel* m_tidyUpLabel = nullptr;
    QPushButton* m_fileButton = nullptr;

    QLabel* m_filingTitle = nullptr;
    QProgressBar* m_progressBar = nullptr;
    ElidedText* m_progressLabel = nullptr;

    SymbolView* m_finishedIcon = nullptr;
    QLabel* m_finishedTitle = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_revealButton = nullptr;
    QWidget* m_leftOutBox = nullptr;
    ToneLabel* m_leftOutHeading = nullptr;
    QVBoxLayout* m_leftOutLines = nullptr;
    QStringList m_shownLeftOut;
};

} // namespace larkfold
