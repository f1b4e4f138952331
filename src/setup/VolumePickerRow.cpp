#include "setup/VolumePickerRow.h"

#include "setup/VolumeKind.h"
#include "widgets/ElidedText.h"
#include "widgets/SymbolView.h"
#include "widgets/Theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace larkfold {
namespace {

constexpr int kCornerRadiusPixels = 8;
constexpr int kPaddingHorizontalPixels = 12;
constexpr int kPaddingVerticalPixels = 9;
constexpr int kSpacingPixels = 10;
constexpr int kLineSpacingPixels = 2;
constexpr double kKindSymbolPoints = 18;
constexpr int kKindSymbolWidthPixels = 24;
constexpr double kNamePoints = 13;
constexpr double kDetailPoints = 11;
constexpr double kCheckmarkPoints = 11;
constexpr double kBarWidthPixels = 2;
constexpr double kBarInsetPixels = 6;
constexpr double kBarCornerRadiusPixels = 1;
constexpr double kHoverBarOpacity = 0.5;

} // namespace

VolumePickerRow::VolumePickerRow(const VolumeMonitor::VolumeInfo& volume, bool isSelected,
                                 std::function<void()> onSelect, bool reduceMotion, QWidget* parent)
    : RowButton(kCornerRadiusPixels, reduceMotion, parent), m_volume(volume)
{
    setObjectName(QStringLiteral("volumeRow"));
    setSelected(isSelected);
    const VolumeKind kind = VolumeKind::of(volume);
    setAccessibleName(volume.name);
    setAccessibleDescription(VolumeKind::detailLine(volume));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kPaddingHorizontalPixels, kPaddingVerticalPixels, kPaddingHorizontalPixels,
                            kPaddingVerticalPixels);
    row->setSpacing(kSpacingPixels);
    auto* symbol = new SymbolView(kind.symbol, Theme::systemFont(kKindSymbolPoints, QFont::Light),
                                  isSelected ? Tone::green : Tone::secondary, kKindSymbolWidthPixels);
    symbol->setObjectName(QStringLiteral("kindSymbol"));
    row->addWidget(symbol);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(kLineSpacingPixels);
    auto* name
        = new ElidedText(volume.name, Theme::systemFont(kNamePoints, QFont::DemiBold), Tone::label);
    name->setObjectName(QStringLiteral("volumeName"));
    lines->addWidget(name);
    auto* detail = new ElidedText(VolumeKind::detailLine(volume), Theme::systemFont(kDetailPoints),
                                        Tone::secondary);
    detail->setObjectName(QStringLiteral("volumeDetail"));
    lines->addWidget(detail);
    row->addLayout(lines, 1);
    if (isSelected) {
        auto* checkmark = new SymbolView(QStringLiteral("checkmark"),
                                         Theme::systemFont(kCheckmarkPoints, QFont::DemiBold), Tone::green);
        checkmark->setObjectName(QStringLiteral("checkmark"));
        row->addWidget(checkmark);
    }
    connect(this, &QAbstractButton::clicked, this, [onSelect = std::move(onSelect)] {
        if (onSelect)
            onSelect();
    });
}

double VolumePickerRow::accentBarOpacity() const
{
    return isSelected() ? 1.0 : kHoverBarOpacity * hoverAmount();
}

void VolumePickerRow::paintEvent(QPaintEvent* event)
{
    RowButton::paintEvent(event);
    const double opacity = accentBarOpacity();
    if (opacity <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The bar follows the row's rounded corners.
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), kCornerRadiusPixels, kCornerRadiusPixels);
    painter.setClipPath(clip);
    QColor bar = Theme::green();
    bar.setAlphaF(float(opacity));
    painter.setPen(Qt::NoPen);
    painter.setBrush(bar);
    painter.drawRoundedRect(QRectF(0, kBarInsetPixels, kBarWidthPixels, height() - 2 * kBarInsetPixels),
                            kBarCornerRadiusPixels, kBarCornerRadiusPixels);
}

} // namespace larkfold
