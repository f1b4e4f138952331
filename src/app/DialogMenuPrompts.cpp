#include "app/DialogMenuPrompts.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

namespace larkfold {

DialogMenuPrompts::DialogMenuPrompts() : m_folders(nullptr) {}

std::vector<std::filesystem::path> DialogMenuPrompts::chooseFolders(const FolderPanel& panel)
{
    return m_folders.chooseFolders(panel);
}

bool DialogMenuPrompts::confirm(const FolderAlert& alert)
{
    return m_folders.confirm(alert);
}

bool DialogMenuPrompts::alert(const MenuAlert& alert)
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Larkfold"));
    box.setIcon(alert.style == MenuAlert::Style::warning ? QMessageBox::Warning : QMessageBox::Information);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    QPushButton* first = box.addButton(alert.firstButton, QMessageBox::AcceptRole);
    QPushButton* second =
        alert.secondButton.isEmpty() ? nullptr : box.addButton(alert.secondButton, QMessageBox::RejectRole);
    QPushButton* link = alert.link.isValid() && !alert.linkButton.isEmpty()
        ? box.addButton(alert.linkButton, QMessageBox::ActionRole)
        : nullptr;
    box.setDefaultButton(first);
    box.setEscapeButton(second ? second : first);
    box.exec();
    if (link && box.clickedButton() == link)
        QDesktopServices::openUrl(alert.link);
    return box.clickedButton() == first;
}

} // namespace larkfold
