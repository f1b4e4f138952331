#include "support/Screenshot.h"
#include "widgets/ElidedText.h"
#include "widgets/Theme.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;

TEST(ElidedText, CutsWhereItsModeSaysAndTellsTheWholeTextWhenCut)
{
    const QString text = QStringLiteral("/media/backup/Larkfold/Photos of the summer");
    const struct Case {
        Qt::TextElideMode mode;
        bool keepsStart;
        bool keepsEnd;
    } cases[] = {
        {Qt::ElideLeft, false, true},
        {Qt::ElideMiddle, true, true},
        {Qt::ElideRight, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode));
        ElidedText line(text, Theme::bodyFont(), Tone::secondary, c.mode);
        line.setToolTipWhenCut(true);
        line.show();
        line.resize(line.sizeHint());
        EXPECT_EQ(line.shownText(), text) << "whole at the width it asks for";
        EXPECT_TRUE(line.toolTip().isEmpty());
        line.resize(line.sizeHint().width() / 2, line.sizeHint().height());
        const QString shown = line.shownText();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_EQ(shown.startsWith(QStringLiteral("/media")), c.keepsStart) << shown.toStdString();
        EXPECT_EQ(shown.endsWith(QStringLiteral("summer")), c.keepsEnd) << shown.toStdString();
        EXPECT_EQ(line.toolTip(), text);
    }
}

// Drawn in the colours of the palette of the moment: what a switch to dark draws is what a text
// made in the dark palette draws.
TEST(ElidedText, DrawsInThePaletteOfTheMoment)
{
    ElidedText madeLight(QStringLiteral("Backup Drive"), Theme::bodyFont(), Tone::tertiary);
    madeLight.resize(madeLight.sizeHint());
    const QImage light = madeLight.grab().toImage();
    const ScopedPalette dark(darkPalette());
    ElidedText madeDark(QStringLiteral("Backup Drive"), Theme::bodyFont(), Tone::tertiary);
    madeDark.resize(madeDark.sizeHint());
    EXPECT_EQ(madeLight.color(), Theme::tertiaryLabelColor());
    EXPECT_EQ(madeLight.grab().toImage(), madeDark.grab().toImage());
    EXPECT_NE(madeLight.grab().toImage(), light);
}
