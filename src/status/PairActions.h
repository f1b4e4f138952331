#pragma once

#include <QObject>
#include <QUuid>

#include <functional>
#include <optional>

namespace larkfold {

class PairActionPrompts;
class StatusManager;
struct BackupPair;

namespace platform {
class FileManager;
}

// The commands of a pair row's menu and its "Relink" button. Each takes the pair's current
// record from the store and its engine from the coordinator when it runs; without a record it
// does nothing. Main thread only.
class PairActions : public QObject {
    Q_OBJECT

public:
    // `closePopover` hides the popover before a panel opens in its place. The coordinator, the
    // prompts and the file manager must outlive the actions.
    PairActions(StatusManager& statusManager, PairActionPrompts& prompts, const platform::FileManager& fileManager,
                std::function<void()> closePopover, QObject* parent = nullptr);

    // Backs the pair up now, in place of a pending trigger, unless it is paused.
    void backUpNow(const QUuid& id);
    // Resumes a paused pair (also one "Pause All" holds), or pauses another one for good; stored
    // either way, also when the pair has no engine.
    void togglePause(const QUuid& id);
    // Closes the popover, then on a later turn asks for a folder, puts the checks' alerts and
    // relinks the pair there; a refusal is told to the user.
    void changeDestination(const QUuid& id);
    // Opens the source folder in the file manager.
    void reveal(const QUuid& id);
    // Asks for the restore window.
    void requestRestore(const QUuid& id);
    // Asks for the window listing what failed in the pair's last run.
    void showRunErrors(const QUuid& id);
    // Asks for the restore window with the files the mass-deletion guard kept ticked.
    void restoreHeldDeletions(const QUuid& id);
    // Asks once, then has the pair's next run move the files the guard kept, those still gone
    // from the source, to the backup trash.
    void confirmHeldDeletions(const QUuid& id);
    // Examines the source folder off the main thread and offers the profile that fits it, with
    // the size of its files, through the coordinator; dropped when the pair went meanwhile.
    void redoSmartSetup(const QUuid& id);
    // Asks, then removes the pair; its backup stays where it is.
    void remove(const QUuid& id);

signals:
    // A command finished its work off the main thread (redo smart setup), whatever came of it.
    void smartSetupFinished(const QUuid& id);

private:
    std::optional<BackupPair> storedPair(const QUuid& id) const;
    void chooseDestination(const QUuid& id);

    StatusManager& m_statusManager;
    PairActionPrompts& m_prompts;
    const platform::FileManager& m_fileManager;
    std::function<void()> m_closePopover;
};

} // namespace larkfold
