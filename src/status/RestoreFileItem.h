#pragma once

#include <QString>
#include <QUuid>

#include <cstdint>
#include <string>
#include <string_view>

namespace larkfold {

// One file found in a pair's backup folder or in its destination's backup trash, as the restore
// window lists it.
struct RestoreFileItem {
    QUuid id;                 // fresh for every scan; identifies the row
    std::string relativePath; // bytes below the backup folder, "/" between components
    std::string day;          // the trash's day folder ("2026-03-09"); empty for a file of the backup
    std::string name;         // bytes: the last component
    std::int64_t fileSize = 0; // 0 when the size could not be read
    bool isSelected = false;

    // What the row shows and the filter searches: the readable text of the name and the path,
    // and the same in lower case.
    QString displayName;
    QString displayPath;
    QString searchName;
    QString searchPath;
    QString displayDay; // "9 Mar 2026"; empty for a file of the backup

    // An item with a fresh id and its texts, not selected.
    static RestoreFileItem make(std::string relativePath, std::int64_t fileSize, std::string day = {});
    // Where the file is below the folder listed: the day folder, then the path, for a file of the trash.
    std::string listedPath() const { return day.empty() ? relativePath : day + "/" + relativePath; }
};

// The symbol a row shows for a file name, chosen by its extension ("photo", "film", ..., "doc").
QString restoreIconName(std::string_view name);

} // namespace larkfold
