#include "filing/DialogFilingPrompts.h"

#include "filing/FilingText.h"
#include "platform/Drives.h"
#include "platform/FileManager.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

std::optional<fs::path> chooseFolder(QWidget* parent, const QString& message, const QString& startFolder,
                                     bool mayCreateFolders)
{
    QFileDialog panel(parent, message, startFolder);
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly);
    panel.setOption(QFileDialog::ReadOnly, !mayCreateFolders);
    panel.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = panel.selectedFiles().constFirst();
    if (chosen.isEmpty())
        return std::nullopt;
    return pathFromText(chosen);
}

// Where drives appear on this desktop, else the home folder.
QString drivesFolder()
{
    const auto folder = platform::drivesFolder();
    return folder ? pathText(*folder) : QDir::homePath();
}

} // namespace

std::optional<fs::path> DialogFilingPrompts::chooseProjectFolder(QWidget* parent)
{
    return chooseFolder(parent, QStringLiteral("Choose the finished project folder"), {}, false);
}

std::optional<fs::path> DialogFilingPrompts::chooseArchiveFolder(QWidget* parent)
{
    return chooseFolder(parent, QStringLiteral("Choose the folder your archive lives in — the one holding your year folders"),
                        drivesFolder(), true);
}

void DialogFilingPrompts::revealInFileManager(const fs::path& folder)
{
    platform::FileManager([](const QUrl& url) { QDesktopServices::openUrl(url); }).showItem(folder);
}

} // namespace larkfold
