#include "app/StatusItemImage.h"

#include "platform/AppIdentity.h"
#include "store/Overloaded.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace larkfold {
namespace {

QString resourceFor(const QString& symbolName)
{
    return QStringLiteral(":/tray/%1.svg").arg(symbolName);
}

// Our drawn images under the name of the same image in the icon theme, which Qt's tray item hands
// to the host as its IconName beside the pictures.
class NamedIconEngine final : public QIconEngine {
public:
    NamedIconEngine(QIcon icon, QString name) : m_icon(std::move(icon)), m_name(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_icon.paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_icon.pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return m_icon.pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_icon.availableSizes(mode, state);
    }
    QString iconName() override { return m_name; }
    bool isNull() override { return m_icon.isNull(); }
    QString key() const override { return QStringLiteral("NamedIconEngine"); }
    QIconEngine* clone() const override { return new NamedIconEngine(m_icon, m_name); }

private:
    QIcon m_icon;
    QString m_name;
};

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

QString statusItemIconName(const QString& symbolName)
{
    return QString::fromLatin1(platform::kApplicationId) + QLatin1Char('-') + symbolName;
}

QIcon statusItemImage(const QString& symbolName, int size)
{
    const QString symbol = QFile::exists(resourceFor(symbolName)) ? symbolName : QStringLiteral("externaldrive");
    QSvgRenderer renderer(resourceFor(symbol));
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
    // Only a name that the host can look up: one it cannot find may leave it showing nothing.
    const QString name = platform::iconReference(statusItemIconName(symbol), platform::IconContext::status).themeName;
    return name.isEmpty() ? icon : QIcon(new NamedIconEngine(icon, name));
}

} // namespace larkfold
