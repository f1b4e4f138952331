#include "setup/AddBackupView.h"

#include "platform/MotionPreference.h"
#include "setup/AddBackupConfirmStep.h"
#include "setup/AddBackupDestinationStep.h"
#include "setup/AddBackupOffsiteStep.h"
#include "setup/AddBackupSourceStep.h"
#include "setup/DialogSetupPrompts.h"
#include "setup/SheetParts.h"
#include "widgets/Divider.h"
#include "widgets/PlainButton.h"
#include "widgets/SymbolView.h"
#include "widgets/ToneLabel.h"
#include "widgets/Theme.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPropertyAnimation>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace larkfold {
namespace {

// The popover's size, in which the sheet is shown.
constexpr int kWidthPixels = 300;
constexpr int kHeightPixels = 360;
constexpr int kHeaderPaddingHorizontalPixels = 14;
constexpr int kHeaderPaddingVerticalPixels = 11;
constexpr int kBackSpacingPixels = 4;
constexpr double kBackChevronPoints = 11;
constexpr double kBackLabelPoints = 12;
constexpr double kTitlePoints = 13;
// Balances the back button, so the title stays near the middle.
constexpr int kTrailingBoxWidthPixels = 56;

} // namespace

AddBackupView::AddBackupView(StatusManager& statusManager, std::unique_ptr<SetupPrompts> prompts, QWidget* parent)
    : QWidget(parent), m_prompts(prompts ? std::move(prompts) : std::make_unique<DialogSetupPrompts>(this)),
      m_model(std::make_unique<AddBackupModel>(statusManager, *m_prompts)),
      m_reduceMotion(platform::prefersReducedMotion())
{
    setObjectName(QStringLiteral("addBackupView"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    // Takes the keyboard, so Return reaches the confirmation step's button.
    setFocusPolicy(Qt::StrongFocus);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(new Divider);
    m_steps = new QStackedWidget(this);
    m_sourceStep = new AddBackupSourceStep(*this);
    m_destinationStep = new AddBackupDestinationStep(*this);
    m_offsiteStep = new AddBackupOffsiteStep(*this);
    m_confirmStep = new AddBackupConfirmStep(*this);
    for (AddBackupStep* step : std::initializer_list<AddBackupStep*>{m_sourceStep, m_destinationStep, m_offsiteStep,
                                                                     m_confirmStep})
        m_steps->addWidget(step);
    column->addWidget(m_steps, 1);

    connect(m_model.get(), &AddBackupModel::stepChanged, this, &AddBackupView::showStep);
    connect(m_model.get(), &AddBackupModel::finished, this, &AddBackupView::finished);
    connect(m_model.get(), &AddBackupModel::cancelled, this, &AddBackupView::cancelled);
    for (const auto signal : {&AddBackupModel::destinationURLChanged, &AddBackupModel::validationWarningChanged,
                              &AddBackupModel::destinationChoicesChanged}) {
        connect(m_model.get(), signal, this, [this] {
            if (m_model->step() == AddBackupModel::Step::chooseDestination)
                m_destinationStep->refresh();
        });
    }
    connect(m_model.get(), &AddBackupModel::offsiteWarningChanged, m_offsiteStep, &AddBackupStep::refresh);
    showStep();
}

AddBackupView::~AddBackupView() = default;

QSize AddBackupView::sizeHint() const
{
    return {kWidthPixels, kHeightPixels};
}

void AddBackupView::openPanelLater(std::function<void()> openPanel)
{
    window()->raise();
    window()->activateWindow();
    QTimer::singleShot(0, this, std::move(openPanel));
}

QWidget* AddBackupView::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderPaddingHorizontalPixels, kHeaderPaddingVerticalPixels,
                            kHeaderPaddingHorizontalPixels, kHeaderPaddingVerticalPixels);
    row->setSpacing(0);

    auto* back = new PlainButton(header);
    back->setObjectName(QStringLiteral("backButton"));
    auto* backRow = new QHBoxLayout(back);
    backRow->setContentsMargins(0, 0, 0, 0);
    backRow->setSpacing(kBackSpacingPixels);
    backRow->addWidget(new SymbolView(QStringLiteral("chevron.left"),
                                      Theme::systemFont(kBackChevronPoints, QFont::DemiBold),
                                      Tone::secondary));
    m_backLabel = makeText({}, Theme::systemFont(kBackLabelPoints), Tone::secondary);
    m_backLabel->setObjectName(QStringLiteral("backLabel"));
    backRow->addWidget(m_backLabel);
    connect(back, &QAbstractButton::clicked, m_model.get(), &AddBackupModel::goBack);
    row->addWidget(back);
    row->addStretch(1);

    m_title = makeText({}, Theme::systemFont(kTitlePoints, QFont::DemiBold), Tone::label, false, header);
    m_title->setObjectName(QStringLiteral("stepTitle"));
    row->addWidget(m_title);
    row->addStretch(1);
    // The back button is about as wide as the box, so the title stays near the middle.
    row->addSpacing(kTrailingBoxWidthPixels);
    return header;
}

AddBackupStep* AddBackupView::page(AddBackupModel::Step step) const
{
    switch (step) {
    case AddBackupModel::Step::chooseSource:
        return m_sourceStep;
    case AddBackupModel::Step::chooseDestination:
        return m_destinationStep;
    case AddBackupModel::Step::chooseOffsite:
        return m_offsiteStep;
    case AddBackupModel::Step::confirm:
        return m_confirmStep;
    }
    return m_sourceStep;
}

void AddBackupView::showStep()
{
    const AddBackupModel::Step step = m_model->step();
    m_backLabel->setText(AddBackupModel::backButtonLabel(step));
    m_title->setText(AddBackupModel::title(step));
    AddBackupStep* next = page(step);
    next->refresh();
    if (step == AddBackupModel::Step::confirm && !hasFocus() && !isAncestorOf(QApplication::focusWidget()))
        setFocus();
    const bool changed = m_steps->currentWidget() != next;
    m_steps->setCurrentWidget(next);
    if (!changed || m_reduceMotion || !isVisible())
        return;
    // The new step fades in; the effect goes once it is fully there, so nothing stays blended.
    auto* fade = new QGraphicsOpacityEffect(next);
    fade->setOpacity(0);
    next->setGraphicsEffect(fade);
    auto* animation = new QPropertyAnimation(fade, "opacity", fade);
    animation->setDuration(Theme::stepAnimation().durationMs);
    animation->setEasingCurve(Theme::stepAnimation().curve);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    connect(animation, &QAbstractAnimation::finished, next, [next] { next->setGraphicsEffect(nullptr); });
    animation->start();
}

void AddBackupView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && m_model->step() == AddBackupModel::Step::confirm) {
        m_model->addBackups();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace larkfold
