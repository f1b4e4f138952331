#include "status/RestoreScan.h"

#include "copy/CopyErrors.h"
#include "engine/BackupEngine.h"
#include "platform/Paths.h"
#include "platform/TreeWalker.h"

#include <QCollator>
#include <QDate>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace larkfold {

namespace fs = std::filesystem;
using platform::EntryType;
using platform::TreeEntry;

namespace {

// The destination without a trailing "/", and opened as chosen: links in its path followed.
fs::path chosenFolder(const fs::path& destination)
{
    return destination.has_filename() ? destination : destination.parent_path();
}

platform::PosixResult<platform::Directory> openBelowDestination(platform::FileSystem& fileSystem,
                                                                const fs::path& destination, const fs::path& inside)
{
    const auto base = fileSystem.openDirectory(platform::canonicalPath(chosenFolder(destination)));
    if (!base)
        return base.error();
    return fileSystem.openDirectory(*base, inside);
}

} // namespace

platform::PosixResult<platform::Directory> openBackupFolder(platform::FileSystem& fileSystem, const fs::path& destination,
                                                            const QString& pairName)
{
    const fs::path chosen = chosenFolder(destination);
    return openBelowDestination(fileSystem, destination,
                                BackupEngine::backupFolder(destination, pairName).lexically_relative(chosen));
}

platform::PosixResult<platform::Directory> openBackupTrash(platform::FileSystem& fileSystem, const fs::path& destination)
{
    return openBelowDestination(fileSystem, destination, BackupEngine::trashFolder(chosenFolder(destination)).filename());
}

QString linkedBackupFolderRefusal()
{
    return QString::fromUtf8(copyerror::kDestinationIsLink.message);
}

namespace {

// The restorable files below `folder`, unsorted, with `day` as their day.
std::vector<RestoreFileItem> listFiles(const platform::Directory& folder, const std::string& day,
                                       const platform::CancelToken& cancel)
{
    std::vector<RestoreFileItem> items;
    platform::TreeWalker::walk(folder, [&](const TreeEntry& entry) {
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
        items.push_back(RestoreFileItem::make(std::string(entry.relativePath()), status->size, day));
        return false;
    });
    return items;
}

} // namespace

std::vector<RestoreFileItem> scanBackup(const platform::Directory& backupFolder, const platform::CancelToken& cancel)
{
    std::vector<RestoreFileItem> items = listFiles(backupFolder, {}, cancel);
    if (cancel.isCancelled())
        return {};
    sortByDisplayPath(items);
    return items;
}

bool isTrashDayName(std::string_view name)
{
    if (name.size() != 10)
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? name[i] != '-' : (name[i] < '0' || name[i] > '9'))
            return false;
    }
    return QDate::fromString(QString::fromLatin1(name.data(), 10), Qt::ISODate).isValid();
}

std::vector<RestoreFileItem> scanTrash(platform::FileSystem& fileSystem, const platform::Directory& trashFolder,
                                       const platform::CancelToken& cancel)
{
    auto names = fileSystem.listDirectory(trashFolder);
    if (!names)
        return {};
    std::vector<std::string> days;
    std::copy_if(names->begin(), names->end(), std::back_inserter(days), [](const std::string& n) { return isTrashDayName(n); });
    // ISO dates sort as text: the newest first.
    std::sort(days.begin(), days.end(), std::greater<>());
    std::vector<RestoreFileItem> items;
    for (const std::string& day : days) {
        // A link at a day's name is refused: nothing is listed through it.
        const auto folder = fileSystem.openDirectory(trashFolder, day);
        if (!folder)
            continue;
        std::vector<RestoreFileItem> ofDay = listFiles(*folder, day, cancel);
        if (cancel.isCancelled())
            return {};
        sortByDisplayPath(ofDay);
        std::move(ofDay.begin(), ofDay.end(), std::back_inserter(items));
    }
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
