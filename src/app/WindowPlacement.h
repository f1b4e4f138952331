#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace larkfold {

// Where a window of `size` goes under the status item's `anchor`: centred below it, moved left to
// fit the screen's `available` area, never past its left edge, and up from its bottom edge.
QPoint windowOrigin(const QRect& anchor, const QSize& size, const QRect& available);

// Where the popover goes: under the icon when its geometry is known, else just below and centred
// on the cursor; kept on the screen either way.
QPoint popoverOrigin(const std::optional<QRect>& iconGeometry, const QPoint& cursor, const QSize& size,
                     const QRect& available);

// Where the icon is taken to be when the popover opens without a click on it (the menu's "Add
// Folder…", a second start) and its geometry is unknown: where the icon was last clicked, else
// the right end of the screen's edge that holds a panel (the space `available` leaves of
// `screen`; the top edge without one).
QPoint trayPoint(const std::optional<QPoint>& lastIconClick, const QRect& screen, const QRect& available);

} // namespace larkfold
