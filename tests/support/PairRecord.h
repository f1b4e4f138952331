#pragma once

#include "store/BackupPair.h"

#include <QDateTime>
#include <QUuid>

#include <filesystem>

namespace larkfold::test {

// A new pair record of the given folders, without bookmarks, created now.
inline BackupPair pairRecord(const QString& name, const std::filesystem::path& source,
                             const std::filesystem::path& destination, bool isEnabled = true)
{
    BackupPair pair;
    pair.id = QUuid::createUuid();
    pair.name = name;
    pair.sourceURL = source;
    pair.destinationURL = destination;
    pair.isEnabled = isEnabled;
    pair.createdAt = QDateTime::currentDateTimeUtc();
    return pair;
}

} // namespace larkfold::test
