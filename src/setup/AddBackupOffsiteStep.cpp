#include "setup/AddBackupOffsiteStep.h"

#include "setup/AddBackupView.h"
#include "setup/OffsiteIntroHeader.h"
#include "setup/SheetParts.h"
#include "widgets/BoundedScrollArea.h"
#include "widgets/Divider.h"
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

constexpr int kStepSpacingPixels = 6;
constexpr int kInsetPixels = 14;
constexpr int kHeaderTopPixels = 12;
constexpr int kCloudFoldersMaximumHeightPixels = 140;
constexpr int kRowInsetPixels = 6;
constexpr int kListPaddingPixels = 4;
constexpr int kRowSpacingPixels = 3;
constexpr double kProviderSymbolPoints = 14;
constexpr int kProviderSymbolWidthPixels = 22;
constexpr double kCheckmarkPoints = 14;
constexpr int kEmptySpacingPixels = 8;
constexpr int kEmptyPaddingPixels = 16;
constexpr double kEmptySymbolPoints = 26;
constexpr int kChooseAnyTopPixels = 4;
constexpr double kSkipPoints = 12;
constexpr int kSkipBottomPixels = 14;
constexpr int kWarningBottomPixels = 8;

QWidget* noCloudFolders()
{
    auto* block = new QWidget;
    block->setObjectName(QStringLiteral("noCloudFolders"));
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(kInsetPixels, kEmptyPaddingPixels, kInsetPixels, kEmptyPaddingPixels);
    column->setSpacing(kEmptySpacingPixels);
    column->addWidget(new SymbolView(QStringLiteral("icloud.slash"),
                                     Theme::systemFont(kEmptySymbolPoints, QFont::Light), Tone::tertiary),
                      0, Qt::AlignHCenter);
    QLabel* title = makeText(QStringLiteral("No cloud folders detected."), Theme::bodyFont(),
                             Tone::secondary);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    QLabel* hint = makeText(QStringLiteral("You can still pick any folder as your offsite location."),
                            Theme::captionFont(), Tone::tertiary, true);
    hint->setAlignment(Qt::AlignCenter);
    column->addWidget(hint);
    return block;
}

} // namespace

AddBackupOffsiteStep::AddBackupOffsiteStep(AddBackupView& sheet, QWidget* parent) : AddBackupStep(sheet, parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, kHeaderTopPixels, 0, 0);
    column->setSpacing(kStepSpacingPixels);

    auto* header = new OffsiteIntroHeader(this);
    header->setContentsMargins(kInsetPixels, 0, kInsetPixels, 0);
    column->addWidget(header);

    m_cloudFolders = new BoundedScrollArea(new QWidget, kCloudFoldersMaximumHeightPixels, this);
    column->addWidget(m_cloudFolders);
    column->addWidget(new Divider(kInsetPixels, kInsetPixels, this));

    PlainButton* chooseAny = makeChooseAnyFolderButton(this);
    connect(chooseAny, &QAbstractButton::clicked, this,
            [this] { this->sheet().openPanelLater([this] { model().chooseOffsiteFolder(); }); });
    auto* chooseRow = new QHBoxLayout;
    chooseRow->setContentsMargins(kInsetPixels, kChooseAnyTopPixels, kInsetPixels, 0);
    chooseRow->addStretch(1);
    chooseRow->addWidget(chooseAny);
    column->addLayout(chooseRow);

    auto* skip = new PlainButton(this);
    skip->setObjectName(QStringLiteral("skipOffsiteButton"));
    const QString skipText = QStringLiteral("Skip — I don't need an offsite copy");
    skip->setAccessibleName(skipText);
    auto* skipRow = new QHBoxLayout(skip);
    skipRow->setContentsMargins(0, 0, 0, kSkipBottomPixels);
    skipRow->addWidget(makeText(skipText, Theme::systemFont(kSkipPoints), Tone::secondary));
    connect(skip, &QAbstractButton::clicked, this, [this] { model().skipOffsite(); });
    column->addWidget(skip, 0, Qt::AlignHCenter);

    m_warning = new WarningBox(this);
    m_warning->setObjectName(QStringLiteral("offsiteWarning"));
    auto* warningRow = new QHBoxLayout;
    warningRow->setContentsMargins(kInsetPixels, 0, kInsetPixels, kWarningBottomPixels);
    warningRow->addWidget(m_warning);
    column->addLayout(warningRow);
    column->addStretch(1);
}

void AddBackupOffsiteStep::refresh()
{
    m_cloudFolders->replaceContent(makeCloudFolders());
    const auto& warning = model().offsiteWarning();
    m_warning->setText(warning.value_or(QString()));
    m_warning->setVisible(warning.has_value());
}

QWidget* AddBackupOffsiteStep::makeCloudFolders()
{
    const auto& folders = model().cloudFolders();
    if (folders.empty())
        return noCloudFolders();
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(kRowInsetPixels, kListPaddingPixels, kRowInsetPixels, kListPaddingPixels);
    stack->setSpacing(kRowSpacingPixels);
    for (const CloudSyncDetector::AvailableProvider& folder : folders) {
        const bool isICloud = folder.provider == CloudSyncDetector::Provider::iCloud;
        const QString path = AddBackupModel::pathText(folder.url);
        RowButton* row = makeChoiceRow(
            {isICloud ? QStringLiteral("icloud.fill") : QStringLiteral("cloud.fill"), kProviderSymbolPoints,
             kProviderSymbolWidthPixels, CloudSyncDetector::displayName(folder.provider), path, path,
             QStringLiteral("checkmark.circle.fill"), Theme::systemFont(kCheckmarkPoints)},
            model().isChosenOffsite(folder.url), sheet().reduceMotion());
        row->setObjectName(QStringLiteral("cloudFolderRow"));
        const fs::path url = folder.url;
        connect(row, &QAbstractButton::clicked, this,
                [this, url] { sheet().openPanelLater([this, url] { model().chooseOffsiteFolder(url); }); });
        stack->addWidget(row);
    }
    return content;
}

} // namespace larkfold
