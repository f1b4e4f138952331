#include "setup/AddBackupDestinationStep.h"

#include "platform/Paths.h"
#include "setup/AddBackupView.h"
#include "setup/SheetParts.h"
#include "setup/VolumePickerRow.h"
#include "widgets/BoundedScrollArea.h"
#include "widgets/Divider.h"
#include "widgets/ElidedText.h"
#include "widgets/PlainButton.h"
#include "widgets/SymbolView.h"
#include "widgets/ToneLabel.h"
#include "widgets/WarningBox.h"
#include "widgets/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr int kInsetPixels = 14;
constexpr int kRowInsetPixels = 6;
constexpr int kListPaddingPixels = 4;
constexpr int kRowSpacingPixels = 3;
constexpr int kSourceRowPaddingPixels = 6;
constexpr int kSourceRowSpacingPixels = 8;
constexpr int kSourceLineSpacingPixels = 1;
constexpr double kSourceSymbolPoints = 12;
constexpr double kFolderSymbolPoints = 14;
constexpr double kCheckmarkPoints = 11;
// Two chosen folders show whole; more scroll, so the destinations keep their room.
constexpr int kSourcesMaximumHeightPixels = 90;
constexpr int kChoicesMaximumHeightPixels = 200;
constexpr int kHeadingTopPixels = 12;
constexpr int kHeadingBottomPixels = 6;
constexpr int kNoDrivesTopPixels = 8;
constexpr int kNoteTopPixels = 4;
constexpr int kButtonPaddingPixels = 10;
constexpr int kWarningBottomPixels = 8;

QVBoxLayout* column(QWidget* widget, int verticalPadding = 0)
{
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, verticalPadding, 0, verticalPadding);
    layout->setSpacing(0);
    return layout;
}

QVBoxLayout* rowStack()
{
    auto* stack = new QVBoxLayout;
    stack->setContentsMargins(kRowInsetPixels, kListPaddingPixels, kRowInsetPixels, kListPaddingPixels);
    stack->setSpacing(kRowSpacingPixels);
    return stack;
}

QWidget* sourceRow(const fs::path& source)
{
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("sourceRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(kInsetPixels, kSourceRowPaddingPixels, kInsetPixels, kSourceRowPaddingPixels);
    layout->setSpacing(kSourceRowSpacingPixels);
    layout->addWidget(new SymbolView(QStringLiteral("folder.fill"), Theme::systemFont(kSourceSymbolPoints),
                                     Tone::secondary));
    auto* lines = new QVBoxLayout;
    lines->setSpacing(kSourceLineSpacingPixels);
    lines->addWidget(new ElidedText(AddBackupModel::folderName(source),
                                          withWeight(Theme::bodyFont(), QFont::DemiBold), Tone::label));
    auto* path = new ElidedText(AddBackupModel::pathText(source), Theme::captionFont(),
                                      Tone::tertiary);
    path->setToolTip(AddBackupModel::pathText(source));
    lines->addWidget(path);
    layout->addLayout(lines, 1);
    return row;
}

} // namespace

AddBackupDestinationStep::AddBackupDestinationStep(AddBackupView& sheet, QWidget* parent)
    : AddBackupStep(sheet, parent)
{
    QVBoxLayout* steps = column(this);

    m_sources = new QWidget(this);
    QVBoxLayout* sourcesColumn = column(m_sources);
    m_sourceList = new BoundedScrollArea(new QWidget, kSourcesMaximumHeightPixels, m_sources);
    sourcesColumn->addWidget(m_sourceList);
    sourcesColumn->addWidget(new Divider(0, 0, m_sources));
    steps->addWidget(m_sources);

    QLabel* heading = makeText(QStringLiteral("Where should copies go?"), Theme::headingFont(), Tone::label,
                               false, this);
    heading->setContentsMargins(kInsetPixels, kHeadingTopPixels, kInsetPixels, kHeadingBottomPixels);
    steps->addWidget(heading);

    m_choices = new BoundedScrollArea(new QWidget, kChoicesMaximumHeightPixels, this);
    steps->addWidget(m_choices);

    QLabel* note = makeText(QStringLiteral("Larkfold will create a folder called \"Larkfold\" in the location you "
                                           "pick. Your files will be mirrored inside it."),
                            Theme::smallFont(), Tone::tertiary, true, this);
    note->setContentsMargins(kInsetPixels, kNoteTopPixels, kInsetPixels, 0);
    steps->addWidget(note);
    steps->addWidget(new Divider(0, 0, this));

    PlainButton* chooseAny = makeChooseAnyFolderButton(this);
    connect(chooseAny, &QAbstractButton::clicked, this,
            [this] { this->sheet().openPanelLater([this] { model().chooseDestinationFolder(); }); });
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(kInsetPixels, kButtonPaddingPixels, kInsetPixels, kButtonPaddingPixels);
    buttonRow->addStretch(1);
    buttonRow->addWidget(chooseAny);
    steps->addLayout(buttonRow);

    m_warning = new WarningBox(this);
    m_warning->setObjectName(QStringLiteral("validationWarning"));
    auto* warningRow = new QHBoxLayout;
    warningRow->setContentsMargins(kInsetPixels, 0, kInsetPixels, kWarningBottomPixels);
    warningRow->addWidget(m_warning);
    steps->addLayout(warningRow);
    steps->addStretch(1);
}

void AddBackupDestinationStep::refresh()
{
    refreshSources();
    refreshChoices();
    const auto& warning = model().validationWarning();
    m_warning->setText(warning.value_or(QString()));
    m_warning->setVisible(warning.has_value());
}

void AddBackupDestinationStep::refreshSources()
{
    auto* rows = new QWidget;
    QVBoxLayout* list = column(rows, kListPaddingPixels);
    for (const fs::path& source : model().sourceURLs())
        list->addWidget(sourceRow(source));
    m_sourceList->replaceContent(rows);
    m_sources->setVisible(!model().sourceURLs().empty());
}

void AddBackupDestinationStep::refreshChoices()
{
    auto* content = new QWidget;
    QVBoxLayout* choices = column(content);
    const bool reduceMotion = sheet().reduceMotion();
    const std::vector<fs::path> earlier = model().earlierDestinations();
    if (!earlier.empty()) {
        QVBoxLayout* stack = rowStack();
        for (const fs::path& destination : earlier) {
            const QString path = AddBackupModel::pathText(destination);
            RowButton* row = makeChoiceRow({QStringLiteral("folder.fill"), kFolderSymbolPoints, 0,
                                            AddBackupModel::folderName(destination),
                                            AddBackupModel::pathText(platform::standardized(destination).parent_path()),
                                            path, QStringLiteral("checkmark"),
                                            Theme::systemFont(kCheckmarkPoints, QFont::DemiBold)},
                                           model().isChosenDestination(destination), reduceMotion);
            row->setObjectName(QStringLiteral("earlierDestinationRow"));
            connect(row, &QAbstractButton::clicked, this,
                    [this, destination] { model().selectDestination(destination); });
            stack->addWidget(row);
        }
        choices->addLayout(stack);
        choices->addWidget(new Divider(kInsetPixels, kInsetPixels));
    }
    const auto& volumes = model().mountedVolumes();
    if (!volumes.empty()) {
        QVBoxLayout* stack = rowStack();
        for (const VolumeMonitor::VolumeInfo& volume : volumes) {
            const fs::path folder = volume.id;
            stack->addWidget(new VolumePickerRow(
                volume, model().isChosenDestination(folder),
                [this, folder] { sheet().openPanelLater([this, folder] { model().chooseDestinationFolder(folder); }); },
                reduceMotion));
        }
        choices->addLayout(stack);
    } else if (earlier.empty()) {
        QLabel* none = makeText(QStringLiteral("No external drives connected."), Theme::bodyFont(),
                                Tone::secondary);
        none->setObjectName(QStringLiteral("noDrives"));
        none->setContentsMargins(kInsetPixels, kNoDrivesTopPixels, kInsetPixels, 0);
        choices->addWidget(none);
    }
    m_choices->replaceContent(content);
}

} // namespace larkfold
