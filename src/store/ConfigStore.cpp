#include "store/ConfigStore.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/ByteCount.h"
#include "platform/Clock.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace larkfold {

using platform::Json;

namespace {

constexpr const char* kPackageUpgradeKeyPrefix = "didLogPackageUpgrade_";
// An atomic write's temporary is its file's name, a dot and six random letters or digits.
constexpr std::size_t kTemporarySuffixLength = 6;

struct ConfigFile {
    std::vector<BackupPair> pairs;
    AppConfig appConfig;
};

bool fileExists(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(path, ec);
    // Anything but a clear "not there" counts as present, so a file we cannot inspect is never overwritten unread.
    return ec ? ec != std::errc::no_such_file_or_directory : status.type() != std::filesystem::file_type::not_found;
}

// A FIFO or device under our file name would block or mislead the read.
bool readRegularFile(const std::filesystem::path& path, std::string& bytes, QString& error)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        error = QString::fromStdString(ec.message());
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = QStringLiteral("Not a regular file");
        return false;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > std::uintmax_t(ConfigStore::kMaxFileBytes)) {
        error = QStringLiteral("Too large to read: %1 (at most %2)")
                    .arg(platform::formatByteCount(std::int64_t(size)),
                         platform::formatByteCount(ConfigStore::kMaxFileBytes));
        return false;
    }
    return platform::readWholeFile(path, bytes, error);
}

// Refuses deep nesting before the parser builds it: only brackets outside strings count.
void requireShallowNesting(std::string_view bytes)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > ConfigStore::kMaxNestingDepth)
                throw platform::JsonDecodeError("Nested more than " + std::to_string(ConfigStore::kMaxNestingDepth)
                                                + " levels deep");
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

Json parseStoredJson(std::string_view bytes)
{
    requireShallowNesting(bytes);
    return platform::parseJson(bytes);
}

bool isLeftoverTemporary(std::string_view name, std::string_view file)
{
    if (name.size() != file.size() + 1 + kTemporarySuffixLength || !name.starts_with(file) || name[file.size()] != '.')
        return false;
    const std::string_view suffix = name.substr(file.size() + 1);
    return std::all_of(suffix.begin(), suffix.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

ConfigFile decodeConfigFile(const std::string& bytes)
{
    const Json object = parseStoredJson(bytes);
    const Json& pairs = platform::json::member(object, "pairs");
    if (!pairs.is_array())
        throw platform::JsonDecodeError("\"pairs\": expected an array");
    ConfigFile file;
    file.appConfig = AppConfig::fromJson(platform::json::member(object, "appConfig"));
    for (const Json& pair : pairs)
        file.pairs.push_back(BackupPair::fromJson(pair));
    return file;
}

std::optional<ConfigFile> readConfigFile(const std::filesystem::path& path, QString& error)
{
    std::string bytes;
    if (!readRegularFile(path, bytes, error))
        return std::nullopt;
    try {
        return decodeConfigFile(bytes);
    } catch (const std::exception& decodeError) {
        error = QString::fromUtf8(decodeError.what());
        return std::nullopt;
    }
}

Json encodeEvents(const std::vector<BackupEvent>& events)
{
    Json array = Json::array();
    for (const BackupEvent& event : events)
        array.push_back(event.toJson());
    return array;
}

// Moves `from` to `to` unless something already has that name.
int renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    // File systems without RENAME_NOREPLACE.
    if (fileExists(to))
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

} // namespace

ConfigStore::ConfigStore(QObject* parent) : ConfigStore(platform::appSupportDirectory(), parent) {}

ConfigStore::ConfigStore(std::filesystem::path appSupportDirectory, QObject* parent)
    : QObject(parent)
    , m_appSupportURL(std::move(appSupportDirectory))
    , m_configFileURL(m_appSupportURL / "config.json")
    , m_logFileURL(m_appSupportURL / "backup-log.json")
{
    platform::requireMainThread("ConfigStore");
    m_logFlushTimer.setSingleShot(true);
    m_logFlushTimer.setInterval(kLogFlushDelayMs);
    connect(&m_logFlushTimer, &QTimer::timeout, this, &ConfigStore::flushLog);
    ensureDirectory();
    removeLeftoverTemporaries();
    loadConfig();
    loadLog();
}

ConfigStore::~ConfigStore() = default;

std::filesystem::path ConfigStore::configBackupURL() const
{
    return std::filesystem::path(m_configFileURL.native() + ".backup");
}

void ConfigStore::setPairs(std::vector<BackupPair> pairs)
{
    platform::requireMainThread("ConfigStore::setPairs");
    if (pairs == m_pairs)
        return;
    m_pairs = std::move(pairs);
    emit pairsChanged();
}

void ConfigStore::setAppConfig(const AppConfig& config)
{
    platform::requireMainThread("ConfigStore::setAppConfig");
    if (config == m_appConfig)
        return;
    m_appConfig = config;
    emit appConfigChanged();
}

void ConfigStore::setEvents(std::vector<BackupEvent> events)
{
    platform::requireMainThread("ConfigStore::setEvents");
    if (events.empty() && m_events.empty())
        return;
    m_events = std::move(events);
    emit eventsChanged();
}

void ConfigStore::addPair(const BackupPair& pair)
{
    platform::requireMainThread("ConfigStore::addPair");
    m_pairs.push_back(pair);
    emit pairsChanged();
    saveConfig();
}

void ConfigStore::updatePair(const BackupPair& pair)
{
    platform::requireMainThread("ConfigStore::updatePair");
    const auto it = std::find_if(m_pairs.begin(), m_pairs.end(), [&](const BackupPair& p) { return p.id == pair.id; });
    if (it == m_pairs.end())
        return;
    if (*it != pair) {
        *it = pair;
        emit pairsChanged();
    }
    saveConfig();
}

void ConfigStore::removePair(const QUuid& id)
{
    platform::requireMainThread("ConfigStore::removePair");
    if (std::erase_if(m_pairs, [&](const BackupPair& p) { return p.id == id; }) > 0)
        emit pairsChanged();
    saveConfig();
    platform::userDefaults().remove(QString::fromLatin1(kPackageUpgradeKeyPrefix)
                                    + QString::fromStdString(platform::encodeUuid(id)));
}

void ConfigStore::addEvent(const BackupEvent& event)
{
    platform::requireMainThread("ConfigStore::addEvent");
    m_events.push_back(event);
    if (m_events.size() > std::size_t(kMaxLogEntries))
        m_events.erase(m_events.begin(), m_events.end() - kMaxLogEntries);
    emit eventsChanged();
    // Restarting the timer coalesces a burst into one write after the last event.
    m_logFlushTimer.start();
}

void ConfigStore::save()
{
    platform::requireMainThread("ConfigStore::save");
    saveConfig();
    m_logFlushTimer.stop();
    flushLog();
}

void ConfigStore::ensureDirectory()
{
    // Every pair's folders and the history are the user's business alone.
    if (const std::error_code ec = platform::ensurePrivateDirectory(m_appSupportURL))
        qCCritical(lcConfigStore, "Failed to create Application Support directory: %s", ec.message().c_str());
}

void ConfigStore::removeLeftoverTemporaries()
{
    // What a process killed in the middle of a save leaves behind; the backup copy itself has
    // the very same shape and stays.
    const std::string backupName = configBackupURL().filename().native();
    const std::string files[] = {m_configFileURL.filename().native(), backupName, m_logFileURL.filename().native()};
    std::error_code ec;
    for (std::filesystem::directory_iterator it(m_appSupportURL, ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        const std::string name = path.filename().native();
        if (name == backupName || !std::any_of(std::begin(files), std::end(files), [&](const std::string& file) {
                return isLeftoverTemporary(name, file);
            }))
            continue;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::unlink(path.c_str()) == 0)
            qCInfo(lcConfigStore, "Removed the leftover temporary file %s", name.c_str());
        else
            qCWarning(lcConfigStore, "Failed to remove the leftover temporary file %s: %s", name.c_str(),
                      std::strerror(errno));
    }
}

void ConfigStore::loadConfig()
{
    const std::filesystem::path backup = configBackupURL();
    QString error;
    if (fileExists(m_configFileURL)) {
        if (auto file = readConfigFile(m_configFileURL, error)) {
            setPairs(std::move(file->pairs));
            setAppConfig(file->appConfig);
            m_configFileTrusted = true;
            return;
        }
        qCCritical(lcConfigStore, "Failed to load config.json: %s", qUtf8Printable(error));
        // Unusable bytes move aside, so no save can copy them over the good backup or lose the pairs they hold.
        setAside(m_configFileURL, "config.json");
    }
    // A backup without "config.json" is what a launch leaves that set the damaged file aside and
    // could not write the recovered one; starting from defaults would soon copy them over it.
    if (!fileExists(backup))
        return;
    if (auto file = readConfigFile(backup, error)) {
        setPairs(std::move(file->pairs));
        setAppConfig(file->appConfig);
        qCInfo(lcConfigStore, "Recovered from config.json.backup");
        saveConfig();
        return;
    }
    qCCritical(lcConfigStore, "Backup recovery also failed: %s", qUtf8Printable(error));
    setAside(backup, "config.json.backup");
}

void ConfigStore::loadLog()
{
    if (!fileExists(m_logFileURL))
        return;
    std::string bytes;
    QString error;
    if (readRegularFile(m_logFileURL, bytes, error)) {
        try {
            const Json array = parseStoredJson(bytes);
            if (!array.is_array())
                throw platform::JsonDecodeError("expected an array of events");
            // One record this version cannot read (a newer program's event type, a hand edit)
            // costs that record, not the whole history.
            std::vector<BackupEvent> events;
            std::size_t skipped = 0;
            QString firstError;
            for (const Json& event : array) {
                try {
                    events.push_back(BackupEvent::fromJson(event));
                } catch (const std::exception& recordError) {
                    if (skipped++ == 0)
                        firstError = QString::fromUtf8(recordError.what());
                }
            }
            if (skipped > 0)
                qCWarning(lcConfigStore, "Skipped %zu of %zu events in backup-log.json that could not be read: %s",
                          skipped, array.size(), qUtf8Printable(firstError));
            setEvents(std::move(events));
            return;
        } catch (const std::exception& decodeError) {
            error = QString::fromUtf8(decodeError.what());
        }
    }
    qCCritical(lcConfigStore, "Failed to load backup-log.json: %s", qUtf8Printable(error));
    // The next write of the log would replace it: keep what it held for the user to look at.
    setAside(m_logFileURL, "backup-log.json");
}

void ConfigStore::saveConfig()
{
    if (m_configFileTrusted && fileExists(m_configFileURL))
        copyConfigToBackup();
    Json pairs = Json::array();
    for (const BackupPair& pair : m_pairs)
        pairs.push_back(pair.toJson());
    const Json file{{"appConfig", m_appConfig.toJson()}, {"pairs", std::move(pairs)}};
    if (writeJSON(file, m_configFileURL, "config.json"))
        m_configFileTrusted = true;
}

void ConfigStore::copyConfigToBackup()
{
    // Written aside and renamed over the old backup, so a failed copy leaves the old one whole.
    std::string bytes;
    QString error;
    if (platform::readWholeFile(m_configFileURL, bytes, error))
        error = platform::writeFileAtomically(configBackupURL(), bytes, platform::FileAccess::ownerOnly);
    if (!error.isEmpty())
        qCCritical(lcConfigStore, "Failed to update config.json.backup: %s", qUtf8Printable(error));
}

void ConfigStore::flushLog()
{
    writeJSON(encodeEvents(m_events), m_logFileURL, "backup-log.json");
}

bool ConfigStore::writeJSON(const Json& value, const std::filesystem::path& url, const char* name)
{
    QString error;
    try {
        error = platform::writeFileAtomically(url, platform::encodeJsonPretty(value), platform::FileAccess::ownerOnly);
    } catch (const std::exception& encodeError) {
        error = QString::fromUtf8(encodeError.what());
    }
    if (error.isEmpty())
        return true;
    qCCritical(lcConfigStore, "Failed to write %s: %s", name, qUtf8Printable(error));
    return false;
}

void ConfigStore::setAside(const std::filesystem::path& url, const char* name)
{
    const std::string stamp =
        platform::wallClock().now().toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toStdString();
    const std::string base = url.native() + ".damaged-" + stamp;
    int error = 0;
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::filesystem::path target(attempt == 1 ? base : base + "-" + std::to_string(attempt));
        error = renameNoReplace(url, target);
        if (error == 0) {
            qCWarning(lcConfigStore, "Kept the unusable %s as %s", name, target.filename().c_str());
            return;
        }
        if (error != EEXIST)
            break;
    }
    qCCritical(lcConfigStore, "Failed to set aside the unusable %s: %s", name, std::strerror(error));
}

} // namespace larkfold
