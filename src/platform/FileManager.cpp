#include "platform/FileManager.h"

#include "platform/DBusCall.h"
#include <QCoreApplication>
#include <QFile>
#include <QDBusMessage>
#include <QStringList>

namespace larkfold::platform {

namespace fs = std::filesystem;

namespace {

// The file URI of the path's bytes, so a name that is not UTF-8 still reaches the file manager intact.
QString fileUri(const fs::path& path)
{
    return QStringLiteral("file://")
        + QString::fromLatin1(QByteArray::fromStdString(path.native()).toPercentEncoding("/"));
}

QUrl folderUrl(const fs::path& path)
{
    return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path.native())));
}

} // namespace

FileManager::FileManager(Fallback fallback, QDBusConnection bus)
    : m_fallback(std::move(fallback))
    , m_bus(std::move(bus))
{
}

void FileManager::showFolder(const fs::path& folder) const
{
    call(QStringLiteral("ShowFolders"), folder, folderUrl(folder));
}

void FileManager::showItem(const fs::path& item) const
{
    const fs::path parent = item.has_relative_path() ? item.parent_path() : item;
    call(QStringLiteral("ShowItems"), item, folderUrl(parent));
}

void FileManager::call(const QString& method, const fs::path& path, const QUrl& fallbackFolder) const
{
    const QString uri = fileUri(path);
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), method);
    message << QStringList{uri} << QString();
    const QDBusPendingCall pending = m_bus.isConnected()
        ? m_bus.asyncCall(message)
        : QDBusPendingCall::fromError(QDBusMessage::createError(QDBusError::Disconnected, QString()));
    auto fallback = m_fallback;
    whenFinished(pending, QCoreApplication::instance(), [fallback, fallbackFolder](const QDBusPendingCall& done) {
        if (done.isError() && fallback)
            fallback(fallbackFolder);
    });
}

} // namespace larkfold::platform
