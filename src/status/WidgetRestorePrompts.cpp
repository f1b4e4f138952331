#include "status/WidgetRestorePrompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QUrl>

namespace larkfold {

WidgetRestorePrompts::WidgetRestorePrompts(QWidget* window) : m_window(window) {}

std::optional<std::filesystem::path> WidgetRestorePrompts::chooseFolder(const QString& acceptLabel,
                                                                        const QString& message)
{
    QFileDialog dialog(m_window, message, QDir::homePath());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, acceptLabel);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return std::filesystem::path(QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString());
}

void WidgetRestorePrompts::openFolder(const std::filesystem::path& folder)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(folder.native()));
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace larkfold
