#include "status/AboutView.h"

#include "widgets/Divider.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include <algorithm>

#ifndef LARKFOLD_VERSION
#define LARKFOLD_VERSION ""
#endif

namespace larkfold {
namespace {

constexpr int kViewWidth = 280;
constexpr int kViewHeight = 260;
constexpr int kTopSpace = 24;
constexpr int kLogoSide = 100;
constexpr int kLogoSpace = 10;
constexpr double kNamePoints = 17;
constexpr int kNameSpace = 4;
constexpr double kVersionPoints = 12;
constexpr int kDividerSpace = 14;
constexpr int kDividerInset = 24;
constexpr int kDescriptionInset = 28;
constexpr double kFootnotePoints = 10;
constexpr int kFootnoteBottom = 14;

QString orFallback(const QString& version)
{
    return version.isEmpty() ? QStringLiteral("1.0") : version;
}

// The logo drawn from its vector source at the screen's resolution, scaled to fit a square.
QPixmap logo(int side, qreal devicePixelRatio)
{
    QSvgRenderer renderer(QStringLiteral(":/LarkLogo.svg"));
    const int pixels = qRound(side * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    if (renderer.isValid()) {
        QSizeF drawn = renderer.defaultSize();
        drawn.scale(pixels, pixels, Qt::KeepAspectRatio);
        QPainter painter(&pixmap);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF((pixels - drawn.width()) / 2, (pixels - drawn.height()) / 2), drawn));
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

// `widget` with `sides` pixels of room on its left and right.
QWidget* inset(QWidget* widget, int sides)
{
    auto* box = new QWidget(widget->parentWidget());
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(sides, 0, sides, 0);
    layout->addWidget(widget);
    return box;
}

} // namespace

AboutView::AboutView(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("About Larkfold"));
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacing(kTopSpace);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("logo"));
    image->setPixmap(logo(kLogoSide, devicePixelRatioF()));
    image->setFixedSize(kLogoSide, kLogoSide);
    layout->addWidget(image, 0, Qt::AlignHCenter);
    layout->addSpacing(kLogoSpace);

    layout->addWidget(makeText(QStringLiteral("Larkfold"), Theme::systemFont(kNamePoints, QFont::DemiBold),
                                Tone::label, false, this),
                      0, Qt::AlignHCenter);
    layout->addSpacing(kNameSpace);
    layout->addWidget(makeText(versionLine(appVersion()), Theme::systemFont(kVersionPoints),
                                Tone::secondary, false, this),
                      0, Qt::AlignHCenter);
    layout->addSpacing(kDividerSpace);
    layout->addWidget(new Divider(kDividerInset, kDividerInset, this));
    layout->addSpacing(kDividerSpace);

    QLabel* description = makeText(QStringLiteral("Keep your folders backed up, automatically."),
                                    Theme::systemFont(kVersionPoints), Tone::secondary, false, this);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignHCenter);
    layout->addWidget(inset(description, kDescriptionInset));
    layout->addStretch();

    layout->addWidget(makeText(QStringLiteral("Copies go only where you choose."), Theme::systemFont(kFootnotePoints),
                                Tone::tertiary, false, this),
                      0, Qt::AlignHCenter);
    layout->addSpacing(kFootnoteBottom);

    // Taller than the design's frame only when the desktop's fonts need the room.
    setFixedSize(kViewWidth, std::max({kViewHeight, layout->heightForWidth(kViewWidth), layout->minimumSize().height()}));
}

QString AboutView::appVersion()
{
    return orFallback(QStringLiteral(LARKFOLD_VERSION));
}

QString AboutView::versionLine(const QString& version)
{
    return QStringLiteral("Version %1 (Beta)").arg(orFallback(version));
}

} // namespace larkfold
