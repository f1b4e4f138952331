#pragma once

#include "platform/JsonFwd.h"
#include "store/BackupProfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace larkfold {

// One backed-up folder: a source paired with a destination and, optionally, an offsite folder.
struct BackupPair {
    QUuid id;
    QString name;
    std::filesystem::path sourceURL;
    std::filesystem::path destinationURL;
    std::optional<QByteArray> sourceBookmark;
    std::optional<QByteArray> destinationBookmark;
    bool isEnabled = true;
    QDateTime createdAt;
    std::optional<QDateTime> lastBackupAt;
    std::optional<std::int64_t> lastBackupFileCount;
    std::optional<std::int64_t> lastBackupByteCount;
    std::optional<std::filesystem::path> offsiteURL;
    std::optional<QByteArray> offsiteBookmark;
    std::optional<QDateTime> lastOffsiteAt;
    std::optional<std::int64_t> lastOffsiteFileCount;
    BackupProfile profile = BackupProfile::standard;
    bool didSuggestProfile = false;
    // Folders below the source that held a mounted file system when it was last backed up: while
    // one is not mounted, its part of the backup is left as it is rather than emptied.
    std::vector<std::filesystem::path> sourceMountPoints;

    // All 18 fields equal (bookmarks byte for byte, dates as instants).
    bool operator==(const BackupPair&) const = default;

    // Optional fields are written only when they hold a value; URLs as folder "file:" URLs.
    platform::Json toJson() const;
    // Throws platform::JsonDecodeError when a required key is missing or any key holds a bad value.
    static BackupPair fromJson(const platform::Json& object);

    // The one rule that names the pair's backup folder; never empty and never "." or "..".
    static QString sanitizedFolderName(const QString& name);
};

} // namespace larkfold
