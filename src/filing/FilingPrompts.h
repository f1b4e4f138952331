#pragma once

#include <filesystem>
#include <optional>

class QWidget;

namespace larkfold {

// The panels and the file manager the filing window uses; tests answer them.
class FilingPrompts {
public:
    virtual ~FilingPrompts() = default;
    // The finished project folder the user picked; none when the panel was cancelled.
    virtual std::optional<std::filesystem::path> chooseProjectFolder(QWidget* parent) = 0;
    // The folder holding the year folders; none when the panel was cancelled.
    virtual std::optional<std::filesystem::path> chooseArchiveFolder(QWidget* parent) = 0;
    // Shows the folder selected in the file manager.
    virtual void revealInFileManager(const std::filesystem::path& folder) = 0;
};

} // namespace larkfold
