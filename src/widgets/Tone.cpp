#include "widgets/Tone.h"

#include "widgets/Theme.h"

namespace larkfold {

QColor toneColor(Tone tone)
{
    switch (tone) {
    case Tone::green:
        return Theme::green();
    case Tone::amber:
        return Theme::amber();
    case Tone::red:
        return Theme::red();
    case Tone::label:
        return Theme::labelColor();
    case Tone::secondary:
        return Theme::secondaryLabelColor();
    case Tone::tertiary:
        return Theme::tertiaryLabelColor();
    }
    return Theme::labelColor();
}

QColor toneTextColor(Tone tone)
{
    switch (tone) {
    case Tone::green:
        return Theme::greenText();
    case Tone::amber:
        return Theme::amberText();
    case Tone::red:
        return Theme::redText();
    case Tone::label:
    case Tone::secondary:
    case Tone::tertiary:
        break;
    }
    return toneColor(tone);
}

} // namespace larkfold
