#pragma once

#include <QHashFunctions>
#include <QString>

#include <filesystem>
#include <optional>
#include <vector>

namespace larkfold {

// Recognises folders that a cloud service keeps in sync, from where they lie in the home folder,
// and lists the ones present. Keeps nothing between calls, so every call sees the disk as it is;
// only reads. Any thread.
class CloudSyncDetector {
public:
    enum class Provider { iCloud, dropbox, oneDrive, googleDrive, box, proton, sync, pCloud, mega, nextcloud, tresorit };

    // Whose desktop client a known location belongs to; only the chosen platform's locations match.
    enum class ClientPlatform { linuxDesktop, macOS };

    // One cloud folder found in the home folder.
    struct AvailableProvider {
        Provider provider;
        std::filesystem::path url;

        // Identity: the folder's path.
        QString id() const { return QString::fromStdString(url.string()); }
        bool operator==(const AvailableProvider&) const = default;
    };

    // `home` defaults to the user's home folder.
    explicit CloudSyncDetector(std::optional<std::filesystem::path> home = std::nullopt,
                               ClientPlatform platform = ClientPlatform::linuxDesktop);

    // The service whose synced folder holds `folder` (links resolved), or none.
    std::optional<Provider> provider(const std::filesystem::path& folder) const;
    // The cloud folders present, each once (by resolved path), in the order of the known locations.
    std::vector<AvailableProvider> availableProviders() const;

    // The informative text of the alert before a synced folder becomes a destination.
    static QString destinationWarning(Provider provider);
    // The service's name as users know it ("Dropbox", "Sync.com"); also its stored value.
    static QString displayName(Provider provider);
    // The provider whose display name is exactly `name`.
    static std::optional<Provider> providerNamed(const QString& name);

private:
    std::filesystem::path m_home; // normalised: standard, links resolved
    ClientPlatform m_platform;
};

inline size_t qHash(const CloudSyncDetector::AvailableProvider& value, size_t seed = 0)
{
    return qHash(value.id(), seed) ^ static_cast<size_t>(value.provider);
}

} // namespace larkfold
