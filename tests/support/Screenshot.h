#pragma once

#include <QString>

class QWidget;

namespace larkfold::test {

// Renders `widget` (offscreen is fine) into <build>/screenshots/<name>.png for a person to look
// at; returns the file's path, or an empty text when it could not be written.
QString saveScreenshot(QWidget& widget, const QString& name);
// The path <build>/screenshots/<name>.png, its folder made; empty when the folder cannot be.
QString screenshotFile(const QString& name);

} // namespace larkfold::test
