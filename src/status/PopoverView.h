#pragma once

#include "setup/AddBackupView.h"
#include "status/PopoverTexts.h"

#include <QDateTime>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QAbstractButton;
class QLabel;
class QStackedLayout;
class QStackedWidget;
class QVBoxLayout;

namespace larkfold {

class BackupPairRow;
class BoundedScrollArea;
class PairActionPrompts;
class PairActions;
class SetupPrompts;
class StatusManager;
class ToneLabel;

namespace platform {
class FileManager;
}

// The popover's content: a header with the product's name, "+" and the gear, one row per pair
// (or a word on how to begin), and a footer with the age of the newest backup and the buttons
// that act on all pairs. "+" shows the add-a-backup sheet in its place. Follows the store, the
// coordinator and the engines through their signals. Main thread only.
class PopoverView : public QWidget {
    Q_OBJECT

public:
    // The parts of the desktop it uses; tests hand in their own. Null or empty means the real ones.
    struct Environment {
        // The row commands' panels and alerts; null: dialogs.
        std::unique_ptr<PairActionPrompts> prompts;
        // Makes the prompts of each new add-a-backup sheet; null: the sheet's own dialogs.
        std::function<std::unique_ptr<SetupPrompts>()> sheetPrompts;
        // Null: the desktop's file manager on the session bus, else opening the folder.
        const platform::FileManager* fileManager = nullptr;
        // The time the ages are counted to; null: the clock.
        std::function<QDateTime()> now;
        // None: as the desktop asks.
        std::optional<bool> reduceMotion;
    };

    static constexpr int kWidth = 300;

    // The coordinator must outlive the view.
    PopoverView(StatusManager& statusManager, std::function<void()> onGearTapped, QWidget* parent = nullptr);
    PopoverView(StatusManager& statusManager, std::function<void()> onGearTapped, Environment environment,
                QWidget* parent = nullptr);
    ~PopoverView() override;

    // Shows the add-a-backup sheet on its first step, unless it is up already.
    void showAddBackup();
    bool isShowingAddBackup() const { return m_sheet != nullptr; }
    AddBackupView* addBackupView() const { return m_sheet; }
    // A sheet or an alert of the popover's own is up: the window around it must stay open meanwhile.
    bool isPinned() const;

    // The rows in the store's order of the pairs.
    std::vector<BackupPairRow*> rows() const;
    BackupPairRow* row(const QUuid& pairId) const;
    // The footer's "Last backup: …" line; empty when there is none.
    QString lastBackupLine() const;
    PairActions& actions() { return *m_actions; }

    QSize sizeHint() const override;

signals:
    // The window around the view must close (a panel opens in its place).
    void closeRequested();
    void pinnedChanged(bool pinned);

protected:
    void showEvent(QShowEvent* event) override;

private:
    class PinningPrompts;

    QWidget* makeHeader();
    QWidget* makeFooter();
    QWidget* makeEmptyState();
    void syncRows();
    void refreshFooter();
    void refreshAll();
    PauseButtonAction pauseAction() const;
    void pauseClicked();
    // Backs up what is not paused and says which paused pairs it left out.
    void backUpNowClicked();
    // Scrolls the list to show the row once it is laid out, or when the list shows again.
    void bringIntoView(BackupPairRow* row);
    void dismissSheet();
    void setModal(bool modal);

    StatusManager& m_statusManager;
    std::function<void()> m_onGearTapped;
    std::function<QDateTime()> m_now;
    std::function<std::unique_ptr<SetupPrompts>()> m_sheetPrompts;
    bool m_reduceMotion;
    std::unique_ptr<PairActionPrompts> m_userPrompts;
    std::unique_ptr<PinningPrompts> m_prompts;
    std::unique_ptr<platform::FileManager> m_ownFileManager;
    std::unique_ptr<PairActions> m_actions;
    int m_modalDepth = 0;

    QStackedLayout* m_pages = nullptr;
    QWidget* m_main = nullptr;
    QPointer<AddBackupView> m_sheet;
    QStackedWidget* m_content = nullptr;
    QWidget* m_emptyState = nullptr;
    BoundedScrollArea* m_list = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    std::map<QUuid, BackupPairRow*> m_rows;
    bool m_rowsShown = false;
    QPointer<BackupPairRow> m_rowToReveal;
    std::vector<QWidget*> m_rowDividers;
    ToneLabel* m_lastBackup = nullptr;
    QAbstractButton* m_pauseButton = nullptr;
    QAbstractButton* m_backUpButton = nullptr;
};

} // namespace larkfold
