#pragma once

#include <QByteArray>

namespace larkfold::platform {

// Whether an XEmbed system tray is running on the X display `display` (its default screen's
// selection _NET_SYSTEM_TRAY_S<screen> has an owner). False without an X server there.
bool isXEmbedTrayPresent(const QByteArray& display);

} // namespace larkfold::platform
