#pragma once

#include "engine/RunFileErrors.h"

#include <QString>

#include <vector>

namespace larkfold {

// What the window of a pair's last-run failures says: a heading, one row per failure kept, and
// the same as plain text for the clipboard. Values only.
class RunErrorsModel {
public:
    struct Row {
        QString path;   // readable, whole
        QString action; // what Larkfold was doing, in the user's words ("Copying")
        QString message; // the system's words
    };

    RunErrorsModel(QString pairName, RunFileErrors errors);

    QString title() const;   // "Backup Problems — Work"
    QString heading() const; // "3 problems in the last backup of Work"
    // "Showing the first 300 of 1024." when not all were kept; empty otherwise.
    QString shownNote() const;
    const std::vector<Row>& rows() const { return m_rows; }
    // The heading, then each row on a line of its own: path, tab, action, tab, message.
    QString clipboardText() const;

    // The user's words for an operation label of the copy engine; the label itself when unknown.
    static QString actionText(const QString& operation);

private:
    QString m_pairName;
    RunFileErrors m_errors;
    std::vector<Row> m_rows;
};

} // namespace larkfold
