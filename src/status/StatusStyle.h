#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace larkfold::status {

// The label colours of the windows, from the palette's text colour so light and dark panels both read.
QColor labelColor();
QColor secondaryLabelColor();
QColor tertiaryLabelColor();
// The fill of text fields and other controls.
QColor controlBackgroundColor();
// The label colour at `opacity`, for fills and dividers.
QColor labelFill(double opacity);

// One of our monochrome symbols ("doc", "photo", ...), `size` device-independent pixels square,
// drawn in `color` for a screen of `devicePixelRatio`. Empty for an unknown name.
QPixmap symbol(const QString& name, const QColor& color, int size, qreal devicePixelRatio = 1.0);

} // namespace larkfold::status
