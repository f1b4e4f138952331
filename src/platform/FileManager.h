#pragma once

#include <QDBusConnection>
#include <QUrl>

#include <filesystem>
#include <functional>

namespace larkfold::platform {

// Shows folders and files in the desktop's file manager (org.freedesktop.FileManager1, which the
// bus may start on the call). Without a bus or when the call fails, `fallback` gets the folder to
// open instead; the application hands in QDesktopServices::openUrl. Main thread.
class FileManager {
public:
    using Fallback = std::function<void(const QUrl& folder)>;

    explicit FileManager(Fallback fallback, QDBusConnection bus = QDBusConnection::sessionBus());

    // Opens a window on the folder itself, selecting nothing.
    void showFolder(const std::filesystem::path& folder) const;
    // Opens a window on the item's parent folder with the item selected.
    void showItem(const std::filesystem::path& item) const;

private:
    void call(const QString& method, const std::filesystem::path& path, const QUrl& fallbackFolder) const;

    Fallback m_fallback;
    QDBusConnection m_bus;
};

} // namespace larkfold::platform
