#include "setup/VolumePickerRow.h"

#include "widgets/ElidedText.h"
#include "widgets/SymbolView.h"
#include "widgets/Theme.h"
#include "support/EventLoop.h"
#include "support/Reference.h"
#include "support/Screenshot.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace larkfold;
using namespace larkfold::test;
using Volume = VolumeMonitor::VolumeInfo;

namespace {

constexpr int kRowWidthPixels = 288;

const Volume kDrive{"/media/sam/Backup Drive", "Backup Drive", 2'000'000'000'000, 1'234'000'000'000, false, true};

void hover(QWidget& row, bool inside)
{
    if (inside) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&row, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&row, &leave);
    }
}

template <typename T>
T* part(QWidget& row, const char* name)
{
    return row.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

TEST(VolumePickerRow, ShowsTheKindNameAndFreeSpaceAndReportsClicks)
{
    int selections = 0;
    VolumePickerRow row(kDrive, false, [&] { ++selections; }, true);
    row.resize(kRowWidthPixels, row.sizeHint().height());
    row.show();
    EXPECT_EQ(part<SymbolView>(row, "kindSymbol")->name(), QStringLiteral("externaldrive"));
    EXPECT_EQ(part<SymbolView>(row, "kindSymbol")->color(), Theme::secondaryLabelColor());
    EXPECT_EQ(part<ElidedText>(row, "volumeName")->text(), QStringLiteral("Backup Drive"));
    EXPECT_EQ(part<ElidedText>(row, "volumeDetail")->text(), QStringLiteral("External Drive · 1.23 TB free"));
    EXPECT_EQ(part<SymbolView>(row, "checkmark"), nullptr);
    EXPECT_EQ(row.fillColor().alpha(), 0) << "neither selected nor hovered: transparent";
    EXPECT_EQ(row.accentBarOpacity(), 0.0);

    // Anywhere in the row, also on its texts and symbol.
    QTest::mouseClick(&row, Qt::LeftButton, {}, QPoint(row.width() - 4, row.height() / 2));
    QTest::mouseClick(&row, Qt::LeftButton, {}, part<QWidget>(row, "kindSymbol")->geometry().center());
    EXPECT_EQ(selections, 2);
    EXPECT_FALSE(row.isSelected()) << "selection belongs to the owner";
}

TEST(VolumePickerRow, HoverFadesInUnlessMotionIsReducedAndNeverChangesASelectedRow)
{
    VolumePickerRow plain(kDrive, false, {}, /*reduceMotion=*/false);
    plain.show();
    hover(plain, true);
    EXPECT_LT(plain.hoverAmount(), 1.0) << "fading in";
    ASSERT_TRUE(spinUntil([&] { return plain.hoverAmount() == 1.0; }, 10'000));
    EXPECT_EQ(plain.fillColor(), Theme::subtleFill());
    EXPECT_DOUBLE_EQ(plain.accentBarOpacity(), 0.5);
    hover(plain, false);
    ASSERT_TRUE(spinUntil([&] { return plain.hoverAmount() == 0.0; }, 10'000));
    EXPECT_EQ(plain.accentBarOpacity(), 0.0);

    VolumePickerRow reduced(kDrive, false, {}, /*reduceMotion=*/true);
    hover(reduced, true);
    EXPECT_EQ(reduced.hoverAmount(), 1.0) << "at once";
    hover(reduced, false);
    EXPECT_EQ(reduced.hoverAmount(), 0.0);

    VolumePickerRow selected(kDrive, true, {}, true);
    EXPECT_EQ(selected.fillColor(), Theme::selectedFill());
    EXPECT_EQ(selected.accentBarOpacity(), 1.0);
    EXPECT_EQ(part<SymbolView>(selected, "kindSymbol")->color(), Theme::green());
    EXPECT_NE(part<SymbolView>(selected, "checkmark"), nullptr);
    hover(selected, true);
    EXPECT_EQ(selected.fillColor(), Theme::selectedFill());
    EXPECT_EQ(selected.accentBarOpacity(), 1.0);
}

TEST(VolumePickerRow, LongNamesStayOnOneLineCutInTheMiddle)
{
    QWidget list;
    list.setFixedWidth(kRowWidthPixels);
    auto* column = new QVBoxLayout(&list);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(3);
    const Volume share{"/home/sam/nas", "nas", 0, 0, true, true};
    const Volume local{"/mnt/Alpha", "Alpha", 0, 512'000'000'000, false, false};
    const Volume longName{"/media/sam/x", "A drive whose name is far too long for the row to show it whole", 0, 0,
                          false, true};
    auto* hovered = new VolumePickerRow(local, false, {}, true);
    auto* cut = new VolumePickerRow(longName, false, {}, true);
    for (QWidget* row : std::initializer_list<QWidget*>{new VolumePickerRow(kDrive, true, {}, true),
                                                        new VolumePickerRow(share, false, {}, true), hovered, cut})
        column->addWidget(row);
    list.show();
    hover(*hovered, true);
    QCoreApplication::processEvents();

    const auto* name = part<ElidedText>(*cut, "volumeName");
    EXPECT_EQ(name->height(), name->fontMetrics().height());
    EXPECT_TRUE(name->shownText().contains(QChar(0x2026)));
    EXPECT_TRUE(name->shownText().startsWith(QStringLiteral("A drive")));
    EXPECT_TRUE(name->shownText().endsWith(QStringLiteral("it whole")));
    EXPECT_EQ(part<SymbolView>(*qobject_cast<VolumePickerRow*>(column->itemAt(1)->widget()), "kindSymbol")->name(),
              QStringLiteral("network"));
    saveScreenshot(list, "volume-picker-rows");
    EXPECT_LOOKS_AS_REFERENCE(list, "setup", "volume-picker-rows");
}
