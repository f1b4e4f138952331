#pragma once

#include "store/CaseAccess.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <variant>

namespace larkfold {

// The backup engine's failures, with their user-facing texts.
// A new case is one struct added to Value and its two texts in BackupError.cpp.
class BackupError : public CaseAccess<BackupError> {
public:
    struct SourceNotFound {
        std::filesystem::path url;
        bool operator==(const SourceNotFound&) const = default;
    };
    struct DestinationNotFound {
        std::filesystem::path url;
        bool operator==(const DestinationNotFound&) const = default;
    };
    struct BookmarkStale {
        std::filesystem::path url;
        bool operator==(const BookmarkStale&) const = default;
    };
    struct BookmarkAccessDenied {
        std::filesystem::path url;
        bool operator==(const BookmarkAccessDenied&) const = default;
    };
    struct WatcherFailed {
        QString detail; // technical; shown in no text
        bool operator==(const WatcherFailed&) const = default;
    };
    struct DiskSpaceLow {
        std::int64_t available = 0;
        std::int64_t threshold = 0;
        bool operator==(const DiskSpaceLow&) const = default;
    };
    struct PartialFailure {
        std::int64_t failedCount = 0;
        std::int64_t totalCount = 0;
        bool operator==(const PartialFailure&) const = default;
    };
    struct TimedOut {
        bool operator==(const TimedOut&) const = default;
    };
    // A run that could not start copying; described by the copy engine's own message.
    struct CopyFailed {
        QString message;
        bool operator==(const CopyFailed&) const = default;
    };
    // A run stopped because the source or the backup drive went away.
    struct VolumeLost {
        bool operator==(const VolumeLost&) const = default;
    };
    // So many files went from the source at once that their backups were kept where they are
    // until the user says whether they meant it.
    struct DeletionHeld {
        std::int64_t fileCount = 0;
        QString folderName;            // the source folder's name
        bool sourceLooksEmpty = false; // not one file was found in the source
        bool operator==(const DeletionHeld&) const = default;
    };

    using Value = std::variant<SourceNotFound, DestinationNotFound, BookmarkStale, BookmarkAccessDenied, WatcherFailed,
                               DiskSpaceLow, PartialFailure, TimedOut, CopyFailed, VolumeLost, DeletionHeld>;

    template <class Case>
        requires std::is_constructible_v<Value, Case>
    BackupError(Case value) : m_value(std::move(value))
    {
    }

    static BackupError sourceNotFound(std::filesystem::path url) { return SourceNotFound{std::move(url)}; }
    static BackupError destinationNotFound(std::filesystem::path url) { return DestinationNotFound{std::move(url)}; }
    static BackupError bookmarkStale(std::filesystem::path url) { return BookmarkStale{std::move(url)}; }
    static BackupError bookmarkAccessDenied(std::filesystem::path url) { return BookmarkAccessDenied{std::move(url)}; }
    static BackupError watcherFailed(QString detail) { return WatcherFailed{std::move(detail)}; }
    static BackupError diskSpaceLow(std::int64_t available, std::int64_t threshold)
    {
        return DiskSpaceLow{available, threshold};
    }
    static BackupError partialFailure(std::int64_t failedCount, std::int64_t totalCount)
    {
        return PartialFailure{failedCount, totalCount};
    }
    static BackupError timedOut() { return TimedOut{}; }
    static BackupError copyFailed(QString message) { return CopyFailed{std::move(message)}; }
    static BackupError volumeLost() { return VolumeLost{}; }
    static BackupError deletionHeld(std::int64_t fileCount, QString folderName, bool sourceLooksEmpty)
    {
        return DeletionHeld{fileCount, std::move(folderName), sourceLooksEmpty};
    }

    const Value& value() const { return m_value; }

    // Empty when the case has no description.
    QString errorDescription() const;
    QString recoverySuggestion() const;

    // Same case and equal payloads.
    bool operator==(const BackupError&) const = default;

private:
    Value m_value;
};

} // namespace larkfold
