#include "platform/MotionPreference.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

using namespace larkfold;
using larkfold::test::TempTree;

TEST(MotionPreference, TheDesktopsAnimationSettingsDecide)
{
    struct Case {
        const char* kdeglobals; // none: no such file
        const char* gtkSettings;
        std::optional<bool> reduced;
    } cases[] = {
        {nullptr, nullptr, std::nullopt},
        {"[KDE]\nAnimationDurationFactor=0\n", nullptr, true},
        {"[KDE]\nAnimationDurationFactor=0.5\n", "[Settings]\ngtk-enable-animations=false\n", false},
        {"[General]\nColorScheme=Breeze\n", "[Settings]\ngtk-enable-animations=false\n", true},
        {nullptr, "[Settings]\ngtk-enable-animations=0\n", true},
        {nullptr, "[Settings]\ngtk-enable-animations=true\n", false},
        {nullptr, "[Settings]\ngtk-theme-name=Adwaita\n", std::nullopt},
    };
    for (const Case& c : cases) {
        TempTree config;
        if (c.kdeglobals)
            config.write("kdeglobals", c.kdeglobals);
        if (c.gtkSettings)
            config.write("gtk-3.0/settings.ini", c.gtkSettings);
        SCOPED_TRACE(std::string(c.kdeglobals ? c.kdeglobals : "-") + " / " + (c.gtkSettings ? c.gtkSettings : "-"));
        EXPECT_EQ(platform::reducedMotionInSettingsFiles(config.root()), c.reduced);
    }
}
