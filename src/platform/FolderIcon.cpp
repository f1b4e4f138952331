#include "platform/FolderIcon.h"

#include "platform/Json.h"

#include <QProcess>
#include <QStandardPaths>

namespace larkfold::platform {
namespace {

constexpr int kGioTimeoutMs = 5000;

} // namespace

QStringList folderIconArguments(const std::filesystem::path& folder, const std::filesystem::path& image)
{
    return {QStringLiteral("set"), QStringLiteral("-t"), QStringLiteral("string"),
            QString::fromStdString(encodeFileUrl(folder, false)), QStringLiteral("metadata::custom-icon"),
            QString::fromStdString(encodeFileUrl(image, false))};
}

bool setFolderCustomIcon(const std::filesystem::path& folder, const std::filesystem::path& image)
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        return false;
    QProcess process;
    process.setProgram(gio);
    process.setArguments(folderIconArguments(folder, image));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForFinished(kGioTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace larkfold::platform
