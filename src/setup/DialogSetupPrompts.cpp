#include "setup/DialogSetupPrompts.h"

#include <QAbstractItemView>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace larkfold {

namespace fs = std::filesystem;

DialogSetupPrompts::DialogSetupPrompts(QWidget* window) : m_window(window) {}

std::vector<fs::path> DialogSetupPrompts::chooseFolders(const FolderPanel& panel)
{
    QFileDialog dialog(m_window, panel.message);
    // Qt's own dialog: the desktop's may not take several folders, nor say what it is for.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::ReadOnly, !panel.canCreateDirectories);
    dialog.setLabelText(QFileDialog::Accept, panel.prompt);
    if (panel.startingFolder)
        dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(panel.startingFolder->native())));
    if (panel.allowsMultipleSelection) {
        // A folder dialog takes one folder unless its views let the user select more.
        for (auto* view : dialog.findChildren<QAbstractItemView*>())
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    std::vector<fs::path> folders;
    for (const QString& chosen : dialog.selectedFiles()) {
        if (!chosen.isEmpty())
            folders.emplace_back(QFile::encodeName(chosen).toStdString());
    }
    if (!panel.allowsMultipleSelection && folders.size() > 1)
        folders.resize(1);
    return folders;
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
