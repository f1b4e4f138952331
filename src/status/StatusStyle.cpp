#include "status/StatusStyle.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace larkfold::status {
namespace {

// Symbols are drawn black on transparent; white parts are cut out of the shape.
QImage tinted(const QImage& drawn, const QColor& color)
{
    QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const double coverage = qAlpha(pixel) / 255.0 * (1.0 - qGray(pixel) / 255.0);
            line[x] = qRgba(color.red(), color.green(), color.blue(), int(std::lround(coverage * color.alpha())));
        }
    }
    return image;
}

} // namespace

QPixmap fileSymbol(const QString& name, const QColor& color, int size, qreal devicePixelRatio)
{
    static QHash<QString, QPixmap> cache;
    const QString key = QStringLiteral("%1|%2|%3|%4").arg(name, color.name(QColor::HexArgb)).arg(size).arg(devicePixelRatio);
    if (const auto found = cache.constFind(key); found != cache.constEnd())
        return *found;
    QSvgRenderer renderer(QStringLiteral(":/status/icons/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    const int pixels = int(std::ceil(size * devicePixelRatio));
    QImage drawn(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(tinted(drawn, color));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    cache.insert(key, pixmap);
    return pixmap;
}

} // namespace larkfold::status
