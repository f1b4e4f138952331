#include "store/BackupStatus.h"

#include <gtest/gtest.h>

#include <limits>

using namespace larkfold;

TEST(BackupStatus, DisplayTexts)
{
    struct Case {
        BackupStatus status;
        QString text;
    } cases[] = {
        {BackupStatus::syncing(0.999, "clip.mov"), QString::fromUtf8("Backing up 99% \u2014 clip.mov")},
        {BackupStatus::syncing(0, "%1 odd"), QString::fromUtf8("Backing up 0% \u2014 %1 odd")},
        {BackupStatus::syncing(1, "a"), QString::fromUtf8("Backing up 100% \u2014 a")},
        {BackupStatus::syncing(std::numeric_limits<double>::quiet_NaN(), "a"), QString::fromUtf8("Backing up 0% \u2014 a")},
        {BackupStatus::completed(1, 1.0), "Backed up 1 file in 1 second"},
        {BackupStatus::completed(0, 75), "Backed up 0 files in 1 minute"},
        {BackupStatus::completed(1200, 7200), "Backed up 1200 files in 2 hours"},
        {BackupStatus::error(BackupError::timedOut()), "This backup took too long and was stopped part-way."},
        {BackupStatus::idle(), "Up to date"},
        {BackupStatus(), "Up to date"},
        {BackupStatus::scanning(), QString::fromUtf8("Scanning for changes\u2026")},
        {BackupStatus::destinationUnreachable(), "Backup drive not connected"},
        {BackupStatus::paused(), "Paused"},
        {BackupStatus::queued(), QString::fromUtf8("Waiting in queue\u2026")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(c.status.displayText(), c.text);
    }
}

TEST(BackupStatus, FormatDuration)
{
    struct Case {
        double seconds;
        const char* text;
    } cases[] = {{0, "0 seconds"},      {1.9, "1 second"},     {59.99, "59 seconds"}, {60, "1 minute"},
                 {119, "1 minute"},     {3599, "59 minutes"},  {3600, "1 hour"},      {7199, "1 hour"},
                 {86400, "24 hours"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(formatDuration(c.seconds), QString::fromLatin1(c.text));
    }
}

TEST(BackupStatus, EqualityComparesPayloads)
{
    EXPECT_EQ(BackupStatus::syncing(0.5, "a"), BackupStatus::syncing(0.5, "a"));
    EXPECT_NE(BackupStatus::syncing(0.5, "a"), BackupStatus::syncing(0.5, "b"));
    EXPECT_NE(BackupStatus::completed(1, 2), BackupStatus::completed(1, 3));
    EXPECT_EQ(BackupStatus::error(BackupError::sourceNotFound("/a")), BackupStatus::error(BackupError::sourceNotFound("/a")));
    EXPECT_NE(BackupStatus::error(BackupError::sourceNotFound("/a")), BackupStatus::error(BackupError::sourceNotFound("/b")));
    EXPECT_NE(BackupStatus::idle(), BackupStatus::paused());
    EXPECT_TRUE(BackupStatus::queued().is<BackupStatus::Queued>());
    EXPECT_EQ(BackupStatus::syncing(0.25, "f").as<BackupStatus::Syncing>()->progress, 0.25);
    EXPECT_EQ(BackupStatus::idle().as<BackupStatus::Syncing>(), nullptr);
}
