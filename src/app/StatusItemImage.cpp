#include "app/StatusItemImage.h"

#include "store/Overloaded.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace larkfold {
namespace {

QString resourceFor(const QString& symbolName)
{
    return QStringLiteral(":/tray/%1.svg").arg(symbolName);
}

} // namespace

QString statusSymbolName(const BackupStatus& status)
{
    return std::visit(
        Overloaded{
            [](const BackupStatus::Syncing&) { return QStringLiteral("arrow.triangle.2.circlepath"); },
            [](const BackupStatus::Scanning&) { return QStringLiteral("arrow.triangle.2.circlepath"); },
            [](const BackupStatus::Queued&) { return QStringLiteral("arrow.triangle.2.circlepath"); },
            [](const BackupStatus::Completed&) { return QStringLiteral("externaldrive.badge.checkmark"); },
            [](const BackupStatus::Idle&) { return QStringLiteral("externaldrive.badge.checkmark"); },
            [](const BackupStatus::Error&) { return QStringLiteral("externaldrive.badge.exclamationmark"); },
            [](const BackupStatus::DestinationUnreachable&) {
                return QStringLiteral("externaldrive.trianglebadge.exclamationmark");
            },
            [](const BackupStatus::Paused&) { return QStringLiteral("externaldrive.badge.minus"); },
        },
        status.value());
}

QIcon statusItemImage(const QString& symbolName, int size)
{
    const QString file = QFile::exists(resourceFor(symbolName)) ? resourceFor(symbolName)
                                                                 : resourceFor(QStringLiteral("externaldrive"));
    QSvgRenderer renderer(file);
    QIcon icon;
    for (const int pixels : {size, size * 2}) {
        QPixmap pixmap(pixels, pixels);
        pixmap.fill(Qt::transparent);
        if (renderer.isValid()) {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace larkfold
