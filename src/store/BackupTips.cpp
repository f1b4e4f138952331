#include "store/BackupTips.h"

#include "platform/UserDefaults.h"

#include <mutex>
#include <vector>

namespace larkfold {
namespace {

const QString kTipCounterKey = QStringLiteral("Larkfold.tipCounter");
constexpr std::int64_t kTipEveryNthRun = 3;

// Two engines finishing together must not read the same counter value.
std::mutex g_counterMutex;

std::int64_t takeTipCounter()
{
    std::lock_guard lock(g_counterMutex);
    platform::UserDefaults& defaults = platform::userDefaults();
    bool ok = false;
    std::int64_t counter = defaults.value(kTipCounterKey, 0).toLongLong(&ok);
    if (!ok || counter < 0)
        counter = 0; // only a hand-edited file holds such a value
    defaults.setValue(kTipCounterKey, qlonglong(counter + 1));
    return counter;
}

} // namespace

std::optional<QString> nextBackupTip(std::int64_t fileCount, bool usedChunkedCopy, bool sampleVerified,
                                     bool wasThrottled)
{
    const std::int64_t counter = takeTipCounter();
    if (counter % kTipEveryNthRun != 0)
        return std::nullopt;

    std::vector<QString> tips;
    if (fileCount >= 1) {
        tips.push_back(QStringLiteral("Every file was verified after copying to make sure nothing was corrupted."));
        tips.push_back(QStringLiteral("Files are written to a safe temporary location first, then swapped into place "
                                      "\u2014 so a crash can never leave you with a half-written file."));
        tips.push_back(QStringLiteral("A unique fingerprint was saved for each file so Larkfold can detect if it ever "
                                      "silently corrupts."));
    }
    if (usedChunkedCopy)
        tips.push_back(
            QStringLiteral("Large files were copied in small chunks so you could cancel anytime without losing progress."));
    if (sampleVerified)
        tips.push_back(
            QStringLiteral("A sample of your existing backups was re-checked \u2014 everything looks healthy."));
    if (wasThrottled)
        tips.push_back(QStringLiteral("Larkfold slowed down while you were working so your computer stayed fast."));

    if (tips.empty())
        return std::nullopt;
    return tips[std::size_t((counter / kTipEveryNthRun) % std::int64_t(tips.size()))];
}

QString backupSummaryText(std::int64_t fileCount, const std::optional<QString>& tip)
{
    QString text = fileCount == 0
        ? QStringLiteral("Everything's up to date.")
        : QStringLiteral("%1 %2 backed up.").arg(fileCount).arg(QLatin1String(fileCount == 1 ? "file" : "files"));
    if (tip)
        text += QLatin1Char(' ') + *tip;
    return text;
}

} // namespace larkfold
