#pragma once

#include <string>
#include <vector>

namespace larkfold::platform {

// What decides whether Qt can bring up a platform: the displays named in the environment and the
// platform asked for.
struct DisplayEnvironment {
    std::string display;        // DISPLAY
    std::string waylandDisplay; // WAYLAND_DISPLAY
    std::string qpaPlatform;    // QT_QPA_PLATFORM

    // This process's environment.
    static DisplayEnvironment current();
};

// Whether the program can start its windows: a display is named, or the platform chosen by
// `-platform` (which Qt prefers) or QT_QPA_PLATFORM needs none (offscreen, minimal and the like).
// `arguments` are the command line without the program's name.
bool canStartWindows(const std::vector<std::string>& arguments, const DisplayEnvironment& environment);

} // namespace larkfold::platform
