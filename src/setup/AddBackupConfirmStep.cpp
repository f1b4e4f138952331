#include "setup/AddBackupConfirmStep.h"

#include "setup/AddBackupView.h"
#include "setup/SheetParts.h"
#include "widgets/ElidedText.h"
#include "widgets/FilledButton.h"
#include "widgets/RoundedCard.h"
#include "widgets/SymbolView.h"
#include "widgets/ToneLabel.h"
#include "widgets/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr int kSingleRowSpacingPixels = 12;
constexpr int kSingleRowInsetPixels = 20;
constexpr int kCardSpacingPixels = 6;
constexpr int kCardPaddingPixels = 10;
constexpr int kCardCornerRadiusPixels = 8;
constexpr double kCardSymbolPoints = 28;
constexpr double kArrowPoints = 16;
constexpr int kListSpacingPixels = 6;
constexpr int kListInsetPixels = 16;
constexpr double kListSymbolPoints = 12;
constexpr double kListArrowPoints = 10;
constexpr int kSentenceGapPixels = 16;
constexpr int kSentenceInsetPixels = 28;
constexpr int kOffsiteTopPixels = 8;
constexpr int kOffsiteSpacingPixels = 6;
constexpr double kOffsiteSymbolPoints = 11;
constexpr int kButtonInsetPixels = 16;
constexpr int kButtonPaddingPixels = 8;
constexpr double kButtonPoints = 13;

// A folder on the control background: its symbol, its name and what it is ("From", "To").
class FolderCard : public RoundedCard {
public:
    FolderCard(const fs::path& folder, const QString& caption) : RoundedCard(kCardCornerRadiusPixels)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(kCardPaddingPixels, kCardPaddingPixels, kCardPaddingPixels, kCardPaddingPixels);
        column->setSpacing(kCardSpacingPixels);
        column->addWidget(new SymbolView(QStringLiteral("folder.fill"),
                                         Theme::systemFont(kCardSymbolPoints, QFont::Light),
                                         Tone::secondary),
                          0, Qt::AlignHCenter);
        auto* name = new ElidedText(AddBackupModel::folderName(folder),
                                          withWeight(Theme::captionFont(), QFont::DemiBold), Tone::label);
        name->setAlignment(Qt::AlignHCenter);
        name->setToolTip(AddBackupModel::pathText(folder));
        column->addWidget(name);
        QLabel* label = makeText(caption, Theme::smallFont(), Tone::tertiary);
        label->setAlignment(Qt::AlignCenter);
        column->addWidget(label);
    }
};

QWidget* singleSummary(const fs::path& source, const fs::path& destination)
{
    auto* summary = new QWidget;
    auto* row = new QHBoxLayout(summary);
    row->setContentsMargins(kSingleRowInsetPixels, 0, kSingleRowInsetPixels, 0);
    row->setSpacing(kSingleRowSpacingPixels);
    auto* from = new FolderCard(source, QStringLiteral("From"));
    from->setObjectName(QStringLiteral("fromCard"));
    row->addWidget(from, 1);
    row->addWidget(new SymbolView(QStringLiteral("arrow.right"), Theme::systemFont(kArrowPoints, QFont::Light),
                                  Tone::tertiary));
    auto* to = new FolderCard(destination, QStringLiteral("To"));
    to->setObjectName(QStringLiteral("toCard"));
    row->addWidget(to, 1);
    return summary;
}

QWidget* listSummary(const std::vector<fs::path>& sources, const fs::path& destination)
{
    auto* summary = new QWidget;
    auto* column = new QVBoxLayout(summary);
    column->setContentsMargins(kListInsetPixels, 0, kListInsetPixels, 0);
    column->setSpacing(kListSpacingPixels);
    for (const fs::path& source : sources) {
        auto* row = new QHBoxLayout;
        row->setSpacing(kListSpacingPixels);
        row->addWidget(new SymbolView(QStringLiteral("folder.fill"), Theme::systemFont(kListSymbolPoints),
                                      Tone::secondary));
        auto* name = new ElidedText(AddBackupModel::folderName(source),
                                          withWeight(Theme::bodyFont(), QFont::Medium), Tone::label);
        name->setObjectName(QStringLiteral("summarySource"));
        name->setToolTip(AddBackupModel::pathText(source));
        row->addWidget(name);
        row->addWidget(new SymbolView(QStringLiteral("arrow.right"), Theme::systemFont(kListArrowPoints),
                                      Tone::tertiary));
        auto* target = new ElidedText(AddBackupModel::folderName(destination), Theme::bodyFont(),
                                            Tone::secondary);
        target->setToolTip(AddBackupModel::pathText(destination));
        row->addWidget(target);
        row->addStretch(1);
        column->addLayout(row);
    }
    return summary;
}

} // namespace

AddBackupConfirmStep::AddBackupConfirmStep(AddBackupView& sheet, QWidget* parent) : AddBackupStep(sheet, parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addStretch(1);
    m_summaryHolder = new QVBoxLayout;
    m_summaryHolder->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_summaryHolder);
    column->addSpacing(kSentenceGapPixels);

    m_sentence = makeText({}, Theme::bodyFont(), Tone::secondary, true, this);
    m_sentence->setObjectName(QStringLiteral("summarySentence"));
    m_sentence->setAlignment(Qt::AlignCenter);
    m_sentence->setContentsMargins(kSentenceInsetPixels, 0, kSentenceInsetPixels, 0);
    column->addWidget(m_sentence);

    m_offsiteRow = new QWidget(this);
    auto* offsite = new QHBoxLayout(m_offsiteRow);
    offsite->setContentsMargins(kSentenceInsetPixels, kOffsiteTopPixels, kSentenceInsetPixels, 0);
    offsite->setSpacing(kOffsiteSpacingPixels);
    offsite->addStretch(1);
    offsite->addWidget(new SymbolView(QStringLiteral("cloud.fill"), Theme::systemFont(kOffsiteSymbolPoints),
                                      Tone::green));
    m_offsiteLine = makeText({}, Theme::captionFont(), Tone::secondary, false, m_offsiteRow);
    m_offsiteLine->setObjectName(QStringLiteral("offsiteLine"));
    offsite->addWidget(m_offsiteLine);
    offsite->addStretch(1);
    column->addWidget(m_offsiteRow);
    column->addStretch(1);

    m_addButton = new FilledButton({}, Theme::systemFont(kButtonPoints, QFont::DemiBold), FilledButton::Kind::accent, this);
    m_addButton->setPadding(0, kButtonPaddingPixels);
    m_addButton->setObjectName(QStringLiteral("addButton"));
    connect(m_addButton, &QAbstractButton::clicked, this, [this] { model().addBackups(); });
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(kButtonInsetPixels, 0, kButtonInsetPixels, kButtonInsetPixels);
    buttonRow->addWidget(m_addButton);
    column->addLayout(buttonRow);
}

void AddBackupConfirmStep::refresh()
{
    const auto& sources = model().sourceURLs();
    const auto& destination = model().destinationURL();
    if (m_summary)
        m_summary->deleteLater();
    m_summary = nullptr;
    if (!sources.empty() && destination) {
        m_summary = sources.size() == 1 ? singleSummary(sources.front(), *destination)
                                        : listSummary(sources, *destination);
        m_summary->setObjectName(QStringLiteral("summary"));
        m_summaryHolder->addWidget(m_summary);
    }
    const int count = int(sources.size());
    m_sentence->setText(AddBackupModel::summarySentence(count));
    m_addButton->setText(AddBackupModel::addButtonLabel(count));
    const auto& offsite = model().offsiteURL();
    m_offsiteLine->setText(offsite ? AddBackupModel::offsiteLine(*offsite) : QString());
    m_offsiteRow->setVisible(offsite.has_value());
}

} // namespace larkfold
