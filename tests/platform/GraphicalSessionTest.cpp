#include "platform/GraphicalSession.h"

#include <gtest/gtest.h>

using namespace larkfold::platform;

TEST(GraphicalSession, StartsWindowsOnlyWithADisplayOrAPlatformThatNeedsNone)
{
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        DisplayEnvironment environment;
        bool expected;
    };
    const Case cases[] = {
        {"X11", {}, {":0", "", ""}, true},
        {"Wayland", {}, {"", "wayland-0", ""}, true},
        {"nothing", {}, {"", "", ""}, false},
        {"xcb asked for", {}, {"", "", "xcb"}, false},
        {"offscreen", {}, {"", "", "offscreen"}, true},
        {"minimal", {}, {"", "", "minimal"}, true},
        {"offscreen with options", {}, {"", "", "offscreen:fontengine=freetype"}, true},
        {"a list that ends offscreen", {}, {"", "", "wayland;xcb;offscreen"}, true},
        {"a list of displays", {}, {"", "", "wayland;xcb"}, false},
        {"-platform", {"-platform", "offscreen"}, {"", "", ""}, true},
        {"--platform", {"--platform", "minimal"}, {"", "", ""}, true},
        {"-platform wins over the environment", {"-platform", "xcb"}, {"", "", "offscreen"}, false},
        {"-platform without a name", {"-platform"}, {"", "", ""}, false},
        {"a name that only looks like one", {"offscreen"}, {"", "", "offscreenish"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(canStartWindows(c.arguments, c.environment), c.expected);
    }
}
