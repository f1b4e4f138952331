#pragma once

#include "status/RestorePrompts.h"

#include <QPointer>

class QWidget;

namespace larkfold {

// The real panels: QFileDialog over the given window, and the desktop's file manager.
class WidgetRestorePrompts final : public RestorePrompts {
public:
    explicit WidgetRestorePrompts(QWidget* window);

    std::optional<std::filesystem::path> chooseFolder(const QString& acceptLabel, const QString& message) override;
    void openFolder(const std::filesystem::path& folder) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace larkfold
