#include "support/Screenshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace larkfold::test {

QString saveScreenshot(QWidget& widget, const QString& name)
{
    const QByteArray binaryDir = qgetenv("LARKFOLD_BINARY_DIR");
    const QString folder = (binaryDir.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(binaryDir))
        + QStringLiteral("/screenshots");
    if (!QDir().mkpath(folder))
        return {};
    if (!widget.isVisible())
        widget.show();
    QCoreApplication::processEvents();
    const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    return widget.grab().save(file) ? file : QString();
}

} // namespace larkfold::test
