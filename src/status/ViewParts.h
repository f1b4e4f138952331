#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace larkfold {

// A one-pixel line across the layout, in the separator colour.
QWidget* makeDivider(QWidget* parent = nullptr);

// A text in a font and colour of the theme.
QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

} // namespace larkfold
