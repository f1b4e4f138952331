#include "setup/DialogSetupPrompts.h"

#include "setup/FolderChooser.h"

#include <QMessageBox>
#include <QPushButton>

namespace larkfold {

namespace fs = std::filesystem;

DialogSetupPrompts::DialogSetupPrompts(QWidget* window) : m_window(window) {}

std::vector<fs::path> DialogSetupPrompts::chooseFolders(const FolderPanel& panel)
{
    FolderChooser chooser(panel, m_window);
    if (chooser.exec() != QDialog::Accepted)
        return {};
    return chooser.chosenFolders();
}

bool DialogSetupPrompts::confirm(const FolderAlert& alert)
{
    QMessageBox box(m_window);
    box.setIcon(QMessageBox::Warning);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    // The first button is the safe one and the default; only the second goes on.
    QPushButton* chooseAgain = box.addButton(alert.chooseAgainButton, QMessageBox::RejectRole);
    QPushButton* goOn = box.addButton(alert.continueButton, QMessageBox::AcceptRole);
    box.setDefaultButton(chooseAgain);
    box.setEscapeButton(chooseAgain);
    if (m_window) {
        m_window->window()->raise();
        m_window->window()->activateWindow();
    }
    box.exec();
    return box.clickedButton() == goOn;
}

} // namespace larkfold
