#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace larkfold {

// Something a project holds that filing does not copy, so the original is not yet safe to clear.
struct LeftOutItem {
    enum class Kind {
        link,             // a symbolic link: neither it nor what it points to is copied
        specialFile,      // a FIFO, socket or device
        emptyFolder,      // holds nothing filing copies
        trashFolder,      // a ".Larkfold-Trash" folder, with everything in it
        unreadableFolder, // could not be listed, wholly or in part
    };

    std::string path; // bytes, relative to the project folder; empty for the project folder itself
    Kind kind = Kind::link;
    qsizetype itemCount = 0; // for a trash folder: the files, folders and links inside it

    bool operator==(const LeftOutItem&) const = default;
};

// What a project held when it was filed: every regular file with its size. `leftOut` lives only
// in memory; the manifest file holds the three keys of its format.
struct ProjectManifest {
    struct Entry {
        std::string path; // bytes, relative to the project folder, "/" between components
        std::int64_t bytes = 0;

        bool operator==(const Entry&) const = default;
    };

    QString name;
    QDateTime archivedAt;
    std::vector<Entry> files; // sorted by path, byte order (code-point order for UTF-8)
    std::vector<LeftOutItem> leftOut; // sorted by path

    bool operator==(const ProjectManifest&) const = default;
};

} // namespace larkfold
