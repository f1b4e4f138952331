#pragma once

#include <QLoggingCategory>
#include <QString>

#include <filesystem>

// One category per area, all under "io.larkfold.Larkfold".
Q_DECLARE_LOGGING_CATEGORY(lcBookmark)
Q_DECLARE_LOGGING_CATEGORY(lcConfigStore)
Q_DECLARE_LOGGING_CATEGORY(lcBackupEngine)
Q_DECLARE_LOGGING_CATEGORY(lcNestingMigration)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcIntegrityVerifier)

namespace larkfold::platform {

// What a private argument (a path, a file name) is written as.
inline constexpr const char* kPrivateArgument = "<private>";

// Paths and other private values never reach the log.
inline QString privateArg(const QString&) { return QString::fromLatin1(kPrivateArgument); }
inline QString privateArg(const std::filesystem::path&) { return QString::fromLatin1(kPrivateArgument); }

// A pair name as it is logged: the first 8 hex digits of its SHA-256.
QString hashedName(const QString& pairName);

// Sends every Qt message to the systemd journal when it is there, otherwise to standard error.
void installLogHandler();

} // namespace larkfold::platform
