#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace larkfold::status {

// The symbol of a kind of file in the restore lists ("doc", "photo", ...), `size` device-independent
// pixels square, drawn in `color` for a screen of `devicePixelRatio`. Empty for an unknown name.
QPixmap fileSymbol(const QString& name, const QColor& color, int size, qreal devicePixelRatio = 1.0);

} // namespace larkfold::status
