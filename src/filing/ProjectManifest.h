#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace larkfold {

// What a project held when it was filed: every regular file with its size.
struct ProjectManifest {
    struct Entry {
        std::string path; // bytes, relative to the project folder, "/" between components
        std::int64_t bytes = 0;

        bool operator==(const Entry&) const = default;
    };

    QString name;
    QDateTime archivedAt;
    std::vector<Entry> files; // sorted by path, byte order (code-point order for UTF-8)

    bool operator==(const ProjectManifest&) const = default;
};

} // namespace larkfold
