#include "status/RestoreScan.h"

#include "copy/CopyErrors.h"
#include "engine/BackupEngine.h"
#include "platform/Paths.h"
#include "platform/TreeWalker.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace larkfold {

namespace fs = std::filesystem;
using platform::EntryType;
using platform::TreeEntry;

platform::PosixResult<platform::Directory> openBackupFolder(platform::FileSystem& fileSystem, const fs::path& destination,
                                                            const QString& pairName)
{
    fs::path chosen = destination;
    if (!chosen.has_filename())
        chosen = chosen.parent_path();
    const auto base = fileSystem.openDirectory(platform::canonicalPath(chosen));
    if (!base)
        return base.error();
    return fileSystem.openDirectory(*base, BackupEngine::backupFolder(destination, pairName).lexically_relative(chosen));
}

QString linkedBackupFolderRefusal()
{
    return QString::fromUtf8(copyerror::kDestinationIsLink.message);
}

std::vector<RestoreFileItem> scanBackup(const platform::Directory& backupFolder, const platform::CancelToken& cancel)
{
    std::vector<RestoreFileItem> items;
    platform::TreeWalker::walk(backupFolder, [&](const TreeEntry& entry) {
        if (cancel.isCancelled() || entry.name().starts_with('.'))
            return false;
        if (entry.type() == EntryType::directory)
            return true;
        if (entry.type() != EntryType::regularFile)
            return false;
        const auto& status = entry.status();
        // Gone, or something else took its place since the listing.
        if (!status || status->type != EntryType::regularFile)
            return false;
        items.push_back(RestoreFileItem::make(std::string(entry.relativePath()), status->size));
        return false;
    });
    if (cancel.isCancelled())
        return {};
    sortByDisplayPath(items);
    return items;
}

void sortByDisplayPath(std::vector<RestoreFileItem>& items)
{
    // Qt compares plain code units for the C locale, with neither numbers nor case: the neutral
    // order of English stands in for it.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator{locale};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Sort keys make each comparison a byte compare: a backup of many thousands of files sorts quickly.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(items.size());
    for (const RestoreFileItem& item : items)
        keys.push_back(collator.sortKey(item.displayPath));
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int byCollation = keys[a].compare(keys[b]);
        return byCollation != 0 ? byCollation < 0 : items[a].relativePath < items[b].relativePath;
    });
    std::vector<RestoreFileItem> sorted;
    sorted.reserve(items.size());
    for (const std::size_t index : order)
        sorted.push_back(std::move(items[index]));
    items = std::move(sorted);
}

} // namespace larkfold
