#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QFont>
#include <QPixmap>
#include <QString>

namespace larkfold {

struct ThemeAnimation {
    QEasingCurve curve;
    int durationMs = 0;
};

// The colours, fills, animations and fonts every window uses. Its own library, so the store
// stays free of QtGui. Fonts need a QGuiApplication.
class Theme {
public:
    static const QColor& green();
    static const QColor& amber();
    static const QColor& red();
    static const QColor& white();
    // Follow the palette's text colour, so they suit light and dark appearances alike.
    static QColor subtleFill();
    static QColor hoverFill();
    static const QColor& selectedFill();

    // The desktop's text colours, from the palette (the window background is its Window role).
    static QColor labelColor();
    static QColor secondaryLabelColor();
    static QColor tertiaryLabelColor();
    static QColor quaternaryLabelColor();
    static QColor separatorColor();

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
};

} // namespace larkfold
