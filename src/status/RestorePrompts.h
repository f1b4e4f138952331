#pragma once

#include <QString>

#include <filesystem>
#include <optional>

namespace larkfold {

// The panels the restore window opens and the file manager it hands folders to; tests answer
// them. Main thread only.
class RestorePrompts {
public:
    virtual ~RestorePrompts() = default;

    // A modal open panel for one folder, with `acceptLabel` on its default button and `message`
    // as its title; none when the user cancels.
    virtual std::optional<std::filesystem::path> chooseFolder(const QString& acceptLabel, const QString& message) = 0;
    // Opens a file manager window on the folder; nothing is reported when it cannot.
    virtual void openFolder(const std::filesystem::path& folder) = 0;
};

} // namespace larkfold
