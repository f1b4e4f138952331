#pragma once

// The colours, fills, animations, fonts and symbols of every window, worked out from the palette of the moment.

#include <QColor>
#include <QEasingCurve>
#include <QFont>
#include <QPixmap>
#include <QString>

#include <vector>

namespace larkfold {

struct ThemeAnimation {
    QEasingCurve curve;
    int durationMs = 0;
};

// The colours, fills, animations and fonts every window uses. Fonts need a QGuiApplication.
//
// Text is drawn in colours worked out from the palette of the moment, each as close to its design
// as lets it read at least 4.5:1 (WCAG contrast) on the window, on text fields and on the light
// fills drawn under rows and panels, in light and dark palettes alike.
class Theme {
public:
    // The design's accents, for dots, bars, borders, symbols and fills.
    static const QColor& green();
    static const QColor& amber();
    static const QColor& red();
    static const QColor& white();
    // The accents for text and links.
    static QColor greenText();
    static QColor amberText();
    static QColor redText();
    // The green of a button labelled in white(): deep enough for the label to read.
    static QColor greenButtonFill();
    // Follow the palette's text colour, so they suit light and dark appearances alike.
    static QColor subtleFill();
    static QColor hoverFill();
    static const QColor& selectedFill();
    // The faint amber under a warning.
    static QColor warningFill();

    // The desktop's text colours, from the palette (the window background is its Window role).
    // The secondary and tertiary ones are opaque mixes of the label colour into the window's.
    static QColor labelColor();
    static QColor secondaryLabelColor();
    static QColor tertiaryLabelColor();
    static QColor quaternaryLabelColor();
    // The tertiary colour as the design draws it where it carries no text (a step's dot, a button
    // that cannot be used): the label colour at a quarter of its strength.
    static QColor tertiaryFill();
    static QColor separatorColor();

    // `color` with its opacity scaled by `amount` (0 to 1), for a fill fading in or out.
    static QColor faded(QColor color, double amount);

    // The WCAG contrast ratio of two opaque colours, from 1 (the same) to 21 (black on white).
    static double contrastRatio(const QColor& first, const QColor& second);
    // `color` moved toward `toward` just far enough to read `ratio`:1 on every one of `backgrounds`
    // (`toward` itself when even that does not).
    static QColor readableOn(const QColor& color, const std::vector<QColor>& backgrounds, const QColor& toward,
                             double ratio);

    static const ThemeAnimation& quickAnimation(); // hover and expand effects
    static const ThemeAnimation& stepAnimation();  // steps of the onboarding window

    static const QFont& titleFont();
    static const QFont& headingFont();
    static const QFont& subheadingFont();
    static const QFont& bodyFont();
    static const QFont& captionFont();
    static const QFont& smallFont();
    // The system font at a size and weight of the caller's; `points` of the design, one
    // device-independent pixel each, like every other size of the windows.
    static QFont systemFont(double points, QFont::Weight weight = QFont::Normal);

    // One of our monochrome symbols (resources/symbols/<name>.svg) in `color`, a square as tall as
    // a line of `font`; a null pixmap for an unknown name.
    static QPixmap symbol(const QString& name, const QFont& font, const QColor& color, qreal devicePixelRatio = 1.0);
    // The same, `side` device-independent pixels square.
    static QPixmap symbol(const QString& name, int side, const QColor& color, qreal devicePixelRatio = 1.0);
};

} // namespace larkfold
