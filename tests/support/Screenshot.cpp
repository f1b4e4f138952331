#include "support/Screenshot.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace larkfold::test {

QString screenshotFile(const QString& name)
{
    const QByteArray binaryDir = qgetenv("LARKFOLD_BINARY_DIR");
    const QString folder = (binaryDir.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(binaryDir))
        + QStringLiteral("/screenshots");
    if (!QDir().mkpath(folder))
        return {};
    return folder + QLatin1Char('/') + name + QStringLiteral(".png");
}

QString saveScreenshot(QWidget& widget, const QString& name)
{
    const QString file = screenshotFile(name);
    if (file.isEmpty())
        return {};
    settleForGrab(widget);
    return widget.grab().save(file) ? file : QString();
}

void settleForGrab(QWidget& widget)
{
    if (!widget.isVisible())
        widget.show();
    // A layout done may ask its parent's for another: a few rounds reach the window.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        for (QAbstractItemView* view : widget.findChildren<QAbstractItemView*>())
            view->doItemsLayout();
    }
}

QPalette darkPalette()
{
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x33, 0x33, 0x33));
    dark.setColor(QPalette::AlternateBase, QColor(0x2c, 0x2c, 0x2c));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    dark.setColor(QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa0));
    return dark;
}

ScopedPalette::ScopedPalette(const QPalette& palette) : m_before(QApplication::palette())
{
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
}

ScopedPalette::~ScopedPalette()
{
    QApplication::setPalette(m_before);
    QCoreApplication::processEvents();
}

} // namespace larkfold::test
