#pragma once

#include "platform/CancelToken.h"
#include "status/RestoreFileItem.h"
#include "status/Restorer.h"
#include "store/BackupPair.h"

#include <QObject>

#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace larkfold {

class BackupEngine;

namespace platform {
class FileSystem;
class MountSource;
class Trash;
} // namespace platform

class RestoreFileFilter;
class RestoreFileListModel;
class RestorePrompts;

// Which of the window's two lists is shown: the files of the backup, or the deleted files kept
// in the destination's backup trash.
enum class RestoreList { backup, trash };

// What the restore window shows and does for one pair: the scans of its backup folder and of
// its destination's backup trash, the two lists with their filter and ticks, and restores of the
// shown list's ticked files to the pair's source folder or a chosen one. Works on the copy of the
// pair it was made with and its plain folder paths; lists again when a run of the pair's engine
// ends. Scans and restores run on utility threads; their results reach this object only while
// it exists. Main thread only.
class RestoreViewModel : public QObject {
    Q_OBJECT

public:
    // Lists the backup folder opened for the scan.
    using ScanFunction =
        std::function<std::vector<RestoreFileItem>(const platform::Directory&, const platform::CancelToken&)>;

    // The parts of the computer it works through. Null means the system's own; what is handed in
    // must outlive every scan and restore started.
    struct Environment {
        platform::FileSystem* fileSystem = nullptr;
        const platform::Trash* trash = nullptr;
        const platform::MountSource* mounts = nullptr;
        RestorePrompts* prompts = nullptr; // none: "Restore to…" and opening the folder do nothing
        ScanFunction scan;                 // scanBackup when empty
    };

    RestoreViewModel(BackupPair pair, Environment environment, QObject* parent = nullptr);
    // Stops a scan still running; a restore goes on to its end.
    ~RestoreViewModel() override;

    const BackupPair& pair() const { return m_pair; }
    // "Larkfold" in the destination, then the pair's folder, as the backups write it.
    std::filesystem::path backupFolder() const;
    QString title() const;          // "Restore — " + name
    QString accessibleName() const; // "Restore files from " + name + " backup"

    // The backup's files; the trash's.
    RestoreFileListModel* files() const { return m_files; }
    RestoreFileFilter* filteredFiles() const { return m_filter; }
    RestoreFileListModel* trashFiles() const { return m_trashFiles; }
    RestoreFileFilter* filteredTrashFiles() const { return m_trashFilter; }
    std::filesystem::path trashFolder() const;

    // The list shown, whose ticks the counts, "Select All" and the restore buttons take.
    RestoreList currentList() const { return m_currentList; }
    void setCurrentList(RestoreList list);
    RestoreFileListModel* currentFiles() const;
    RestoreFileFilter* currentFilteredFiles() const;
    // "In Backup (82)", "Deleted (5)".
    QString listTitle(RestoreList list) const;
    // The other pairs that back up to the same destination, whose deleted files share its trash.
    void setTrashSharedWith(const QStringList& pairNames);
    // One line saying so; none when no other pair shares the trash.
    std::optional<QString> trashSharedText() const;
    // The empty list's two lines, for the shown list.
    QString emptyTitle() const;
    QString emptyCaption() const;

    // True until the first scan's result is in.
    bool isLoading() const { return m_isLoading; }
    // Why the backup folder was not listed, where that is worth saying: it is a link.
    const std::optional<QString>& backupFolderRefusal() const { return m_backupFolderRefusal; }
    bool restoreInProgress() const { return m_restoreInProgress; }
    // The result of the last restore; none before one and while one runs.
    const std::optional<QString>& restoreMessage() const { return m_restoreMessage; }
    bool restoreMessageIsError() const;

    const QString& searchText() const;
    void setSearchText(const QString& text);

    std::vector<RestoreFileItem> selectedItems() const;
    int selectedCount() const;
    int filteredCount() const;
    bool allFilteredSelected() const;
    // Ticks or clears the shown rows only.
    void setAllFilteredSelected(bool selected);

    QString selectedCountText() const; // "3 selected"
    QString filteredCountText() const; // "5 files"
    // Both restore buttons: something ticked and no restore running.
    bool canRestore() const;
    QString restoreToTooltip() const;
    QString restoreToOriginalTooltip() const;
    // While a restore runs: files handled so far, of the total.
    int restoreDone() const { return m_restoreDone; }
    int restoreTotal() const { return m_restoreTotal; }
    QString restoreProgressText() const; // "Restoring 12 of 40 files…"

    // Scans the backup folder and the trash and puts the results in the lists.
    void loadFiles();
    // Lists both again; ticks stay on the files still there.
    void rescan();
    // Lists again whenever a run of `engine` ends, for as long as both exist.
    void followRuns(const BackupEngine& engine);
    // Ticks the files at these paths below the backup folder, once they are listed.
    void preselect(std::vector<std::string> relativePaths);
    // Opens the shown list's folder.
    void openInFileManager();
    // Asks for a folder and restores the ticked files into it; cancelling changes nothing.
    void chooseRestoreLocation();
    // Restores the ticked files into the pair's source folder, re-creating it when it is gone,
    // unless the drive that holds it is not there.
    void restoreToOriginal();
    // Restores the ticked files into `target`. Does nothing with no file ticked or while a
    // restore runs.
    void restoreSelected(const std::filesystem::path& target);

signals:
    void isLoadingChanged();
    void restoreInProgressChanged();
    void restoreMessageChanged();
    void searchTextChanged();
    void currentListChanged();
    void trashSharedChanged();
    // The items, their ticks or the filter changed: counts and "Select All" follow.
    void listChanged();
    void restoreProgressChanged();

private:
    void startRestore(const std::filesystem::path& target, bool toOriginal);
    struct Listing {
        std::vector<RestoreFileItem> items;
        std::optional<platform::FolderIdentity> folder; // none: not opened
        std::optional<QString> refusal;
        std::vector<RestoreFileItem> trashItems;
        std::optional<platform::FolderIdentity> trashFolder;
    };

    void finishLoading(Listing listing);
    void finishRestore(const RestoreOutcome& outcome);
    void setIsLoading(bool loading);
    void setRestoreInProgress(bool inProgress);
    void setRestoreMessage(const std::optional<QString>& message);
    void setRestoreProgress(int done, int total);

    BackupPair m_pair;
    Environment m_environment;
    RestoreFileListModel* m_files;
    RestoreFileFilter* m_filter;
    RestoreFileListModel* m_trashFiles;
    RestoreFileFilter* m_trashFilter;
    RestoreList m_currentList = RestoreList::backup;
    QStringList m_trashSharers;
    std::unique_ptr<platform::CancelSource> m_scanCancel;
    // Counts the scans started: only the latest one's result is taken.
    int m_scanGeneration = 0;
    bool m_lastRunEnded = false;
    bool m_isLoading = true;
    // The folders the lists were made from: restores take files from them only.
    std::optional<platform::FolderIdentity> m_backupIdentity;
    std::optional<platform::FolderIdentity> m_trashIdentity;
    std::optional<QString> m_backupFolderRefusal;
    bool m_restoreInProgress = false;
    std::optional<QString> m_restoreMessage;
    std::vector<std::string> m_preselected;
    int m_restoreDone = 0;
    int m_restoreTotal = 0;
};

} // namespace larkfold
