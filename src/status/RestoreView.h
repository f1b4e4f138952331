#pragma once

#include "status/RestoreViewModel.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QLineEdit;
class QListView;
class QStackedWidget;

namespace larkfold {

class ElidedText;
class FilledButton;
class RestorePrompts;
class SymbolView;
class TextButton;
class ToneLabel;

namespace status {
class BusyIndicator;
}

// The restore window's content for one pair: the files of its backup and, on a second tab, the
// deleted files of its destination's trash, with a filter and ticks, and the buttons that open
// the shown list's folder and restore its ticked files. 480 x 520, titled
// "Restore — " and the pair's name. The scan starts when it is first shown.
class RestoreView : public QWidget {
    Q_OBJECT

public:
    // Works on the system's files, Trash and panels.
    explicit RestoreView(const BackupPair& pair, QWidget* parent = nullptr);
    // Works through `environment`: null parts are the system's own, no prompts the real panels.
    RestoreView(const BackupPair& pair, RestoreViewModel::Environment environment, QWidget* parent = nullptr);
    ~RestoreView() override;

    RestoreViewModel& model() { return *m_model; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeListArea();
    QWidget* makeFooter();
    void refreshList();
    void refreshArea();
    void refreshFooter();
    void refreshTabs();
    void showCurrentList();

    std::unique_ptr<RestorePrompts> m_ownPrompts;
    RestoreViewModel* m_model = nullptr;
    bool m_loadStarted = false;

    ToneLabel* m_selectedLabel = nullptr;
    QLineEdit* m_searchField = nullptr;
    QStackedWidget* m_area = nullptr;
    QWidget* m_loadingPage = nullptr;
    QWidget* m_emptyPage = nullptr;
    ToneLabel* m_emptyTitle = nullptr;
    ToneLabel* m_emptyCaption = nullptr;
    FilledButton* m_backupTab = nullptr;
    FilledButton* m_trashTab = nullptr;
    ElidedText* m_trashShared = nullptr;
    QWidget* m_listPage = nullptr;
    QCheckBox* m_selectAll = nullptr;
    ToneLabel* m_filteredLabel = nullptr;
    QListView* m_list = nullptr;
    QWidget* m_messageRow = nullptr;
    SymbolView* m_messageIcon = nullptr;
    ToneLabel* m_messageLabel = nullptr;
    ToneLabel* m_progressLabel = nullptr;
    TextButton* m_openButton = nullptr;
    FilledButton* m_restoreToButton = nullptr;
    FilledButton* m_restoreOriginalButton = nullptr;
    status::BusyIndicator* m_restoreSpinner = nullptr;
};

} // namespace larkfold
