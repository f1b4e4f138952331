#pragma once

#include <filesystem>
#include <optional>

namespace larkfold::platform {

// Whether the desktop asks applications to keep motion down: its animations switched off
// (GNOME's enable-animations through the settings portal, KDE's animation speed at zero, GTK's
// gtk-enable-animations). Asked once per process; false when nothing says so. Main thread.
bool prefersReducedMotion();

// What the desktop's settings files below `configFolder` ($XDG_CONFIG_HOME) say; none when
// they say nothing.
std::optional<bool> reducedMotionInSettingsFiles(const std::filesystem::path& configFolder);

} // namespace larkfold::platform
