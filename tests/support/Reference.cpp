#include "support/Reference.h"

#include "support/Screenshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace larkfold::test {

QString differenceFromReference(QWidget& window, const QString& subsystem, const QString& name)
{
    settleForGrab(window);
    const QImage now = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QString file = QString::fromLocal8Bit(qgetenv("LARKFOLD_SOURCE_DIR")) + QStringLiteral("/tests/") + subsystem
        + QStringLiteral("/reference/") + name + QStringLiteral(".png");
    if (qEnvironmentVariableIntValue("LARKFOLD_WRITE_REFERENCES") == 1) {
        QDir().mkpath(QFileInfo(file).path());
        return now.save(file) ? QString() : QStringLiteral("could not write ") + file;
    }
    const QImage before(file);
    if (before.isNull())
        return QStringLiteral("no reference at ") + file;
    now.save(screenshotFile(name + QStringLiteral("-now")));
    const QImage reference = before.convertToFormat(QImage::Format_ARGB32);
    if (reference.size() != now.size())
        return QStringLiteral("%1: drawn %2×%3, the reference is %4×%5")
            .arg(name)
            .arg(now.width())
            .arg(now.height())
            .arg(reference.width())
            .arg(reference.height());
    QImage diff(now.size(), QImage::Format_ARGB32);
    diff.fill(Qt::white);
    int count = 0;
    QRect area;
    for (int y = 0; y < now.height(); ++y) {
        for (int x = 0; x < now.width(); ++x) {
            if (now.pixel(x, y) == reference.pixel(x, y))
                continue;
            ++count;
            area |= QRect(x, y, 1, 1);
            diff.setPixel(x, y, qRgb(255, 0, 0));
        }
    }
    if (count == 0)
        return {};
    diff.save(screenshotFile(name + QStringLiteral("-diff")));
    return QStringLiteral("%1: %2 pixels differ from the reference, within x %3–%4, y %5–%6")
        .arg(name)
        .arg(count)
        .arg(area.left())
        .arg(area.right())
        .arg(area.top())
        .arg(area.bottom());
}

} // namespace larkfold::test
