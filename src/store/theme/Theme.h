#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QFont>

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

    static const ThemeAnimation& quickAnimation(); // hover and expand effects
    static const ThemeAnimation& stepAnimation();  // steps of the onboarding window

    // The system font at a size and weight; the named fonts below are made with it.
    static QFont systemFont(double points, QFont::Weight weight = QFont::Normal);
    static const QFont& titleFont();
    static const QFont& headingFont();
    static const QFont& subheadingFont();
    static const QFont& bodyFont();
    static const QFont& captionFont();
    static const QFont& smallFont();
};

} // namespace larkfold
