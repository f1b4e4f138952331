#include "platform/Log.h"

#include <QCryptographicHash>

#include <systemd/sd-journal.h>

#include <cstdio>
#include <syslog.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcBookmark, "io.larkfold.Larkfold.Bookmark")
Q_LOGGING_CATEGORY(lcConfigStore, "io.larkfold.Larkfold.ConfigStore")
Q_LOGGING_CATEGORY(lcBackupEngine, "io.larkfold.Larkfold.BackupEngine")
Q_LOGGING_CATEGORY(lcNestingMigration, "io.larkfold.Larkfold.NestingMigration")
Q_LOGGING_CATEGORY(lcApp, "io.larkfold.Larkfold.App")
Q_LOGGING_CATEGORY(lcTray, "io.larkfold.Larkfold.Tray", QtInfoMsg)
Q_LOGGING_CATEGORY(lcIntegrityVerifier, "io.larkfold.Larkfold.IntegrityVerifier")

namespace larkfold::platform {
namespace {

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

int journalPriority(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return LOG_DEBUG;
    case QtInfoMsg: return LOG_INFO;
    case QtWarningMsg: return LOG_WARNING;
    case QtCriticalMsg: return LOG_ERR;
    case QtFatalMsg: return LOG_CRIT;
    }
    return LOG_NOTICE;
}

const char* levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "error";
    case QtFatalMsg: return "fatal";
    }
    return "info";
}

bool g_journalAvailable = false;
bool g_standardErrorIsTerminal = false;

void sendToJournal(QtMsgType type, const char* category, const QByteArray& text)
{
    sd_journal_send("MESSAGE=%s", text.constData(), "PRIORITY=%d", journalPriority(type),
                    "SYSLOG_IDENTIFIER=larkfold", "LARKFOLD_CATEGORY=%s", category, nullptr);
}

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const char* category = context.category ? context.category : "default";
    const QByteArray text = message.toUtf8();
    const LogRoute route = logRoute(type, g_journalAvailable, g_standardErrorIsTerminal);
    if (route.journal)
        sendToJournal(type, category, text);
    if (route.standardError) {
        std::fprintf(stderr, "larkfold [%s] %s: %s\n", category, levelName(type), text.constData());
        std::fflush(stderr);
    }
    if (type == QtFatalMsg)
        abort();
}

} // namespace

QString hashedName(const QString& pairName)
{
    const QByteArray digest = QCryptographicHash::hash(pairName.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex().left(8));
}

LogRoute logRoute(QtMsgType type, bool journalAvailable, bool standardErrorIsTerminal)
{
    const bool problem = type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
    if (problem)
        return {journalAvailable, !journalAvailable || standardErrorIsTerminal};
    return {journalAvailable, !journalAvailable && !standardErrorIsTerminal};
}

void installLogHandler()
{
    g_journalAvailable = ::access(kJournalSocket, W_OK) == 0;
    g_standardErrorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    qInstallMessageHandler(messageHandler);
}

} // namespace larkfold::platform
