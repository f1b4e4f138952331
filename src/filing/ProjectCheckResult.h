#pragma once

#include <QString>

#include <string>
#include <vector>

namespace larkfold {

// How a filed copy compares with the manifest of its source. Paths are sorted in byte order.
struct ProjectCheckResult {
    std::vector<std::string> missing;   // listed but absent from the copy
    std::vector<std::string> wrongSize; // present with another size
    std::vector<std::string> added;     // in the copy only; reported to no one
    qsizetype expectedCount = 0;        // entries of the manifest

    // Whether every listed file is there with its size.
    bool matches() const { return missing.empty() && wrongSize.empty(); }
    // The result in one line, ending with ".".
    QString summary() const;

    bool operator==(const ProjectCheckResult&) const = default;
};

} // namespace larkfold
