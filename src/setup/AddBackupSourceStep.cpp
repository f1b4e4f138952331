#include "setup/AddBackupSourceStep.h"

#include "setup/AddBackupView.h"
#include "widgets/PlainButton.h"
#include "widgets/SymbolView.h"
#include "widgets/ToneLabel.h"
#include "widgets/Theme.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

namespace larkfold {
namespace {

constexpr int kStepSpacingPixels = 16;
constexpr int kInsetPixels = 16;
constexpr int kDropZoneHeightPixels = 120;
constexpr int kDropZoneSpacingPixels = 8;
constexpr double kDropZoneCornerRadiusPixels = 10;
constexpr double kDropZoneBorderPixels = 1.5;
constexpr double kDashPixels = 5;
constexpr double kGapPixels = 4;
constexpr double kTargetedFillOpacity = 0.06;
constexpr double kFillOpacity = 0.02;
constexpr double kBorderOpacity = 0.25;
constexpr double kDropSymbolPoints = 28;
constexpr int kTipSpacingPixels = 6;
constexpr double kTipSymbolPoints = 10;
constexpr int kTipBottomPixels = 12;

QColor green(double opacity)
{
    QColor color = Theme::green();
    color.setAlphaF(float(opacity));
    return color;
}

} // namespace

// --- DropZone ---

DropZone::DropZone(QWidget* parent) : PlainButton(parent)
{
    setObjectName(QStringLiteral("dropZone"));
    setAcceptDrops(true);
    setFixedHeight(kDropZoneHeightPixels);
    setAccessibleName(QStringLiteral("Drop zone"));
    setAccessibleDescription(QStringLiteral("Drop folders here or activate to open a file picker"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kInsetPixels, kInsetPixels, kInsetPixels, kInsetPixels);
    column->setSpacing(kDropZoneSpacingPixels);
    column->addStretch(1);
    m_symbol = new SymbolView(QStringLiteral("folder.badge.plus"), Theme::systemFont(kDropSymbolPoints, QFont::Light),
                              Tone::tertiary);
    column->addWidget(m_symbol, 0, Qt::AlignHCenter);
    QLabel* text = makeText(QStringLiteral("Drop folders here or click to choose"),
                            withWeight(Theme::bodyFont(), QFont::Medium), Tone::secondary);
    text->setAlignment(Qt::AlignCenter);
    column->addWidget(text);
    column->addStretch(1);
}

void DropZone::setDropTargeted(bool targeted)
{
    if (m_dropTargeted == targeted)
        return;
    m_dropTargeted = targeted;
    m_symbol->setTone(targeted ? Tone::green : Tone::tertiary);
    update();
}

void DropZone::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The border lies inside the edge.
    const double half = kDropZoneBorderPixels / 2;
    const QRectF shape = QRectF(rect()).adjusted(half, half, -half, -half);
    QPen border(m_dropTargeted ? Theme::green() : green(kBorderOpacity), kDropZoneBorderPixels);
    // Dash lengths are in pen widths.
    border.setDashPattern({kDashPixels / kDropZoneBorderPixels, kGapPixels / kDropZoneBorderPixels});
    painter.setPen(border);
    painter.setBrush(green(m_dropTargeted ? kTargetedFillOpacity : kFillOpacity));
    painter.drawRoundedRect(shape, kDropZoneCornerRadiusPixels - half, kDropZoneCornerRadiusPixels - half);
}

void DropZone::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    event->acceptProposedAction();
    setDropTargeted(true);
}

void DropZone::dragLeaveEvent(QDragLeaveEvent* event)
{
    PlainButton::dragLeaveEvent(event);
    setDropTargeted(false);
}

void DropZone::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    bool accepted = false;
    emit dropped(event->mimeData()->urls(), &accepted);
    if (accepted)
        event->acceptProposedAction();
    else
        event->ignore();
}

// --- AddBackupSourceStep ---

AddBackupSourceStep::AddBackupSourceStep(AddBackupView& sheet, QWidget* parent) : AddBackupStep(sheet, parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, kInsetPixels, 0, 0);
    column->setSpacing(kStepSpacingPixels);

    QLabel* question = makeText(QStringLiteral("Which folders should be backed up?"), Theme::headingFont(),
                                Tone::label, true, this);
    question->setAlignment(Qt::AlignCenter);
    question->setContentsMargins(kInsetPixels, 0, kInsetPixels, 0);
    column->addWidget(question);

    const auto chooseFolders = [this] { this->sheet().openPanelLater([this] { model().chooseSourceFolders(); }); };
    auto* zone = new DropZone(this);
    connect(zone, &QAbstractButton::clicked, this, chooseFolders);
    connect(zone, &DropZone::dropped, this,
            [this](const QList<QUrl>& urls, bool* accepted) { *accepted = model().handleDrop(urls); });
    auto* zoneRow = new QHBoxLayout;
    zoneRow->setContentsMargins(kInsetPixels, 0, kInsetPixels, 0);
    zoneRow->addWidget(zone);
    column->addLayout(zoneRow);

    auto* choose = new PlainButton(this);
    choose->setObjectName(QStringLiteral("chooseFolderButton"));
    choose->setAccessibleName(QStringLiteral("Choose Folder…"));
    auto* chooseRow = new QHBoxLayout(choose);
    chooseRow->setContentsMargins(0, 0, 0, 0);
    QFont underlined = Theme::bodyFont();
    underlined.setUnderline(true);
    chooseRow->addWidget(makeText(QStringLiteral("Choose Folder…"), underlined, Tone::secondary));
    connect(choose, &QAbstractButton::clicked, this, chooseFolders);
    column->addWidget(choose, 0, Qt::AlignHCenter);

    column->addStretch(1);

    auto* tip = new QHBoxLayout;
    tip->setContentsMargins(kInsetPixels, 0, kInsetPixels, kTipBottomPixels);
    tip->setSpacing(kTipSpacingPixels);
    tip->addWidget(
        new SymbolView(QStringLiteral("lightbulb.fill"), Theme::systemFont(kTipSymbolPoints), Tone::amber), 0,
        Qt::AlignTop);
    QLabel* tipText = makeText(QStringLiteral("Tip: Add each important folder separately for more reliable backups."),
                               Theme::smallFont(), Tone::tertiary, true, this);
    tipText->setObjectName(QStringLiteral("tip"));
    tip->addWidget(tipText, 1);
    column->addLayout(tip);
}

} // namespace larkfold
