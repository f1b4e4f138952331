#pragma once

#include "store/AppConfig.h"

#include <QUuid>

#include <functional>

namespace larkfold {

// What the status menu's commands do, filled by the application delegate at each showing. A
// command for one pair gets the pair's id and must look the pair up again: it may be gone.
struct MenuActions {
    std::function<void()> backupAllNow;
    std::function<void(const QUuid&)> backupPairNow;
    std::function<void(const QUuid&)> togglePausePair;
    std::function<void(const QUuid&)> relinkPair;
    std::function<void(const QUuid&)> revealInFileManager;
    std::function<void(const QUuid&)> removePair;
    std::function<void()> addFolder;
    std::function<void()> openPromote;
    std::function<void(AppConfig::BackupInterval)> setBackupInterval;
    std::function<void(AppConfig::NotificationLevel)> setNotificationLevel;
    std::function<void()> toggleLaunchAtLogin;
    std::function<void()> toggleTrashReminders;
    std::function<void()> toggleAutoUpdate;
    std::function<void()> checkForUpdates;
    std::function<void()> clearHistory;
    std::function<void()> openLearn;
    std::function<void()> openAbout;
    std::function<void()> quit;
};

} // namespace larkfold
