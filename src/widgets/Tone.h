#pragma once

// What a text or a symbol says by its colour, turned into the palette's colour of the moment.

#include <QColor>

namespace larkfold {

enum class Tone { green, amber, red, label, secondary, tertiary };

// The tone's colour now, for dots, symbols and fills.
QColor toneColor(Tone tone);
// The tone's colour now for text: the accents deepened so they read on the window and its fills.
QColor toneTextColor(Tone tone);

} // namespace larkfold
