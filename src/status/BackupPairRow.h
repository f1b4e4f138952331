#pragma once

#include "store/BackupPair.h"
#include "store/BackupStatus.h"

#include <QDateTime>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QAction;
class QMenu;

namespace larkfold {

class BackupEngine;
class ElidedText;
class PairActions;
class StatusManager;
class ToneLabel;
class SymbolView;

namespace pairrow {
class StatusDot;
class ProgressBar;
} // namespace pairrow

// One pair in the popover's list: a status dot that pulses while work is under way, the name,
// where it goes, warning icons, the short status and a progress bar while copying. A click on a
// pair with a problem unfolds the error and its remedy; a right-click opens the pair's commands.
// Follows its engine's status, free space and watch warning, and the coordinator's copy redundancy.
class BackupPairRow : public QWidget {
    Q_OBJECT

public:
    // `now` gives the time the ages are counted to. The coordinator and the actions must outlive the row.
    BackupPairRow(StatusManager& statusManager, PairActions& actions, const BackupPair& pair, bool reduceMotion,
                  std::function<QDateTime()> now, QWidget* parent = nullptr);
    ~BackupPairRow() override;

    const BackupPair& pair() const { return m_pair; }
    // The stored record changed.
    void setPair(const BackupPair& pair);
    // The engine registered for the pair (null: none, shown as idle); the row follows its signals.
    void setEngine(BackupEngine* engine);
    // The status shown: the engine's, idle without one.
    const BackupStatus& status() const { return m_status; }
    // Takes the texts and icons from the pair, the engine and the coordinator again.
    void refresh();

    QString statusText() const;
    // The progress the bar draws now; the status text shows the same figure.
    double shownProgress() const;
    bool isErrorDetailShown() const { return m_showErrorDetail; }
    // As a click does: unfolds or folds the error detail while the pair has a problem.
    void toggleErrorDetail();
    bool isPulsing() const;
    bool isHovered() const { return m_hovered; }
    // How far the hover fill has come in: 0 to 1.
    double hoverAmount() const { return m_hoverAmount; }
    // Takes the hover from where the pointer is now: rows that moved under a still pointer, or
    // from under it, get no enter or leave.
    void followPointer();
    // The row's commands, brought up to date for the pair as it is now.
    QMenu* contextMenu();

    QSize sizeHint() const override;

signals:
    // The error detail has unfolded in full.
    void errorDetailUnfolded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* makeErrorDetail();
    void buildMenu();
    void updateMenu();
    void setHovered(bool hovered);
    void setErrorDetailShown(bool shown, bool animated);
    void refreshErrorDetail();
    void showStatusText();
    bool animates() const { return !m_reduceMotion; }

    StatusManager& m_statusManager;
    PairActions& m_actions;
    BackupPair m_pair;
    BackupStatus m_status;
    QPointer<BackupEngine> m_engine;
    bool m_reduceMotion;
    std::function<QDateTime()> m_now;

    bool m_hovered = false;
    double m_hoverAmount = 0;
    QVariantAnimation m_hoverAnimation;
    bool m_showErrorDetail = false;
    bool m_pressed = false;
    QVariantAnimation m_detailAnimation;

    pairrow::StatusDot* m_dot = nullptr;
    ElidedText* m_name = nullptr;
    ElidedText* m_destination = nullptr;
    SymbolView* m_freeSpaceIcon = nullptr;
    SymbolView* m_offsiteIcon = nullptr;
    SymbolView* m_redundancyIcon = nullptr;
    SymbolView* m_watchIcon = nullptr;
    ToneLabel* m_statusLabel = nullptr;
    QAbstractButton* m_relink = nullptr;
    QWidget* m_progressHolder = nullptr;
    pairrow::ProgressBar* m_progress = nullptr;
    QWidget* m_errorDetail = nullptr;
    QWidget* m_errorDescriptionRow = nullptr;
    ToneLabel* m_errorDescription = nullptr;
    ToneLabel* m_errorSuggestion = nullptr;
    QWidget* m_errorActions = nullptr;
    QAbstractButton* m_showDetails = nullptr;
    QAbstractButton* m_restoreHeld = nullptr;
    QAbstractButton* m_confirmDeletion = nullptr;

    QMenu* m_menu = nullptr;
    QAction* m_backUpNow = nullptr;
    QAction* m_pauseResume = nullptr;
};

} // namespace larkfold
