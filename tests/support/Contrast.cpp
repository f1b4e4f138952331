#include "support/Contrast.h"

#include "widgets/Theme.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace larkfold::test {
namespace {

constexpr int kScale = 4;
constexpr double kNeeded = 4.5;
constexpr double kNeededLarge = 3.0;
// Large text: 18 points, or 14 points bold (24 and 18.67 pixels at 96 dpi).
constexpr double kLargePixels = 24.0;
constexpr double kLargeBoldPixels = 18.67;

double pixelSize(const QFont& font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96.0 / 72.0;
}

bool isLarge(const QFont& font)
{
    const double pixels = pixelSize(font);
    return pixels >= kLargePixels || (font.weight() >= QFont::Bold && pixels >= kLargeBoldPixels);
}

// Where the widget draws its text: a check box's label, not its box.
QRect textArea(const QWidget& widget)
{
    if (const auto* box = qobject_cast<const QCheckBox*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    }
    if (const auto* radio = qobject_cast<const QRadioButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        return radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio);
    }
    return widget.contentsRect();
}

} // namespace

std::vector<TextContrast> textContrasts(QWidget& window)
{
    QCoreApplication::processEvents();
    QImage image(window.size() * kScale, QImage::Format_RGB32);
    image.setDevicePixelRatio(kScale);
    image.fill(window.palette().color(QPalette::Window));
    window.render(&image);

    std::vector<TextContrast> found;
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* widget : widgets) {
        const QString text = widget->property("text").toString().trimmed();
        // Disabled controls need no contrast; nor do texts scrolled out of sight.
        if (text.isEmpty() || !widget->isVisibleTo(&window) || !widget->isEnabled())
            continue;
        const QRect visible = widget->visibleRegion().boundingRect().intersected(textArea(*widget));
        if (visible.isEmpty())
            continue;
        const QRect area(widget->mapTo(&window, visible.topLeft()) * kScale, visible.size() * kScale);
        QHash<QRgb, int> counts;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                ++counts[image.pixel(x, y)];
        QRgb background = 0;
        int most = -1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() > most) {
                most = it.value();
                background = it.key();
            }
        }
        double strongest = 1.0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            strongest = std::max(strongest, Theme::contrastRatio(QColor(it.key()), QColor(background)));
        found.push_back({text, QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(' ')
                                   + widget->objectName(),
                         strongest, isLarge(widget->font()) ? kNeededLarge : kNeeded});
    }
    return found;
}

QStringList poorContrasts(QWidget& window)
{
    QStringList poor;
    for (const TextContrast& text : textContrasts(window)) {
        if (text.ratio < text.needed)
            poor << QStringLiteral("%1 (%2): %3:1, needs %4:1")
                        .arg(text.text.left(60), text.widget)
                        .arg(text.ratio, 0, 'f', 2)
                        .arg(text.needed);
    }
    return poor;
}

} // namespace larkfold::test
