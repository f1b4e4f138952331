#include "platform/GraphicalSession.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace larkfold::platform {
namespace {

// Qt's platforms that draw into memory or straight onto the hardware, without a display server.
constexpr std::array<std::string_view, 7> kPlatformsWithoutDisplay = {
    "offscreen", "minimal", "minimalegl", "linuxfb", "eglfs", "vnc", "vkkhrdisplay",
};

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The platform Qt will use: the last -platform argument, else the environment's choice.
std::string chosenPlatform(const std::vector<std::string>& arguments, const std::string& fromEnvironment)
{
    std::string chosen = fromEnvironment;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-platform" || arguments[i] == "--platform")
            chosen = arguments[i + 1];
    }
    return chosen;
}

// A platform list ("wayland;offscreen") reaches one that needs no display; each entry may carry
// options after a colon ("offscreen:fontengine=freetype").
bool listsPlatformWithoutDisplay(std::string_view platforms)
{
    while (!platforms.empty()) {
        const std::size_t end = platforms.find(';');
        std::string_view entry = platforms.substr(0, end);
        entry = entry.substr(0, entry.find(':'));
        for (const std::string_view name : kPlatformsWithoutDisplay) {
            if (entry == name)
                return true;
        }
        if (end == std::string_view::npos)
            break;
        platforms.remove_prefix(end + 1);
    }
    return false;
}

} // namespace

DisplayEnvironment DisplayEnvironment::current()
{
    return {variable("DISPLAY"), variable("WAYLAND_DISPLAY"), variable("QT_QPA_PLATFORM")};
}

bool canStartWindows(const std::vector<std::string>& arguments, const DisplayEnvironment& environment)
{
    if (!environment.display.empty() || !environment.waylandDisplay.empty())
        return true;
    return listsPlatformWithoutDisplay(chosenPlatform(arguments, environment.qpaPlatform));
}

} // namespace larkfold::platform
