#pragma once

#include "store/BackupStatus.h"

#include <QIcon>
#include <QString>

namespace larkfold {

// The symbol the status item shows for a status: a drive with a check mark, an exclamation mark
// or a minus, a drive with a warning triangle, or two circling arrows while work is under way.
QString statusSymbolName(const BackupStatus& status);

// The name of that symbol's image in the icon theme, as installed with the program.
QString statusItemIconName(const QString& symbolName);

// Our tray image of that symbol (a dark glyph with a light outline, so it reads on dark and light
// panels), at `size` pixels and twice that for dense screens; "externaldrive" for an unknown name.
// It carries its name in the icon theme when the desktop finds the image installed there.
QIcon statusItemImage(const QString& symbolName, int size = 18);

} // namespace larkfold
