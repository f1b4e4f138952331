#pragma once

#include "store/AppConfig.h"
#include "store/BackupEvent.h"
#include "store/BackupPair.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace larkfold {

// The one owner of the pairs, the settings and the event log, and of the files that hold them:
// "config.json" (with its "config.json.backup") and "backup-log.json" in the data folder.
// Changes of the pairs are written at once, events 0.5 s after the last one. Main thread only.
class ConfigStore : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxLogEntries = 500;
    static constexpr int kLogFlushDelayMs = 500;
    // Far beyond any real file of ours: a larger one or a deeper one is refused unread, as
    // damaged, instead of taking the machine's memory to parse.
    static constexpr std::int64_t kMaxFileBytes = 16'000'000;
    static constexpr int kMaxNestingDepth = 32;

    // Loads from the program's data folder, creating it when missing. Never fails: what cannot be
    // read is logged and the defaults stay.
    explicit ConfigStore(QObject* parent = nullptr);
    explicit ConfigStore(std::filesystem::path appSupportDirectory, QObject* parent = nullptr);
    ~ConfigStore() override; // a pending log write is dropped; save() first to keep it

    const std::vector<BackupPair>& pairs() const { return m_pairs; }
    const AppConfig& appConfig() const { return m_appConfig; }
    const std::vector<BackupEvent>& events() const { return m_events; }

    // Assigning writes nothing; save() puts it on disk. Equal values notify nobody.
    void setPairs(std::vector<BackupPair> pairs);
    void setAppConfig(const AppConfig& config);
    void setEvents(std::vector<BackupEvent> events);

    // Appends the pair (an id already present is not checked) and writes "config.json".
    void addPair(const BackupPair& pair);
    // Replaces the first pair with the same id and writes; does nothing when there is none.
    void updatePair(const BackupPair& pair);
    // Removes every pair with the id, writes, and forgets the pair's user default.
    void removePair(const QUuid& id);
    // Appends the event, keeps the newest kMaxLogEntries, and schedules the log write.
    void addEvent(const BackupEvent& event);
    // Writes "config.json", then "backup-log.json" at once instead of any pending write.
    void save();

    const std::filesystem::path& appSupportURL() const { return m_appSupportURL; }
    const std::filesystem::path& configFileURL() const { return m_configFileURL; }
    const std::filesystem::path& logFileURL() const { return m_logFileURL; }
    std::filesystem::path configBackupURL() const;

signals:
    void pairsChanged();
    void appConfigChanged();
    void eventsChanged();

private:
    void ensureDirectory();
    void removeLeftoverTemporaries();
    void loadConfig();
    void loadLog();
    void saveConfig();
    void copyConfigToBackup();
    void flushLog();
    bool writeJSON(const platform::Json& value, const std::filesystem::path& url, const char* name);
    void setAside(const std::filesystem::path& url, const char* name);

    std::filesystem::path m_appSupportURL;
    std::filesystem::path m_configFileURL;
    std::filesystem::path m_logFileURL;
    std::vector<BackupPair> m_pairs;
    AppConfig m_appConfig;
    std::vector<BackupEvent> m_events;
    QTimer m_logFlushTimer;
    // Whether "config.json" on disk decoded at load or was written here: only then may it become the backup.
    bool m_configFileTrusted = false;
};

} // namespace larkfold
