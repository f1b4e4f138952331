#pragma once

#include "status/RunErrorsModel.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace larkfold {

class BackupEngine;

// The window of what failed in a pair's last backup: a heading, one row per failure with its
// path, what Larkfold was doing and the system's words, and a button that copies them all as
// text. Follows the engine's later runs while it is open.
class RunErrorsView : public QWidget {
    Q_OBJECT

public:
    RunErrorsView(QString pairName, BackupEngine* engine, QWidget* parent = nullptr);

    const RunErrorsModel& model() const { return m_model; }
    // Puts the failures on the clipboard as the model's text.
    void copyToClipboard();

private:
    void refresh();

    QString m_pairName;
    QPointer<BackupEngine> m_engine;
    RunErrorsModel m_model;
    QLabel* m_heading = nullptr;
    QLabel* m_note = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_copy = nullptr;
};

} // namespace larkfold
