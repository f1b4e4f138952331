#pragma once

#include <QApplication>
#include <QPalette>

namespace larkfold::test {

// The application's palette turned dark, for screenshots of a window on a dark desktop.
inline QPalette darkPalette()
{
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x33, 0x33, 0x33));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    return dark;
}

} // namespace larkfold::test
