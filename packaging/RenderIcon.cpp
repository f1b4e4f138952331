// Renders an SVG drawing into a square PNG picture: larkfold_render_icon <drawing.svg> <pixels> <picture.png>
// Used at build time for the icon theme's fixed sizes, for hosts that cannot draw SVG.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <drawing.svg> <pixels> <picture.png>\n", argv[0]);
        return 2;
    }
    // A build machine need not have a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString drawing = QString::fromLocal8Bit(argv[1]);
    const int pixels = QByteArray(argv[2]).toInt();
    QSvgRenderer renderer(drawing);
    if (!renderer.isValid() || pixels <= 0) {
        std::fprintf(stderr, "%s: cannot render %s at %s pixels\n", argv[0], argv[1], argv[2]);
        return 1;
    }
    QImage picture(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    }
    if (!picture.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
        return 1;
    }
    return 0;
}
