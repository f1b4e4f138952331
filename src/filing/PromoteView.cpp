#include "filing/PromoteView.h"

#include "filing/FilingPrompts.h"
#include "filing/FilingText.h"
#include "filing/PromoteViewModel.h"
#include "widgets/ElidedText.h"
#include "widgets/RoundedCard.h"
#include "widgets/SymbolView.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace larkfold {
namespace {

constexpr int kInsetPixels = 16;
constexpr int kStepSpacingPixels = 16;
constexpr int kSectionSpacingPixels = 6;
constexpr int kWarningsInsetPixels = 12;
constexpr int kWarningsCornerRadiusPixels = 8;
constexpr int kMinimumWidthPixels = 460;
constexpr int kMinimumHeightPixels = 340;
constexpr int kYearFieldWidthPixels = 64;
// A line of this size is 20 pixels tall, as the title beside it needs.
constexpr double kHeaderSymbolPoints = 17;
constexpr int kProgressSteps = 1000;

ToneLabel* wrappingText(const QString& text, const QFont& font, Tone tone = Tone::label)
{
    return makeText(text, font, tone, true);
}

// A step's content in a frameless area that scrolls up and down.
QScrollArea* scrolling(QWidget* content, const char* name)
{
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QLatin1String(name));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    return scroll;
}

QVBoxLayout* stepColumn(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kStepSpacingPixels);
    return column;
}

QVBoxLayout* sectionColumn()
{
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSectionSpacingPixels);
    return column;
}

QHBoxLayout* row()
{
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSectionSpacingPixels);
    return layout;
}

QPushButton* button(const QString& text, const char* objectName)
{
    auto* control = new QPushButton(text);
    control->setObjectName(QLatin1String(objectName));
    return control;
}

// The warnings' amber panel with rounded corners.
RoundedCard* warningsBox()
{
    auto* box = new RoundedCard(kWarningsCornerRadiusPixels);
    box->setFill(Theme::warningFill());
    return box;
}

ElidedText* elided(const QFont& font, Tone tone, Qt::TextElideMode mode)
{
    auto* text = new ElidedText(font, tone, mode);
    text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    text->setToolTipWhenCut(true);
    return text;
}

// A label that toggles its check box when clicked, as a check box's own text would.
class CheckBoxLabel final : public QLabel {
public:
    CheckBoxLabel(QCheckBox* box) : m_box(box) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (m_box->isEnabled())
            m_box->toggle();
    }

private:
    QCheckBox* m_box;
};

} // namespace

PromoteView::PromoteView(PromoteViewModel& model, FilingPrompts& prompts, QWidget* parent)
    : QWidget(parent), m_model(model), m_prompts(prompts)
{
    setMinimumSize(kMinimumWidthPixels, kMinimumHeightPixels);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(kInsetPixels, kInsetPixels, kInsetPixels, kInsetPixels);
    m_steps = new QStackedWidget;
    m_steps->addWidget(makeChooseStep());
    m_steps->addWidget(makeReviewStep());
    m_steps->addWidget(makeFilingStep());
    m_steps->addWidget(makeFinishedStep());
    frame->addWidget(m_steps);

    for (const auto signal : {&PromoteViewModel::stepChanged, &PromoteViewModel::projectChanged,
                              &PromoteViewModel::inspectionChanged, &PromoteViewModel::rebuildableChanged,
                              &PromoteViewModel::outcomeChanged, &PromoteViewModel::archiveRootChanged,
                              &PromoteViewModel::yearChanged, &PromoteViewModel::nameChanged,
                              &PromoteViewModel::removeRebuildableChanged, &PromoteViewModel::progressChanged,
                              &PromoteViewModel::progressLabelChanged})
        connect(&m_model, signal, this, &PromoteView::refresh);
    connect(&m_model, &PromoteViewModel::inspectionChanged, this, &PromoteView::refreshWarnings);
    refreshWarnings();
    refresh();
}

QWidget* PromoteView::makeChooseStep()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("chooseStep"));
    QVBoxLayout* column = stepColumn(page);
    column->addWidget(makeText(QStringLiteral("File a finished project"), Theme::titleFont(), Tone::label));
    column->addWidget(wrappingText(QStringLiteral("Pick a project folder you've finished with. It gets copied into "
                                                   "your archive under the right year — your original stays exactly "
                                                   "where it is."),
                                    Theme::bodyFont(), Tone::secondary));
    m_chooseProjectButton = button(QStringLiteral("Choose Project Folder…"), "chooseProjectButton");
    m_chooseProjectButton->setDefault(true);
    connect(m_chooseProjectButton, &QPushButton::clicked, this, &PromoteView::chooseProject);
    column->addWidget(m_chooseProjectButton, 0, Qt::AlignLeft);
    column->addStretch();
    return page;
}

QWidget* PromoteView::makeReviewStep()
{
    auto* content = new QWidget;
    QVBoxLayout* column = stepColumn(content);

    m_projectName = elided(Theme::titleFont(), Tone::label, Qt::ElideMiddle);
    m_projectName->setObjectName(QStringLiteral("projectName"));
    column->addWidget(m_projectName);

    m_warningsBox = warningsBox();
    m_warningsBox->setObjectName(QStringLiteral("warningsBox"));
    auto* warnings = sectionColumn();
    warnings->setContentsMargins(kWarningsInsetPixels, kWarningsInsetPixels, kWarningsInsetPixels, kWarningsInsetPixels);
    m_warningsBox->setLayout(warnings);
    auto* heading = makeText(QStringLiteral("Worth a look first"), Theme::subheadingFont(), Tone::label);
    heading->setTone(Tone::amber);
    warnings->addWidget(heading);
    m_warningLines = sectionColumn();
    warnings->addLayout(m_warningLines);
    warnings->addWidget(
        wrappingText(QStringLiteral("You can file it anyway — this is just a heads-up."), Theme::captionFont(), Tone::secondary));
    column->addWidget(m_warningsBox);

    auto* nameSection = sectionColumn();
    nameSection->addWidget(makeText(QStringLiteral("File it as"), Theme::headingFont(), Tone::label));
    auto* nameRow = row();
    m_nameField = new QLineEdit;
    m_nameField->setObjectName(QStringLiteral("nameField"));
    m_nameField->setPlaceholderText(QStringLiteral("Name"));
    connect(m_nameField, &QLineEdit::textEdited, &m_model, &PromoteViewModel::setName);
    nameRow->addWidget(m_nameField, 1);
    nameRow->addWidget(makeText(QStringLiteral("in"), Theme::bodyFont(), Tone::secondary));
    m_yearField = new QLineEdit;
    m_yearField->setObjectName(QStringLiteral("yearField"));
    m_yearField->setPlaceholderText(QStringLiteral("Year"));
    m_yearField->setFixedWidth(kYearFieldWidthPixels);
    connect(m_yearField, &QLineEdit::editingFinished, this, &PromoteView::commitYear);
    nameRow->addWidget(m_yearField);
    nameSection->addLayout(nameRow);
    column->addLayout(nameSection);

    auto* archiveSection = sectionColumn();
    archiveSection->addWidget(makeText(QStringLiteral("Archive folder"), Theme::headingFont(), Tone::label));
    auto* archiveRow = row();
    m_archivePath = elided(Theme::captionFont(), Tone::label, Qt::ElideLeft);
    m_archivePath->setObjectName(QStringLiteral("archivePath"));
    archiveRow->addWidget(m_archivePath, 1);
    m_archiveButton = button(QString(), "archiveButton");
    connect(m_archiveButton, &QPushButton::clicked, this, &PromoteView::chooseArchive);
    archiveRow->addWidget(m_archiveButton);
    archiveSection->addLayout(archiveRow);
    m_goesTo = elided(Theme::smallFont(), Tone::tertiary, Qt::ElideLeft);
    m_goesTo->setObjectName(QStringLiteral("goesTo"));
    archiveSection->addWidget(m_goesTo);
    column->addLayout(archiveSection);

    m_tidyUpRow = new QWidget;
    auto* tidyUp = row();
    tidyUp->setContentsMargins(0, 0, 0, 0);
    m_tidyUpRow->setLayout(tidyUp);
    m_tidyUpBox = new QCheckBox;
    m_tidyUpBox->setObjectName(QStringLiteral("tidyUpBox"));
    connect(m_tidyUpBox, &QCheckBox::toggled, &m_model, &PromoteViewModel::setRemoveRebuildable);
    tidyUp->addWidget(m_tidyUpBox, 0, Qt::AlignTop);
    m_tidyUpLabel = new CheckBoxLabel(m_tidyUpBox);
    m_tidyUpLabel->setObjectName(QStringLiteral("tidyUpLabel"));
    m_tidyUpLabel->setFont(Theme::bodyFont());
    m_tidyUpLabel->setWordWrap(true);
    m_tidyUpLabel->setTextFormat(Qt::PlainText);
    m_tidyUpLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    tidyUp->addWidget(m_tidyUpLabel, 1);
    column->addWidget(m_tidyUpRow);

    auto* buttons = new QHBoxLayout;
    auto* back = button(QStringLiteral("Back"), "backButton");
    connect(back, &QPushButton::clicked, &m_model, &PromoteViewModel::reset);
    buttons->addWidget(back);
    buttons->addStretch();
    m_fileButton = button(QStringLiteral("File It"), "fileButton");
    m_fileButton->setDefault(true);
    connect(m_fileButton, &QPushButton::clicked, &m_model, &PromoteViewModel::file);
    buttons->addWidget(m_fileButton);
    column->addLayout(buttons);
    column->addStretch();

    return scrolling(content, "reviewStep");
}

QWidget* PromoteView::makeFilingStep()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("filingStep"));
    QVBoxLayout* column = stepColumn(page);
    m_filingTitle = wrappingText(QString(), Theme::titleFont());
    m_filingTitle->setObjectName(QStringLiteral("filingTitle"));
    column->addWidget(m_filingTitle);
    m_progressBar = new QProgressBar;
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setRange(0, kProgressSteps);
    m_progressBar->setTextVisible(false);
    column->addWidget(m_progressBar);
    m_progressLabel = elided(Theme::captionFont(), Tone::secondary, Qt::ElideMiddle);
    m_progressLabel->setObjectName(QStringLiteral("progressLabel"));
    column->addWidget(m_progressLabel);
    column->addWidget(makeText(QStringLiteral("Your original isn't being touched."), Theme::smallFont(), Tone::tertiary));
    column->addStretch();
    return page;
}

QWidget* PromoteView::makeFinishedStep()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("finishedStep"));
    QVBoxLayout* column = stepColumn(page);
    auto* header = row();
    m_finishedIcon = new SymbolView(QStringLiteral("checkmark.circle.fill"), Theme::systemFont(kHeaderSymbolPoints),
                                    Tone::green);
    m_finishedIcon->setObjectName(QStringLiteral("finishedIcon"));
    header->addWidget(m_finishedIcon);
    m_finishedTitle = makeText({}, Theme::titleFont(), Tone::label);
    m_finishedTitle->setObjectName(QStringLiteral("finishedTitle"));
    header->addWidget(m_finishedTitle, 1);
    column->addLayout(header);
    m_summary = wrappingText(QString(), Theme::bodyFont());
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_summary);

    m_leftOutBox = warningsBox();
    m_leftOutBox->setObjectName(QStringLiteral("leftOutBox"));
    auto* leftOut = sectionColumn();
    leftOut->setContentsMargins(kWarningsInsetPixels, kWarningsInsetPixels, kWarningsInsetPixels, kWarningsInsetPixels);
    m_leftOutBox->setLayout(leftOut);
    m_leftOutHeading = makeText({}, Theme::subheadingFont(), Tone::label);
    m_leftOutHeading->setObjectName(QStringLiteral("leftOutHeading"));
    // The accent itself, not its text colour, as the heading has always been drawn.
    m_leftOutHeading->setColor(Theme::amber());
    leftOut->addWidget(m_leftOutHeading);
    m_leftOutLines = sectionColumn();
    leftOut->addLayout(m_leftOutLines);
    column->addWidget(m_leftOutBox);
    m_revealButton = button(QStringLiteral("Show in File Manager"), "revealButton");
    connect(m_revealButton, &QPushButton::clicked, this, [this] {
        if (const auto& outcome = m_model.outcome())
            m_prompts.revealInFileManager(outcome->plan.destination);
    });
    column->addWidget(m_revealButton, 0, Qt::AlignLeft);
    auto* again = row();
    auto* fileAnother = button(QStringLiteral("File Another"), "fileAnotherButton");
    connect(fileAnother, &QPushButton::clicked, &m_model, &PromoteViewModel::reset);
    again->addWidget(fileAnother);
    again->addStretch();
    column->addLayout(again);
    column->addStretch();

    // A long list of what was left out scrolls rather than pushing the buttons off the window.
    return scrolling(page, "finishedScroll");
}

void PromoteView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton* defaultButton = m_model.step() == PromoteViewModel::Step::choose ? m_chooseProjectButton
            : m_model.step() == PromoteViewModel::Step::review                      ? m_fileButton
                                                                                     : nullptr;
        if (defaultButton && defaultButton->isEnabled()) {
            defaultButton->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void PromoteView::chooseProject()
{
    QTimer::singleShot(0, this, [this] {
        window()->activateWindow();
        if (const auto folder = m_prompts.chooseProjectFolder(window()))
            m_model.choose(*folder);
    });
}

void PromoteView::chooseArchive()
{
    QTimer::singleShot(0, this, [this] {
        window()->activateWindow();
        if (const auto folder = m_prompts.chooseArchiveFolder(window()))
            m_model.setArchiveRoot(*folder);
    });
}

void PromoteView::commitYear()
{
    if (const auto year = PromoteViewModel::yearFromText(m_yearField->text()))
        m_model.setYear(*year);
    // A refused year shows the one that stays.
    m_yearField->setText(QString::number(m_model.year()));
}

void PromoteView::refresh()
{
    m_steps->setCurrentIndex(int(m_model.step()));
    refreshReview();
    m_filingTitle->setText(QStringLiteral("Filing ") + quotedName(m_model.name()) + QStringLiteral("…"));
    m_progressBar->setValue(qRound(m_model.progress() * kProgressSteps));
    m_progressLabel->setText(m_model.progressLabel().isEmpty() ? QStringLiteral("Copying…") : m_model.progressLabel());
    refreshFinished();
}

void PromoteView::refreshReview()
{
    const auto& inspection = m_model.inspection();
    m_projectName->setText(inspection ? inspection->name : QString());
    if (m_nameField->text() != m_model.name())
        m_nameField->setText(m_model.name());
    if (!m_yearField->hasFocus())
        m_yearField->setText(QString::number(m_model.year()));

    const auto& archive = m_model.archiveRoot();
    m_archivePath->setText(archive ? pathText(*archive) : QStringLiteral("Not chosen yet"));
    m_archivePath->setTone(archive ? Tone::secondary : Tone::tertiary);
    m_archiveButton->setText(archive ? QStringLiteral("Change…") : QStringLiteral("Choose…"));

    const bool canFile = m_model.canFile();
    m_goesTo->setText(QStringLiteral("Goes to ") + m_model.destinationPath());
    m_goesTo->setVisible(canFile);
    m_fileButton->setEnabled(canFile);

    const auto& rebuildable = m_model.rebuildable();
    m_tidyUpRow->setVisible(rebuildable && !rebuildable->items.empty());
    m_tidyUpLabel->setText(rebuildable ? rebuildable->summary() : QString());
    m_tidyUpBox->setChecked(m_model.removeRebuildable());
}

void PromoteView::refreshWarnings()
{
    const auto& inspection = m_model.inspection();
    const QStringList warnings = inspection ? inspection->warnings() : QStringList();
    showBullets(m_warningLines, warnings);
    m_warningsBox->setVisible(!warnings.isEmpty());
}

void PromoteView::showBullets(QVBoxLayout* lines, const QStringList& texts)
{
    while (QLayoutItem* item = lines->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const QString& text : texts)
        lines->addWidget(wrappingText(QStringLiteral("• ") + text, Theme::bodyFont()));
}

void PromoteView::refreshFinished()
{
    const auto& outcome = m_model.outcome();
    const bool succeeded = outcome && outcome->isFiled();
    m_finishedIcon->setSymbol(succeeded ? QStringLiteral("checkmark.circle.fill")
                                        : QStringLiteral("exclamationmark.triangle.fill"),
                              succeeded ? Tone::green : Tone::red);
    m_finishedTitle->setText(succeeded ? QStringLiteral("Filed") : QStringLiteral("Couldn't file it"));
    m_summary->setText(outcome ? outcome->summary() : QString());
    m_revealButton->setVisible(succeeded);
    const QStringList leftOut = outcome ? outcome->leftOutLines() : QStringList();
    if (leftOut != m_shownLeftOut) {
        showBullets(m_leftOutLines, leftOut);
        m_shownLeftOut = leftOut;
    }
    m_leftOutHeading->setText(QStringLiteral("Not in the archive (%1)").arg(leftOut.size()));
    m_leftOutBox->setVisible(!leftOut.isEmpty());
}

} // namespace larkfold
