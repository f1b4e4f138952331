#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace larkfold::platform {

namespace {

namespace fs = std::filesystem;

bool ensureHomeTrash(const QString& trash)
{
    const bool existed = QFileInfo(trash).isDir();
    if (!QDir().mkpath(trash + QStringLiteral("/files")) || !QDir().mkpath(trash + QStringLiteral("/info")))
        return false;
    if (!existed)
        QFile::setPermissions(trash, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

} // namespace

std::optional<fs::path> FreedesktopTrash::moveToTrash(const fs::path& item, QString* error) const
{
    const auto fail = [&](const QString& reason) -> std::optional<fs::path> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    // Qt names files by text; a name that does not survive the round trip would trash another file.
    const QByteArray bytes = QByteArray::fromStdString(item.native());
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) != bytes)
        return fail(QStringLiteral("The file's name cannot be moved to the Trash."));
    std::error_code code;
    if (!fs::exists(fs::symlink_status(item, code)))
        return fail(QString::fromStdString(std::make_error_code(std::errc::no_such_file_or_directory).message()));
    // When Qt 6.4 cannot set up the home trash it "succeeds" by moving the item into a relative
    // ./files folder; a home trash made beforehand leaves it no such way out.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !ensureHomeTrash(dataHome + QStringLiteral("/Trash")))
        return fail(QStringLiteral("The Trash folder cannot be created."));
    QFile file(name);
    if (!file.moveToTrash())
        return fail(file.errorString().isEmpty() ? QStringLiteral("The item could not be moved to the Trash.")
                                                 : file.errorString());
    const fs::path where(QFile::encodeName(file.fileName()).toStdString());
    if (!where.is_absolute())
        return fail(QStringLiteral("The item could not be moved to the Trash."));
    return where;
}

Trash& systemTrash()
{
    static FreedesktopTrash trash;
    return trash;
}

} // namespace larkfold::platform
