#include "shell/OverallStatus.h"

#include <gtest/gtest.h>

using namespace larkfold;

namespace {

const BackupStatus kError = BackupStatus::error(BackupError::timedOut());
const BackupStatus kOtherError = BackupStatus::error(BackupError::volumeLost());
const BackupStatus kIdle = BackupStatus::idle();
const BackupStatus kPaused = BackupStatus::paused();
const BackupStatus kQueued = BackupStatus::queued();
const BackupStatus kScanning = BackupStatus::scanning();
const BackupStatus kAway = BackupStatus::destinationUnreachable();

BackupStatus syncing(double progress, const char* file) { return BackupStatus::syncing(progress, file); }
BackupStatus completed(int files, double seconds) { return BackupStatus::completed(files, seconds); }

} // namespace

TEST(OverallStatus, PriorityAndSummaryOnTablesOfStates)
{
    struct Case {
        const char* name;
        std::vector<BackupStatus> statuses;
        BackupStatus overall;
        QString summary;
    };
    const Case cases[] = {
        {"none", {}, kIdle, "No backup pairs configured"},
        {"error beats syncing", {syncing(0.5, "a"), kError}, kError, "1 of 2 pair(s) need attention"},
        {"first error wins", {kOtherError, kIdle, kError}, kOtherError, "2 of 3 pair(s) need attention"},
        {"away beats scanning", {kScanning, kAway}, kAway, "1 of 2 pair(s) need attention"},
        {"highest progress", {syncing(0.2, "a"), syncing(0.7, "b"), kScanning}, syncing(0.7, "b"),
         "Backup in progress…"},
        {"last of equal progress", {syncing(0.5, "a"), syncing(0.5, "b")}, syncing(0.5, "b"), "Backup in progress…"},
        {"scanning beats queued", {kQueued, kScanning}, kScanning, "Backup in progress…"},
        {"queued beats completed", {completed(3, 1), kQueued}, kQueued, "Backup in progress…"},
        {"most files", {completed(10, 2), completed(25, 7), completed(25, 9)}, completed(25, 7),
         completed(25, 7).displayText()},
        {"paused beats idle", {kIdle, kPaused}, kPaused, "Paused"},
        {"all idle", {kIdle, kIdle}, kIdle, "Up to date"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(overallStatus(c.statuses), c.overall);
        EXPECT_EQ(statusSummary(c.statuses), c.summary);
    }
}

// "Back Up Now" says which paused pairs it left out, and how to back them up.
TEST(OverallStatus, TheNoticeOfPausedPairsLeftOut)
{
    const struct {
        std::vector<QString> paused;
        std::size_t total;
        std::optional<QString> notice;
    } cases[] = {
        {{}, 2, std::nullopt},
        {{"Docs"}, 1, "“Docs” is paused — resume it to back it up."},
        {{"Docs"}, 3, "“Docs” is paused and was left out — resume it to back it up."},
        {{"Docs", "Music"}, 2, "All backups are paused — choose Resume All to back them up."},
        {{"Docs", "Music"}, 3, "2 backups are paused and were left out — resume them to back them up."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notice.value_or("none").toStdString());
        EXPECT_EQ(pausedPairsNotice(c.paused, c.total), c.notice);
    }
}
