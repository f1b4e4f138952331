#include "status/PopoverTexts.h"

#include "support/PairRecord.h"

#include <gtest/gtest.h>

using namespace larkfold;

namespace {

const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1'750'000'000, Qt::UTC);

QDateTime ago(qint64 seconds)
{
    return kNow.addSecs(-seconds);
}

BackupPair pair(std::optional<QDateTime> lastBackupAt = std::nullopt)
{
    BackupPair record = test::pairRecord(QStringLiteral("Photos"), "/home/sam/Photos", "/media/sam/Drive");
    record.lastBackupAt = lastBackupAt;
    return record;
}

} // namespace

TEST(PopoverTexts, RelativeAgeAtEveryBoundary)
{
    const struct {
        qint64 seconds;
        const char* text;
    } cases[] = {
        {-3600, "Just now"}, {0, "Just now"},     {59, "Just now"},     {60, "1m ago"},   {90, "1m ago"},
        {3599, "59m ago"},   {3600, "1h ago"},    {86399, "23h ago"},   {86400, "1d ago"}, {2 * 86400 + 5, "2d ago"},
        {400 * 86400, "400d ago"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(relativeTimeText(ago(c.seconds), kNow), QString::fromUtf8(c.text));
    }
}

TEST(PopoverTexts, LastBackupLineTakesTheNewestOfAllPairs)
{
    EXPECT_EQ(lastBackupText({}, kNow), std::nullopt);
    EXPECT_EQ(lastBackupText({pair(), pair()}, kNow), std::nullopt) << "never backed up";

    BackupPair paused = pair(ago(120));
    paused.isEnabled = false;
    EXPECT_EQ(lastBackupText({pair(ago(7200)), paused, pair()}, kNow), QStringLiteral("Last backup: 2m ago"))
        << "a paused pair's backup counts too";
    EXPECT_EQ(lastBackupText({pair(ago(-30))}, kNow), QStringLiteral("Last backup: Just now")) << "clock moved back";
}

TEST(PopoverTexts, StatusLabelOfEveryStatus)
{
    const std::optional<QDateTime> fiveMinutesAgo = ago(300);
    const std::optional<QDateTime> never;
    const struct {
        BackupStatus status;
        std::optional<QDateTime> lastBackupAt;
        const char* text;
        Tone dot;
        Tone label;
    } cases[] = {
        {BackupStatus::syncing(0.427, QStringLiteral("a.mov")), never, "↑ 42%", Tone::amber, Tone::secondary},
        {BackupStatus::syncing(0.999, {}), never, "↑ 99%", Tone::amber, Tone::secondary},
        {BackupStatus::syncing(0.29, {}), never, "↑ 29%", Tone::amber, Tone::secondary},
        {BackupStatus::syncing(1.0, {}), never, "↑ 100%", Tone::amber, Tone::secondary},
        {BackupStatus::completed(3, 1.5), fiveMinutesAgo, "✓ 5m ago", Tone::green, Tone::secondary},
        {BackupStatus::completed(3, 1.5), never, "✓ Done", Tone::green, Tone::secondary},
        {BackupStatus::error(BackupError::timedOut()), fiveMinutesAgo, "⚠ Error", Tone::red, Tone::red},
        {BackupStatus::error(BackupError::deletionHeld(311, "Work", false)), fiveMinutesAgo, "⚠ Many deleted",
         Tone::amber, Tone::amber},
        {BackupStatus::error(BackupError::deletionHeld(333, "Work", true)), fiveMinutesAgo, "⚠ Folder empty",
         Tone::amber, Tone::amber},
        {BackupStatus::idle(), fiveMinutesAgo, "✓ 5m ago", Tone::green, Tone::secondary},
        {BackupStatus::idle(), never, "Up to date", Tone::green, Tone::secondary},
        {BackupStatus::scanning(), never, "Scanning…", Tone::amber, Tone::secondary},
        {BackupStatus::destinationUnreachable(), fiveMinutesAgo, "Not connected", Tone::red, Tone::amber},
        {BackupStatus::paused(), fiveMinutesAgo, "Paused", Tone::tertiary, Tone::tertiary},
        {BackupStatus::queued(), never, "Queued", Tone::amber, Tone::secondary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(statusLabel(c.status, c.lastBackupAt, kNow, false), QString::fromUtf8(c.text));
        EXPECT_EQ(statusDotTone(c.status), c.dot);
        EXPECT_EQ(statusTextTone(c.status), c.label);
        // Only a destination that cannot be reached speaks of reconnecting, and only while an attempt is on.
        const QString reconnecting = statusLabel(c.status, c.lastBackupAt, kNow, true);
        EXPECT_EQ(reconnecting, c.status.is<BackupStatus::DestinationUnreachable>() ? QStringLiteral("Reconnecting…")
                                                                                    : QString::fromUtf8(c.text));
    }
}

TEST(PopoverTexts, ProblemsAndTheirDetails)
{
    EXPECT_TRUE(hasProblem(BackupStatus::error(BackupError::timedOut())));
    EXPECT_TRUE(hasProblem(BackupStatus::destinationUnreachable()));
    for (const BackupStatus& fine : {BackupStatus::idle(), BackupStatus::paused(), BackupStatus::queued(),
                                     BackupStatus::syncing(0.5, {}), BackupStatus::completed(1, 1)}) {
        EXPECT_FALSE(hasProblem(fine));
        EXPECT_EQ(problemError(fine, "/media/sam/Drive"), std::nullopt);
    }
    EXPECT_EQ(problemError(BackupStatus::destinationUnreachable(), "/media/sam/Drive"),
              BackupError::destinationNotFound("/media/sam/Drive"));
    EXPECT_EQ(problemError(BackupStatus::error(BackupError::timedOut()), "/media/sam/Drive"), BackupError::timedOut());
}

TEST(PopoverTexts, EachProblemOffersItsWaysOut)
{
    using enum ProblemAction;
    const BackupStatus held = BackupStatus::error(BackupError::deletionHeld(311, "Work", false));
    const BackupStatus partial = BackupStatus::error(BackupError::partialFailure(1, 4));
    const struct {
        const char* what;
        BackupStatus status;
        bool hasRunErrors;
        std::vector<ProblemAction> actions;
        bool relink;
    } cases[] = {
        {"failed files", partial, true, {showDetails}, true},
        {"an error with nothing listed", BackupStatus::error(BackupError::timedOut()), false, {}, true},
        {"held deletions", held, false, {restoreHeld, confirmDeletion}, false},
        {"held deletions and failed files", held, true, {showDetails, restoreHeld, confirmDeletion}, false},
        {"no drive", BackupStatus::destinationUnreachable(), true, {}, true},
        {"fine", BackupStatus::idle(), true, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(problemActions(c.status, c.hasRunErrors), c.actions);
        EXPECT_EQ(offersRelink(c.status), c.relink);
    }
    EXPECT_EQ(problemActionLabel(showDetails), "Show Details…");
    EXPECT_EQ(problemActionLabel(restoreHeld), "Restore Them…");
    EXPECT_EQ(problemActionLabel(confirmDeletion), "Confirm Deletion…");
}

TEST(PopoverTexts, OffsiteLine)
{
    BackupPair record = pair();
    EXPECT_EQ(offsiteSummary(record, kNow), QString());
    record.offsiteURL = "/home/sam/Dropbox/Larkfold Offsite";
    EXPECT_EQ(offsiteSummary(record, kNow), QStringLiteral("Offsite copy in Larkfold Offsite — first sync coming soon"));
    record.lastOffsiteAt = ago(2 * 86400);
    EXPECT_EQ(offsiteSummary(record, kNow), QStringLiteral("Offsite copy in Larkfold Offsite — last synced 2d ago"));
}

TEST(PopoverTexts, FreeSpaceWarnsBelowOneGibibyte)
{
    EXPECT_EQ(freeSpaceWarning(std::nullopt), std::nullopt);
    EXPECT_EQ(freeSpaceWarning(1'073'741'824), std::nullopt);
    EXPECT_EQ(freeSpaceWarning(1'073'741'823), QStringLiteral("1.07 GB free on destination"));
    EXPECT_EQ(freeSpaceWarning(0), QStringLiteral("Zero KB free on destination"));
}

TEST(PopoverTexts, RedundancyWarnings)
{
    EXPECT_EQ(redundancyWarning(std::nullopt), std::nullopt);
    EXPECT_EQ(redundancyWarning(CopyRedundancy::redundant(2)), std::nullopt);

    const auto none = redundancyWarning(CopyRedundancy::noBackup());
    ASSERT_TRUE(none);
    EXPECT_EQ(none->symbol, QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(none->tone, Tone::red);
    EXPECT_EQ(none->text, QStringLiteral("This folder isn't being backed up anywhere yet."));

    const auto only = redundancyWarning(CopyRedundancy::onlyCopy());
    ASSERT_TRUE(only);
    EXPECT_EQ(only->symbol, QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(only->tone, Tone::red);
    EXPECT_EQ(only->text, QStringLiteral("This is the only copy of these files. The original folder is gone, so if "
                                         "this drive stops working they're gone for good."));

    const auto single = redundancyWarning(CopyRedundancy::singleBackup());
    ASSERT_TRUE(single);
    EXPECT_EQ(single->symbol, QStringLiteral("exclamationmark.circle"));
    EXPECT_EQ(single->tone, Tone::amber);
    EXPECT_EQ(single->text, QStringLiteral("There's just one backup of this folder. If this drive stops working, the "
                                           "original folder is all you'd have left."));
}

// The button says what the rows show: "Pause All" while any of them is not paused.
TEST(PopoverTexts, PauseButtonPausesWhileAnyEngineIsNotPaused)
{
    using Action = PauseButtonAction;
    const struct {
        const char* what;
        std::vector<BackupStatus> statuses;
        Action action;
    } cases[] = {
        {"no engine", {}, Action::resumeAll},
        {"one paused, one idle", {BackupStatus::paused(), BackupStatus::idle()}, Action::pauseAll},
        {"all paused", {BackupStatus::paused(), BackupStatus::paused()}, Action::resumeAll},
        {"backed up after a pause of all", {BackupStatus::idle(), BackupStatus::idle()}, Action::pauseAll},
        {"waiting for a drive", {BackupStatus::paused(), BackupStatus::destinationUnreachable()}, Action::pauseAll},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pauseButtonAction(c.statuses), c.action);
    }
}
