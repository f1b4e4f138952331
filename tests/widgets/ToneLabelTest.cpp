#include "support/Screenshot.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;

// A label made in the light palette draws in the dark one's colours once the desktop turns dark,
// and back; a fixed colour stays.
TEST(ToneLabel, FollowsTheApplicationPalette)
{
    ToneLabel secondary(QStringLiteral("Secondary"), Theme::bodyFont(), Tone::secondary);
    ToneLabel amber(QStringLiteral("Amber"), Theme::bodyFont(), Tone::amber);
    ToneLabel white(QStringLiteral("On green"), Theme::bodyFont(), Tone::label);
    white.setColor(Theme::white());
    const QColor lightSecondary = Theme::secondaryLabelColor();
    {
        const ScopedPalette dark(darkPalette());
        ASSERT_NE(Theme::secondaryLabelColor(), lightSecondary);
        EXPECT_EQ(secondary.palette().color(QPalette::WindowText), Theme::secondaryLabelColor());
        EXPECT_EQ(amber.palette().color(QPalette::WindowText), Theme::amberText());
        EXPECT_EQ(white.palette().color(QPalette::WindowText), Theme::white());
    }
    EXPECT_EQ(secondary.palette().color(QPalette::WindowText), lightSecondary);
    secondary.setTone(Tone::tertiary);
    EXPECT_EQ(secondary.palette().color(QPalette::WindowText), Theme::tertiaryLabelColor());
}
