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
    // Present with the right size, but their content (SHA-256) is not the original's as it is
    // now, or either side could not be read.
    std::vector<std::string> differentContent;

    // Whether every listed file is there with the original's size and content.
    bool matches() const { return missing.empty() && wrongSize.empty() && differentContent.empty(); }
    // The result in one line, ending with ".".
    QString summary() const;

    bool operator==(const ProjectCheckResult&) const = default;
};

} // namespace larkfold
