#pragma once

#include <QHashFunctions>
#include <QString>

#include <filesystem>
#include <optional>
#include <vector>

namespace larkfold {

namespace platform {
class MountSource;
}

// Recognises folders that a cloud service keeps in sync, from where they lie in the home folder
// and from the mounts of cloud clients, and lists the ones present. Keeps nothing between calls, so
// every call sees the disk as it is; only reads. Any thread.
class CloudSyncDetector {
public:
    // `rclone`: a mount of rclone whose remote is none of the other services (or cannot be told).
    enum class Provider { iCloud, dropbox, oneDrive, googleDrive, box, proton, sync, pCloud, mega, nextcloud, tresorit, rclone };

    // Whose desktop client a known location belongs to; only the chosen platform's locations match.
    enum class ClientPlatform { linuxDesktop, macOS };

    // One cloud folder found.
    struct AvailableProvider {
        Provider provider;
        std::filesystem::path url;

        // Identity: the folder's path.
        QString id() const { return QString::fromStdString(url.string()); }
        bool operator==(const AvailableProvider&) const = default;
    };

    // Where a user's cloud folders are looked for besides the mount table.
    struct Places {
        std::filesystem::path home;
        // The session's runtime folder, in whose "gvfs" folder GNOME shows the drives of its
        // online accounts; empty: none.
        std::filesystem::path runtimeFolder;
        // rclone's configuration, which tells the service behind each rclone mount; empty: none.
        std::filesystem::path rcloneConfig;

        // This user's: the home folder, $XDG_RUNTIME_DIR (else /run/user/<uid>), rclone's file.
        static Places ofThisUser();
    };

    // Without `home`: this user's places and the system's mount table. With it: the locations in
    // that home folder only.
    explicit CloudSyncDetector(std::optional<std::filesystem::path> home = std::nullopt,
                               ClientPlatform platform = ClientPlatform::linuxDesktop);
    // `mounts` must outlive the detector and its copies.
    CloudSyncDetector(Places places, const platform::MountSource& mounts,
                      ClientPlatform platform = ClientPlatform::linuxDesktop);

    // The service whose synced folder holds `folder` (links resolved), or none.
    std::optional<Provider> provider(const std::filesystem::path& folder) const;
    // The cloud folders present, each once (by resolved path): those in the home folder in the
    // order of the known locations, then the online accounts' drives, then cloud mounts in the
    // mount table's order.
    std::vector<AvailableProvider> availableProviders() const;

    // The informative text of the alert before a synced folder becomes a destination.
    static QString destinationWarning(Provider provider);
    // The service's name as users know it ("Dropbox", "Sync.com"); also its stored value.
    static QString displayName(Provider provider);
    // The provider whose display name is exactly `name`.
    static std::optional<Provider> providerNamed(const QString& name);

private:
    std::optional<Provider> providerOfMount(const std::filesystem::path& path) const;

    Places m_places; // home normalised: standard, links resolved
    const platform::MountSource* m_mounts;
    ClientPlatform m_platform;
};

inline size_t qHash(const CloudSyncDetector::AvailableProvider& value, size_t seed = 0)
{
    return qHash(value.id(), seed) ^ static_cast<size_t>(value.provider);
}

} // namespace larkfold
