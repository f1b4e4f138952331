#pragma once

#include <QString>

#include <filesystem>

namespace larkfold {

// Access to a folder through its bookmark was refused. The engine reports it as
// BackupError::bookmarkAccessDenied with the same folder.
struct BookmarkError {
    std::filesystem::path url;

    static BookmarkError accessDenied(std::filesystem::path url) { return BookmarkError{std::move(url)}; }

    QString errorDescription() const;

    bool operator==(const BookmarkError&) const = default;
};

} // namespace larkfold
