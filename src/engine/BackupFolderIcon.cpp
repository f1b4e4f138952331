#include "engine/BackupFolderIcon.h"

#include "platform/FolderIcon.h"
#include "platform/VolumeInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

namespace larkfold {
namespace {

// The logo as installed with the program's data: beside the program (<prefix>/share/larkfold),
// else in the XDG data folders.
std::optional<std::filesystem::path> logoFile()
{
    for (const char* name : {"larkfold/LarkLogo.svg", "larkfold/LarkLogo.png"}) {
        if (QCoreApplication::instance()) {
            const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + QLatin1String(name);
            if (QFileInfo::exists(beside))
                return std::filesystem::path(QFile::encodeName(QFileInfo(beside).canonicalFilePath()).toStdString());
        }
        const QString found = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QString::fromLatin1(name));
        if (!found.isEmpty())
            return std::filesystem::path(QFile::encodeName(found).toStdString());
    }
    return std::nullopt;
}

} // namespace

void setBackupFolderIcon(const std::filesystem::path& folder)
{
    setBackupFolderIcon(folder, platform::systemVolumeInfo());
}

void setBackupFolderIcon(const std::filesystem::path& folder, const platform::VolumeInfo& volumes)
{
    const auto logo = logoFile();
    if (!logo)
        return;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return;
    // A volume whose kind is unknown counts as local; network destinations keep their plain icon.
    if (volumes.isNetwork(folder))
        return;
    platform::setFolderCustomIcon(folder, *logo);
}

} // namespace larkfold
