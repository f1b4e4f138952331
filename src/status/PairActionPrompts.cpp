#include "status/PairActionPrompts.h"

#include "setup/DialogSetupPrompts.h"

#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace larkfold {

DialogPairActionPrompts::DialogPairActionPrompts(QWidget* window)
    : m_folderPrompts(std::make_unique<DialogSetupPrompts>(nullptr)), m_window(window)
{
}

DialogPairActionPrompts::~DialogPairActionPrompts() = default;

QWidget* DialogPairActionPrompts::window() const
{
    return m_window && m_window->isVisible() ? m_window->window() : nullptr;
}

std::vector<std::filesystem::path> DialogPairActionPrompts::chooseFolders(const FolderPanel& panel)
{
    return m_folderPrompts->chooseFolders(panel);
}

bool DialogPairActionPrompts::confirm(const FolderAlert& alert)
{
    return m_folderPrompts->confirm(alert);
}

bool DialogPairActionPrompts::confirmFirst(const ConfirmAlert& alert)
{
    QMessageBox box(window());
    box.setIcon(QMessageBox::Warning);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    QPushButton* confirm = box.addButton(alert.confirmButton, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(alert.cancelButton, QMessageBox::RejectRole);
    box.setDefaultButton(confirm);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == confirm;
}

void DialogPairActionPrompts::tell(const QString& message)
{
    QMessageBox box(window());
    box.setIcon(QMessageBox::Warning);
    box.setText(message);
    box.addButton(QMessageBox::Ok);
    box.exec();
}

} // namespace larkfold
