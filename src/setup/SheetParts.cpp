#include "setup/SheetParts.h"

#include "widgets/ElidedText.h"
#include "widgets/SymbolView.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace larkfold {
namespace {

constexpr int kChevronSpacingPixels = 4;
constexpr double kChevronPoints = 10;
constexpr int kChoiceRowPaddingHorizontalPixels = 10;
constexpr int kChoiceRowPaddingVerticalPixels = 7;
constexpr int kChoiceRowSpacingPixels = 10;
constexpr int kChoiceRowLineSpacingPixels = 1;
constexpr int kChoiceRowCornerRadiusPixels = 6;

} // namespace

QFont withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

// --- RowButton ---

RowButton::RowButton(int cornerRadius, bool reduceMotion, QWidget* parent)
    : PlainButton(parent), m_cornerRadius(cornerRadius), m_reduceMotion(reduceMotion)
{
    setAttribute(Qt::WA_Hover);
    m_hoverAnimation.setDuration(Theme::quickAnimation().durationMs);
    m_hoverAnimation.setEasingCurve(Theme::quickAnimation().curve);
    connect(&m_hoverAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_hoverAmount = value.toDouble();
        update();
    });
}

void RowButton::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

QColor RowButton::fillColor() const
{
    if (m_selected)
        return Theme::selectedFill();
    return Theme::faded(Theme::subtleFill(), m_hoverAmount);
}

void RowButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fillColor());
    painter.drawRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
}

void RowButton::enterEvent(QEnterEvent* event)
{
    PlainButton::enterEvent(event);
    setHovered(true);
}

void RowButton::leaveEvent(QEvent* event)
{
    PlainButton::leaveEvent(event);
    setHovered(false);
}

void RowButton::setHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    const double target = hovered ? 1.0 : 0.0;
    m_hoverAnimation.stop();
    if (m_reduceMotion) {
        m_hoverAmount = target;
        update();
        return;
    }
    m_hoverAnimation.setStartValue(m_hoverAmount);
    m_hoverAnimation.setEndValue(target);
    m_hoverAnimation.start();
}

PlainButton* makeChooseAnyFolderButton(QWidget* parent)
{
    auto* button = new PlainButton(parent);
    button->setObjectName(QStringLiteral("chooseAnyFolderButton"));
    button->setAccessibleName(QStringLiteral("Choose any folder"));
    auto* layout = new QHBoxLayout(button);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kChevronSpacingPixels);
    layout->addWidget(makeText(QStringLiteral("Choose any folder"), Theme::bodyFont(), Tone::secondary));
    layout->addWidget(new SymbolView(QStringLiteral("chevron.right"),
                                     Theme::systemFont(kChevronPoints, QFont::DemiBold), Tone::secondary));
    return button;
}

// --- Choice rows ---

RowButton* makeChoiceRow(const ChoiceRow& row, bool selected, bool reduceMotion, QWidget* parent)
{
    auto* button = new RowButton(kChoiceRowCornerRadiusPixels, reduceMotion, parent);
    button->setSelected(selected);
    button->setAccessibleName(row.title);
    button->setToolTip(row.toolTip);
    auto* layout = new QHBoxLayout(button);
    layout->setContentsMargins(kChoiceRowPaddingHorizontalPixels, kChoiceRowPaddingVerticalPixels,
                               kChoiceRowPaddingHorizontalPixels, kChoiceRowPaddingVerticalPixels);
    layout->setSpacing(kChoiceRowSpacingPixels);
    layout->addWidget(new SymbolView(row.symbol, Theme::systemFont(row.symbolPoints),
                                     selected ? Tone::green : Tone::secondary, row.symbolBoxWidth));
    auto* lines = new QVBoxLayout;
    lines->setSpacing(kChoiceRowLineSpacingPixels);
    auto* title = new ElidedText(row.title, withWeight(Theme::bodyFont(), QFont::Medium), Tone::label);
    title->setObjectName(QStringLiteral("rowTitle"));
    lines->addWidget(title);
    auto* subtitle = new ElidedText(row.subtitle, Theme::smallFont(), Tone::tertiary);
    subtitle->setObjectName(QStringLiteral("rowSubtitle"));
    lines->addWidget(subtitle);
    layout->addLayout(lines, 1);
    if (selected) {
        auto* check = new SymbolView(row.checkSymbol, row.checkFont, Tone::green);
        check->setObjectName(QStringLiteral("checkmark"));
        layout->addWidget(check);
    }
    return button;
}

} // namespace larkfold
