#include "filing/DialogFilingPrompts.h"

#include "filing/FilingText.h"
#include "platform/Drives.h"
#include "org_freedesktop_filemanager1_interface.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";

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
    const QString path = pathText(folder);
    const QUrl parentFolder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(parentFolder);
        return;
    }
    // The file manager may be started by the bus on this call, so it is not asked whether it runs.
    auto* fileManager = new OrgFreedesktopFileManager1Interface(QString::fromLatin1(kFileManagerService),
                                                                QString::fromLatin1(kFileManagerPath), bus);
    auto* watcher = new QDBusPendingCallWatcher(
        fileManager->ShowItems({QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)}, {}), fileManager);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, fileManager, [fileManager, parentFolder](auto* call) {
        if (call->isError())
            QDesktopServices::openUrl(parentFolder);
        fileManager->deleteLater();
    });
}

} // namespace larkfold
