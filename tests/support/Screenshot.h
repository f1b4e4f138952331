#pragma once

#include <QPalette>
#include <QString>

class QWidget;

namespace larkfold::test {

// Renders `widget` (offscreen is fine) into <build>/screenshots/<name>.png for a person to look
// at; returns the file's path, or an empty text when it could not be written.
QString saveScreenshot(QWidget& widget, const QString& name);
// The path <build>/screenshots/<name>.png, its folder made; empty when the folder cannot be.
QString screenshotFile(const QString& name);
// Shows `widget` if it is hidden and finishes what it has asked for before it is drawn: posted
// events, layouts, and item views' delayed layouts, which wait on a timer of their own. A slow
// machine would otherwise draw a list not yet laid out.
void settleForGrab(QWidget& widget);

// A dark desktop's palette, beside the light one the tests start from.
QPalette darkPalette();

// Puts a palette on the whole application for as long as it lives, then the one before.
class ScopedPalette {
public:
    explicit ScopedPalette(const QPalette& palette);
    ~ScopedPalette();
    ScopedPalette(const ScopedPalette&) = delete;
    ScopedPalette& operator=(const ScopedPalette&) = delete;

private:
    QPalette m_before;
};

} // namespace larkfold::test
