#include "widgets/BoundedScrollArea.h"

#include "widgets/Theme.h"

#include <QEvent>
#include <QScrollBar>

#include <algorithm>

namespace larkfold {
namespace {

constexpr int kScrollBarWidthPixels = 7;

} // namespace

BoundedScrollArea::BoundedScrollArea(QWidget* content, int maximumHeight, QWidget* parent)
    : QScrollArea(parent), m_maximumHeight(maximumHeight)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    setMaximumHeight(maximumHeight);
    styleScrollBar();
    // The window's background shows through.
    viewport()->setAutoFillBackground(false);
    replaceContent(content);
}

void BoundedScrollArea::styleScrollBar()
{
    // A slim bar without arrows, in the text colour, as scrolling lists of the desktop's own look.
    const QColor handle = Theme::tertiaryLabelColor();
    const QString sheet
        = QStringLiteral("QScrollBar:vertical { width: %1px; background: transparent; margin: 2px 1px 2px 0; }"
                         "QScrollBar::handle:vertical { background: rgba(%2, %3, %4, %5); border-radius: %6px;"
                         " min-height: 20px; }"
                         "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                         "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
              .arg(kScrollBarWidthPixels)
              .arg(handle.red())
              .arg(handle.green())
              .arg(handle.blue())
              .arg(handle.alpha())
              .arg((kScrollBarWidthPixels - 1) / 2);
    // Compared first: setting a style sheet sends a change of its own.
    if (verticalScrollBar()->styleSheet() != sheet)
        verticalScrollBar()->setStyleSheet(sheet);
}

void BoundedScrollArea::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    // The handle's colour follows light and dark.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        styleScrollBar();
}

void BoundedScrollArea::replaceContent(QWidget* content)
{
    if (QWidget* old = takeWidget())
        old->deleteLater();
    content->setAutoFillBackground(false);
    // Rows keep their height; the area scrolls instead of squeezing them.
    content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    setWidget(content);
    updateGeometry();
}

QSize BoundedScrollArea::sizeHint() const
{
    const QSize content = widget()->sizeHint();
    return {content.width(), std::min(content.height(), m_maximumHeight)};
}

QSize BoundedScrollArea::minimumSizeHint() const
{
    return {0, 0};
}

} // namespace larkfold
