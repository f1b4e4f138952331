#include "setup/CloudSyncDetector.h"

#include "platform/MountSource.h"
#include "platform/Paths.h"
#include "setup/RcloneConfig.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include <unistd.h>

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
    {Provider::nextcloud, "Nextcloud"}, {Provider::tresorit, "Tresorit"}, {Provider::rclone, "rclone"},
};

// A place in the home folder where a service's desktop client keeps what it syncs.
struct KnownLocation {
    ClientPlatform platform;
    // Relative to the home folder. In each name "*" stands for one or more characters and "#" for
    // any number of digits; neither matches a hidden name.
    std::string_view folder;
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
    // What the Linux clients create (for OneDrive, the community client). iCloud Drive, Box,
    // Proton Drive and Sync.com have no Linux client here, so a folder that is merely named like
    // theirs (~/Sync is Syncthing's) is never taken for one.
    {ClientPlatform::linuxDesktop, "Dropbox", Provider::dropbox},
    // Dropbox's folders when a personal and a team account are linked.
    {ClientPlatform::linuxDesktop, "Dropbox (*)", Provider::dropbox},
    {ClientPlatform::linuxDesktop, "OneDrive", Provider::oneDrive},
    {ClientPlatform::linuxDesktop, "pCloudDrive", Provider::pCloud},
    {ClientPlatform::linuxDesktop, "MEGA", Provider::mega},
    {ClientPlatform::linuxDesktop, "MEGAsync", Provider::mega},
    // The second account's folder is "Nextcloud2", and so on.
    {ClientPlatform::linuxDesktop, "Nextcloud#", Provider::nextcloud},
    {ClientPlatform::linuxDesktop, "ownCloud#", Provider::nextcloud},
    {ClientPlatform::linuxDesktop, "Tresorit", Provider::tresorit},
    // Insync keeps one folder per account and service.
    {ClientPlatform::linuxDesktop, "Insync/*/Google Drive", Provider::googleDrive},
    {ClientPlatform::linuxDesktop, "Insync/*/OneDrive", Provider::oneDrive},
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

// The folders in the session's gvfs folder that GNOME's online accounts mount, by name prefix.
constexpr NamePrefix kOnlineAccountDrives[] = {{"google-drive:", Provider::googleDrive}};

struct FileSystemType {
    std::string_view type;
    Provider provider;
};

// FUSE file systems of cloud clients, wherever they are mounted; rclone's remotes are told apart
// by its configuration.
constexpr FileSystemType kCloudFileSystems[] = {
    {"fuse.google-drive-ocamlfuse", Provider::googleDrive},
    {"fuse.onedriver", Provider::oneDrive},
    {"fuse.rclone", Provider::rclone},
};

// rclone's backends of the services above; any other remote is shown as rclone's.
constexpr FileSystemType kRcloneBackends[] = {
    {"drive", Provider::googleDrive}, {"onedrive", Provider::oneDrive}, {"dropbox", Provider::dropbox},
    {"box", Provider::box},           {"protondrive", Provider::proton}, {"pcloud", Provider::pCloud},
    {"mega", Provider::mega},
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

bool matchesPattern(std::string_view pattern, std::string_view name)
{
    if (pattern.empty())
        return name.empty();
    const std::string_view rest = pattern.substr(1);
    switch (pattern.front()) {
    case '*':
        for (std::size_t taken = 1; taken <= name.size(); ++taken) {
            if (matchesPattern(rest, name.substr(taken)))
                return true;
        }
        return false;
    case '#':
        for (std::size_t taken = 0;; ++taken) {
            if (matchesPattern(rest, name.substr(taken)))
                return true;
            if (taken == name.size() || name[taken] < '0' || name[taken] > '9')
                return false;
        }
    default:
        return !name.empty() && name.front() == pattern.front() && matchesPattern(rest, name.substr(1));
    }
}

bool nameMatches(std::string_view pattern, const std::string& name)
{
    if (name.starts_with('.') && !pattern.starts_with('.'))
        return false;
    return matchesPattern(pattern, name);
}

bool isPattern(std::string_view name)
{
    return name.find_first_of("*#") != std::string_view::npos;
}

std::vector<std::string_view> namesOf(std::string_view folder)
{
    std::vector<std::string_view> names;
    for (std::size_t at = 0; at <= folder.size();) {
        const std::size_t end = std::min(folder.find('/', at), folder.size());
        names.push_back(folder.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

std::vector<std::string> sortedEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The folders that a location's names stand for: each pattern is matched against the folder's
// entries, plain names are taken as they are (and may not exist).
std::vector<fs::path> placesOf(const fs::path& home, const KnownLocation& location)
{
    std::vector<fs::path> places{home};
    for (const std::string_view name : namesOf(location.folder)) {
        std::vector<fs::path> next;
        for (const fs::path& parent : places) {
            if (!isPattern(name)) {
                next.push_back(parent / name);
                continue;
            }
            for (const std::string& entry : sortedEntries(parent)) {
                if (nameMatches(name, entry) && isDirectory(parent / entry))
                    next.push_back(parent / entry);
            }
        }
        places = std::move(next);
    }
    return places;
}

// `inside` is a path relative to a location's folder; what the location says of it.
std::optional<Provider> providerInside(const KnownLocation& location, const fs::path& inside)
{
    if (location.provider)
        return location.provider;
    if (inside.empty() || inside == ".")
        return std::nullopt;
    return providerOfFolderNamed(inside.begin()->string());
}

// Whether `relative` (to the home folder) lies in the location, matched name by name; sets
// `inside` to the rest.
bool liesIn(const fs::path& relative, const KnownLocation& location, fs::path& inside)
{
    auto part = relative.begin();
    for (const std::string_view name : namesOf(location.folder)) {
        if (part == relative.end() || !nameMatches(name, part->string()))
            return false;
        ++part;
    }
    inside.clear();
    for (; part != relative.end(); ++part)
        inside /= *part;
    return true;
}

std::optional<Provider> providerOfOnlineAccountDrive(const std::string& name)
{
    for (const NamePrefix& row : kOnlineAccountDrives) {
        if (name.starts_with(row.prefix))
            return row.provider;
    }
    return std::nullopt;
}

std::optional<Provider> providerOfFileSystem(const platform::MountEntry& mount, const fs::path& rcloneConfig)
{
    const auto row = std::find_if(std::begin(kCloudFileSystems), std::end(kCloudFileSystems),
                                  [&](const FileSystemType& type) { return type.type == mount.fileSystemType; });
    if (row == std::end(kCloudFileSystems))
        return std::nullopt;
    if (row->provider != Provider::rclone || rcloneConfig.empty())
        return row->provider;
    const auto backend = RcloneConfig::backendOf(mount.source, rcloneConfig);
    if (!backend)
        return Provider::rclone;
    if (backend->type == "webdav" && (backend->vendor == "nextcloud" || backend->vendor == "owncloud"))
        return Provider::nextcloud;
    for (const FileSystemType& service : kRcloneBackends) {
        if (service.type == backend->type)
            return service.provider;
    }
    return Provider::rclone;
}

const platform::MountSource& noMounts()
{
    static const platform::TextMountSource none;
    return none;
}

} // namespace

CloudSyncDetector::Places CloudSyncDetector::Places::ofThisUser()
{
    const fs::path home = userHome();
    fs::path runtime = qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString();
    if (!runtime.is_absolute())
        runtime = fs::path("/run/user") / std::to_string(::getuid());
    return {home, runtime, RcloneConfig::defaultFile(home)};
}

CloudSyncDetector::CloudSyncDetector(std::optional<fs::path> home, ClientPlatform platform)
    : CloudSyncDetector(home ? Places{*home, {}, {}} : Places::ofThisUser(),
                        home ? noMounts() : platform::systemMountSource(), platform)
{
}

CloudSyncDetector::CloudSyncDetector(Places places, const platform::MountSource& mounts, ClientPlatform platform)
    : m_places(std::move(places)), m_mounts(&mounts), m_platform(platform)
{
    m_places.home = platform::canonicalPath(m_places.home);
}

std::optional<Provider> CloudSyncDetector::provider(const fs::path& folder) const
{
    const fs::path path = platform::canonicalPath(folder);
    const fs::path& home = m_places.home;
    for (const KnownLocation& location : kKnownLocations) {
        if (location.platform != m_platform)
            continue;
        fs::path inside;
        if (platform::isSameOrBelow(path, home) && liesIn(path.lexically_relative(home), location, inside))
            return providerInside(location, inside);
        // The location itself may be a link (a synced folder moved to another disk), so a folder
        // chosen by its real path is recognised as well.
        for (const fs::path& place : placesOf(home, location)) {
            const fs::path resolved = platform::canonicalPath(place);
            if (platform::isSameOrBelow(path, resolved))
                return providerInside(location, path.lexically_relative(resolved));
        }
    }
    if (m_platform != ClientPlatform::linuxDesktop)
        return std::nullopt;
    if (const fs::path drives = m_places.runtimeFolder / "gvfs";
        !m_places.runtimeFolder.empty() && platform::isBelow(path, drives)) {
        if (const auto provider = providerOfOnlineAccountDrive(path.lexically_relative(drives).begin()->string()))
            return provider;
    }
    return providerOfMount(path);
}

std::optional<Provider> CloudSyncDetector::providerOfMount(const fs::path& path) const
{
    const std::vector<platform::MountEntry> mounts = m_mounts->mounts();
    const platform::MountEntry* mount = platform::findMountHolding(
        mounts, path.string(), [](const platform::MountEntry& entry) -> std::string_view { return entry.mountPoint; });
    if (!mount)
        return std::nullopt;
    return providerOfFileSystem(*mount, m_places.rcloneConfig);
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
    const fs::path& home = m_places.home;
    for (const KnownLocation& location : kKnownLocations) {
        if (location.platform != m_platform)
            continue;
        if (location.provider) {
            for (const fs::path& place : placesOf(home, location))
                offer(*location.provider, location.listedFolder.empty() ? place : place / location.listedFolder);
            continue;
        }
        const fs::path place = home / location.folder;
        std::error_code error;
        for (fs::directory_iterator it(place, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.starts_with('.'))
                continue;
            if (const auto provider = providerOfFolderNamed(name))
                offer(*provider, it->path());
        }
    }
    if (m_platform != ClientPlatform::linuxDesktop)
        return found;
    if (!m_places.runtimeFolder.empty()) {
        const fs::path drives = m_places.runtimeFolder / "gvfs";
        for (const std::string& name : sortedEntries(drives)) {
            if (const auto provider = providerOfOnlineAccountDrive(name))
                offer(*provider, drives / name);
        }
    }
    for (const platform::MountEntry& mount : m_mounts->mounts()) {
        if (const auto provider = providerOfFileSystem(mount, m_places.rcloneConfig))
            offer(*provider, mount.mountPoint);
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
