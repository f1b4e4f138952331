#pragma once

#include "setup/SetupPrompts.h"

#include <QPointer>

class QWidget;

namespace larkfold {

// The real panels (FolderChooser, which takes several folders at once and keeps their names as
// bytes) and alerts (QMessageBox) over the window that asks.
class DialogSetupPrompts final : public SetupPrompts {
public:
    explicit DialogSetupPrompts(QWidget* window);

    std::vector<std::filesystem::path> chooseFolders(const FolderPanel& panel) override;
    bool confirm(const FolderAlert& alert) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace larkfold
