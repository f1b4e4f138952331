#pragma once

#include "filing/FilingPrompts.h"

namespace larkfold {

// The real panels (QFileDialog) and the desktop's file manager (org.freedesktop.FileManager1,
// else the folder's parent opened by the desktop).
class DialogFilingPrompts final : public FilingPrompts {
public:
    std::optional<std::filesystem::path> chooseProjectFolder(QWidget* parent) override;
    std::optional<std::filesystem::path> chooseArchiveFolder(QWidget* parent) override;
    void revealInFileManager(const std::filesystem::path& folder) override;
};

} // namespace larkfold
