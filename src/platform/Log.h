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
// Each click on the icon and what it did; off unless QT_LOGGING_RULES turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcTray)
Q_DECLARE_LOGGING_CATEGORY(lcIntegrityVerifier)

namespace larkfold::platform {

// What a private argument (a path, a file name) is written as.
inline constexpr const char* kPrivateArgument = "<private>";

// Paths and other private values never reach the log.
inline QString privateArg(const QString&) { return QString::fromLatin1(kPrivateArgument); }
inline QString privateArg(const std::filesystem::path&) { return QString::fromLatin1(kPrivateArgument); }

// A pair name as it is logged: the first 8 hex digits of its SHA-256.
QString hashedName(const QString& pairName);

// Where one message goes.
struct LogRoute {
    bool journal = false;
    bool standardError = false;

    bool operator==(const LogRoute&) const = default;
};

// Every message goes to the systemd journal when it is there. A terminal shows warnings and errors
// only, so a user who started the program from a shell is not told of every service it went
// without; standard error that is not a terminal (a log file, a test) gets every message when
// there is no journal.
LogRoute logRoute(QtMsgType type, bool journalAvailable, bool standardErrorIsTerminal);

// Routes every Qt message as logRoute() says, for this process's journal and standard error.
void installLogHandler();

} // namespace larkfold::platform
