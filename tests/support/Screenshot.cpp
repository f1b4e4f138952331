#include "support/Screenshot.h"

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
    if (!widget.isVisible())
        widget.show();
    QCoreApplication::processEvents();
    return widget.grab().save(file) ? file : QString();
}

} // namespace larkfold::test
