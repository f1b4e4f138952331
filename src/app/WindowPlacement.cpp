#include "app/WindowPlacement.h"

#include <algorithm>

namespace larkfold {
namespace {

// The left edge wins over the right when a window is wider than the screen; the bottom edge
// wins over the anchor.
QPoint keptOnScreen(QPoint origin, const QSize& size, const QRect& available)
{
    origin.setX(std::max(std::min(origin.x(), available.x() + available.width() - size.width()), available.x()));
    origin.setY(std::max(std::min(origin.y(), available.y() + available.height() - size.height()), available.y()));
    return origin;
}

} // namespace

QPoint windowOrigin(const QRect& anchor, const QSize& size, const QRect& available)
{
    const int middle = anchor.x() + anchor.width() / 2;
    return keptOnScreen(QPoint(middle - size.width() / 2, anchor.y() + anchor.height()), size, available);
}

QPoint popoverOrigin(const std::optional<QRect>& iconGeometry, const QPoint& cursor, const QSize& size,
                     const QRect& available)
{
    const QRect anchor = iconGeometry && iconGeometry->isValid() && !iconGeometry->isEmpty()
        ? *iconGeometry
        : QRect(cursor, QSize(1, 1));
    QPoint origin = windowOrigin(anchor, size, available);
    // A panel at the bottom of the screen: open upwards, above the icon.
    if (origin.y() < anchor.y() + anchor.height() && anchor.y() - size.height() >= available.y())
        origin.setY(anchor.y() - size.height());
    return origin;
}

QPoint trayPoint(const std::optional<QPoint>& lastIconClick, const QRect& screen, const QRect& available)
{
    if (lastIconClick)
        return *lastIconClick;
    const int right = available.x() + available.width() - 1;
    // A panel along the bottom: the point lies on it, and the popover opens upwards from there.
    if (available.y() + available.height() < screen.y() + screen.height() && available.y() <= screen.y())
        return {right, available.y() + available.height()};
    return {right, std::max(available.y() - 1, screen.y())};
}

} // namespace larkfold
