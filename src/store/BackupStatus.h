#pragma once

#include "store/BackupError.h"

#include <QString>

#include <cstdint>
#include <variant>

namespace larkfold {

// The live state of one pair. Default-constructed it is idle.
class BackupStatus : public CaseAccess<BackupStatus> {
public:
    struct Syncing {
        double progress = 0; // fraction done, 0 to 1
        QString currentFile;
        bool operator==(const Syncing&) const = default;
    };
    struct Completed {
        std::int64_t fileCount = 0;
        double duration = 0; // seconds
        bool operator==(const Completed&) const = default;
    };
    struct Error {
        BackupError error;
        bool operator==(const Error&) const = default;
    };
    struct Idle {
        bool operator==(const Idle&) const = default;
    };
    struct Scanning {
        bool operator==(const Scanning&) const = default;
    };
    struct DestinationUnreachable {
        bool operator==(const DestinationUnreachable&) const = default;
    };
    struct Paused {
        bool operator==(const Paused&) const = default;
    };
    struct Queued {
        bool operator==(const Queued&) const = default;
    };

    using Value = std::variant<Syncing, Completed, Error, Idle, Scanning, DestinationUnreachable, Paused, Queued>;

    BackupStatus() : m_value(Idle{}) {}
    template <class Case>
        requires std::is_constructible_v<Value, Case>
    BackupStatus(Case value) : m_value(std::move(value))
    {
    }

    static BackupStatus syncing(double progress, QString currentFile) { return Syncing{progress, std::move(currentFile)}; }
    static BackupStatus completed(std::int64_t fileCount, double duration) { return Completed{fileCount, duration}; }
    static BackupStatus error(BackupError error) { return Error{std::move(error)}; }
    static BackupStatus idle() { return Idle{}; }
    static BackupStatus scanning() { return Scanning{}; }
    static BackupStatus destinationUnreachable() { return DestinationUnreachable{}; }
    static BackupStatus paused() { return Paused{}; }
    static BackupStatus queued() { return Queued{}; }

    const Value& value() const { return m_value; }

    // The short text of the status summary ("Up to date", "Backing up 42% — a.mov", ...).
    QString displayText() const;

    bool operator==(const BackupStatus&) const = default;

private:
    Value m_value;
};

// "1 second", "59 seconds", "1 minute", "24 hours": whole units, truncated, never days.
QString formatDuration(double seconds);

} // namespace larkfold
