#pragma once

#include <QString>

#include <vector>

class QWidget;

namespace larkfold::test {

// One text of a window as it is drawn, with its contrast against what lies behind it.
struct TextContrast {
    QString text;
    QString widget; // the class and object name of the widget that shows it
    double ratio = 0;
    double needed = 0; // 4.5, or 3 for large text
};

// Every enabled text the window shows (each visible widget whose "text" property is not empty),
// measured on the window as drawn: the colour of the text's strongest pixels against the most
// common colour of its area, the window drawn four times as large so thin strokes keep their colour.
std::vector<TextContrast> textContrasts(QWidget& window);

// The texts of `window` that fall short of the contrast they need, one line each; empty when none.
QStringList poorContrasts(QWidget& window);

} // namespace larkfold::test
