#pragma once

#include "copy/FileOperationError.h"

#include <QString>

#include <cstddef>
#include <filesystem>
#include <vector>

namespace larkfold {

// One failure of a backup run as the user is shown it: where, doing what, and the system's words.
struct RunFileError {
    std::filesystem::path path;
    QString operation;
    QString message;

    bool operator==(const RunFileError&) const = default;
};

// The failures of a pair's last run, kept in memory to be shown on request: the first kMaxKept of
// them and how many there were in all. The mass-deletion guard's refusals are no failed files and
// are not among them.
struct RunFileErrors {
    static constexpr std::size_t kMaxKept = 300;

    std::vector<RunFileError> kept;
    std::size_t total = 0;

    static RunFileErrors of(const std::vector<FileOperationError>& errors);
    void add(const FileOperationError& error);
    bool empty() const { return total == 0; }

    bool operator==(const RunFileErrors&) const = default;
};

} // namespace larkfold
