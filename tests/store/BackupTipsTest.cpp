#include "store/BackupTips.h"

#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

using namespace larkfold;

namespace {

const QString T1 = QStringLiteral("Every file was verified after copying to make sure nothing was corrupted.");
const QString T2 = QString::fromUtf8("Files are written to a safe temporary location first, then swapped into place "
                                     "\u2014 so a crash can never leave you with a half-written file.");
const QString T4 =
    QStringLiteral("Large files were copied in small chunks so you could cancel anytime without losing progress.");
const QString T5 = QString::fromUtf8("A sample of your existing backups was re-checked \u2014 everything looks healthy.");
const QString T6 = QStringLiteral("Larkfold slowed down while you were working so your computer stayed fast.");

class BackupTipsTest : public ::testing::Test {
protected:
    void SetUp() override { platform::setUserDefaults(&m_defaults); }
    void TearDown() override { platform::setUserDefaults(nullptr); }
    qlonglong counter() const { return m_defaults.value("Larkfold.tipCounter").toLongLong(); }

    platform::MemoryUserDefaults m_defaults;
};

} // namespace

TEST_F(BackupTipsTest, EveryThirdCallRotatesThroughTheList)
{
    EXPECT_EQ(nextBackupTip(5, false, true, false), T1);
    EXPECT_EQ(counter(), 1);
    EXPECT_EQ(nextBackupTip(5, false, true, false), std::nullopt);
    EXPECT_EQ(nextBackupTip(5, false, true, false), std::nullopt);
    EXPECT_EQ(nextBackupTip(5, false, true, false), T2); // c = 3: index 1
    m_defaults.setValue("Larkfold.tipCounter", 12); // index 4 of T1, T2, T3, T4, T5, T6
    EXPECT_EQ(nextBackupTip(1, true, true, true), T5);
    m_defaults.setValue("Larkfold.tipCounter", 3); // index 1 of T4, T5, T6
    EXPECT_EQ(nextBackupTip(0, true, true, true), T5);
    m_defaults.setValue("Larkfold.tipCounter", 6); // index 2 of T4, T6 wraps to 0
    EXPECT_EQ(nextBackupTip(0, true, false, true), T4);
    m_defaults.setValue("Larkfold.tipCounter", 3);
    EXPECT_EQ(nextBackupTip(0, false, false, true), T6);
}

TEST_F(BackupTipsTest, EmptyListGivesNoTipButAdvances)
{
    EXPECT_EQ(nextBackupTip(0, false, false, false), std::nullopt);
    EXPECT_EQ(counter(), 1);
}

TEST_F(BackupTipsTest, HandEditedCounterCountsAsZero)
{
    for (const QVariant& bad : {QVariant(-7), QVariant(QStringLiteral("lots"))}) {
        m_defaults.setValue("Larkfold.tipCounter", bad);
        EXPECT_EQ(nextBackupTip(2, false, true, false), T1);
        EXPECT_EQ(counter(), 1);
    }
}

TEST(BackupSummaryText, CountsAndTip)
{
    EXPECT_EQ(backupSummaryText(0, std::nullopt), "Everything's up to date.");
    EXPECT_EQ(backupSummaryText(0, QStringLiteral("Tip.")), "Everything's up to date. Tip.");
    EXPECT_EQ(backupSummaryText(1, std::nullopt), "1 file backed up.");
    EXPECT_EQ(backupSummaryText(7, QStringLiteral("Tip.")), "7 files backed up. Tip.");
}

TEST(BackupTipsOnDisk, CounterLivesInUserDefaults)
{
    nextBackupTip(1, false, true, false);
    nextBackupTip(1, false, true, false);
    EXPECT_EQ(platform::userDefaults().value("Larkfold.tipCounter").toLongLong(), 2);
}
