#include "setup/CloudSyncDetector.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>

#include <set>
#include <string>
#include <string_view>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using Provider = CloudSyncDetector::Provider;
using ClientPlatform = CloudSyncDetector::ClientPlatform;

struct ProviderName {
    Provider provider;
    const char* name;
};

constexpr ProviderName kProviderNames[] = {
    {Provider::iCloud, "iCloud Drive"}, {Provider::dropbox, "Dropbox"},   {Provider::oneDrive, "OneDrive"},
    {Provider::googleDrive, "Google Drive"}, {Provider::box, "Box"},      {Provider::proton, "Proton Drive"},
    {Provider::sync, "Sync.com"},       {Provider::pCloud, "pCloud"},     {Provider::mega, "MEGA"},
    {Provider::nextcloud, "Nextcloud"}, {Provider::tresorit, "Tresorit"},
};

// A place in the home folder where a service's desktop client keeps what it syncs.
struct KnownLocation {
    ClientPlatform platform;
    std::string_view folder; // relative to the home folder
    // None: a folder of the system's file providers, in which each folder is named after its service.
    std::optional<Provider> provider;
    // The folder offered as a cloud folder, relative to `folder` (empty: `folder` itself).
    std::string_view listedFolder = {};
};

// Searched in this order; the first location that holds a folder decides.
constexpr KnownLocation kKnownLocations[] = {
    {ClientPlatform::macOS, "Library/Mobile Documents", Provider::iCloud, "com~apple~CloudDocs"},
    {ClientPlatform::macOS, "Library/CloudStorage", std::nullopt},
    {ClientPlatform::macOS, "Dropbox", Provider::dropbox},
    {ClientPlatform::macOS, "OneDrive", Provider::oneDrive},
    {ClientPlatform::macOS, "Google Drive", Provider::googleDrive},
    {ClientPlatform::macOS, "Box", Provider::box},
    {ClientPlatform::macOS, "Box Sync", Provider::box},
    {ClientPlatform::macOS, "pCloud Drive", Provider::pCloud},
    {ClientPlatform::macOS, "ProtonDrive", Provider::proton},
    {ClientPlatform::macOS, "Sync", Provider::sync},
    {ClientPlatform::macOS, "MEGA", Provider::mega},
    {ClientPlatform::macOS, "Nextcloud", Provider::nextcloud},
    {ClientPlatform::macOS, "ownCloud", Provider::nextcloud},
    {ClientPlatform::macOS, "Tresorit", Provider::tresorit},
    // What the Linux clients create by default (for OneDrive, the community client). iCloud Drive,
    // Google Drive, Box, Proton Drive and Sync.com have no Linux client here, so a folder that is
    // merely named like theirs (~/Sync is Syncthing's) is never taken for one.
    {ClientPlatform::linuxDesktop, "Dropbox", Provider::dropbox},
    {ClientPlatform::linuxDesktop, "OneDrive", Provider::oneDrive},
    {ClientPlatform::linuxDesktop, "pCloudDrive", Provider::pCloud},
    {ClientPlatform::linuxDesktop, "MEGA", Provider::mega},
    {ClientPlatform::linuxDesktop, "Nextcloud", Provider::nextcloud},
    {ClientPlatform::linuxDesktop, "ownCloud", Provider::nextcloud},
    {ClientPlatform::linuxDesktop, "Tresorit", Provider::tresorit},
};

struct NamePrefix {
    std::string_view prefix;
    Provider provider;
};

// How the folders of a file-provider location are named, compared in lower case; first match wins.
constexpr NamePrefix kProviderFolderPrefixes[] = {
    {"dropbox", Provider::dropbox}, {"onedrive", Provider::oneDrive},   {"googledrive", Provider::googleDrive},
    {"box", Provider::box},         {"proton", Provider::proton},       {"sync", Provider::sync},
    {"pcloud", Provider::pCloud},   {"mega", Provider::mega},           {"nextcloud", Provider::nextcloud},
    {"owncloud", Provider::nextcloud}, {"tresorit", Provider::tresorit},
};

std::string asciiLowerCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return text;
}

std::optional<Provider> providerOfFolderNamed(const std::string& name)
{
    const std::string lower = asciiLowerCase(name);
    for (const NamePrefix& row : kProviderFolderPrefixes) {
        if (lower.starts_with(row.prefix))
            return row.provider;
    }
    return std::nullopt;
}

bool isDirectory(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

fs::path userHome()
{
    return fs::path(QFile::encodeName(QDir::homePath()).toStdString());
}

} // namespace

CloudSyncDetector::CloudSyncDetector(std::optional<fs::path> home, ClientPlatform platform)
    : m_home(platform::canonicalPath(home.value_or(userHome()))), m_platform(platform)
{
}

std::optional<Provider> CloudSyncDetector::provider(const fs::path& folder) const
{
    const fs::path path = platform::canonicalPath(folder);
    for (const KnownLocation& location : kKnownLocations) {
        if (location.platform != m_platform)
            continue;
        // The location itself may be a link (a synced folder moved to another disk), so a folder
        // chosen by its real path is recognised as well.
        fs::path place = m_home / location.folder;
        if (!platform::isSameOrBelow(path, place)) {
            place = platform::canonicalPath(place);
            if (!platform::isSameOrBelow(path, place))
                continue;
        }
        if (location.provider)
            return location.provider;
        const fs::path inside = path.lexically_relative(place);
        if (inside.empty() || inside == ".")
            return std::nullopt;
        return providerOfFolderNamed(inside.begin()->string());
    }
    return std::nullopt;
}

std::vector<CloudSyncDetector::AvailableProvider> CloudSyncDetector::availableProviders() const
{
    std::vector<AvailableProvider> found;
    std::set<fs::path> listed;
    const auto offer = [&](Provider provider, const fs::path& url) {
        const fs::path resolved = platform::canonicalPath(url);
        if (listed.contains(resolved) || !isDirectory(url))
            return;
        listed.insert(resolved);
        found.push_back({provider, url});
    };
    for (const KnownLocation& location : kKnownLocations) {
        if (location.platform != m_platform)
            continue;
        const fs::path place = m_home / location.folder;
        if (location.provider) {
            offer(*location.provider, location.listedFolder.empty() ? place : place / location.listedFolder);
            continue;
        }
        std::error_code error;
        for (fs::directory_iterator it(place, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.starts_with('.'))
                continue;
            if (const auto provider = providerOfFolderNamed(name))
                offer(*provider, it->path());
        }
    }
    return found;
}

QString CloudSyncDetector::destinationWarning(Provider provider)
{
    static const QString advice = QStringLiteral("\n\nWe recommend using an external drive instead.");
    if (provider == Provider::iCloud)
        return QStringLiteral("This folder is synced with iCloud Drive. Backing up here means every backup will "
                              "upload to iCloud, which can be slow and use significant bandwidth. Files may also be "
                              "stored as \"Optimized\" placeholders instead of real copies, which defeats the "
                              "purpose of a backup.")
            + advice;
    const QString name = displayName(provider);
    return QStringLiteral("This folder is synced with %1. Backing up here means every backup will upload to %1, "
                          "which can be slow and use significant bandwidth. Files may also be stored as "
                          "placeholders instead of real copies, which defeats the purpose of a backup.")
               .arg(name)
        + advice;
}

QString CloudSyncDetector::displayName(Provider provider)
{
    for (const ProviderName& row : kProviderNames) {
        if (row.provider == provider)
            return QString::fromLatin1(row.name);
    }
    return {};
}

std::optional<Provider> CloudSyncDetector::providerNamed(const QString& name)
{
    for (const ProviderName& row : kProviderNames) {
        if (name == QLatin1String(row.name))
            return row.provider;
    }
    return std::nullopt;
}

} // namespace larkfold
