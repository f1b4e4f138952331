#pragma once

#include "app/MenuPrompts.h"
#include "setup/DialogSetupPrompts.h"

namespace larkfold {

// The real panels and folder alerts (those of the setup flows) and the menu's alerts as
// QMessageBox, with no window to hang from: the menu has none.
class DialogMenuPrompts final : public MenuPrompts {
public:
    DialogMenuPrompts();

    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override;
    bool confirm(const FolderAlert& alert) override;
    bool alert(const MenuAlert& alert) override;

private:
    DialogSetupPrompts m_folders;
};

} // namespace larkfold
