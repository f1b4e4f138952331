#pragma once

#include "platform/FileSystem.h"
#include "platform/MountSource.h"
#include "platform/VolumeInfo.h"
#include "setup/CloudSyncDetector.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <vector>

namespace larkfold {

struct BackupPair;
class StatusManager;

// A question put to the user before a folder is taken: the first button sends the user back to
// choosing, only the second goes on with the folder.
struct FolderAlert {
    QString message;
    QString informativeText;
    QString chooseAgainButton;
    QString continueButton;

    bool operator==(const FolderAlert&) const = default;
};

// The checks that every way of choosing folders for a pair makes (the add-a-backup sheet,
// onboarding, "Change Destination…"). They decide what to tell the user and show nothing.
class DestinationChecks {
public:
    // The services must outlive the checks.
    explicit DestinationChecks(CloudSyncDetector detector = CloudSyncDetector(),
                               const platform::MountSource& mounts = platform::systemMountSource(),
                               const platform::VolumeInfo& volumes = platform::systemVolumeInfo(),
                               platform::FileSystem& fileSystem = platform::systemFileSystem());
    // On the mounts, volumes and file layer the coordinator's engines use.
    static DestinationChecks of(const StatusManager& coordinator, CloudSyncDetector detector = CloudSyncDetector());

    // The alerts to answer before `folder` becomes a destination, in the order they are put;
    // each must be answered with its continue button. Empty when nothing is in the way.
    std::vector<FolderAlert> destinationAlerts(const std::filesystem::path& folder) const;
    // For a folder that a cloud service syncs: every backup would be an upload.
    std::optional<FolderAlert> cloudFolderAlert(const std::filesystem::path& folder) const;
    // For a folder where drives are mounted (/media, /run/media, /mnt) that lies on the file system
    // mounted at or above that folder: the drive is not plugged in and copies would fill the system disk.
    std::optional<FolderAlert> systemDiskAlert(const std::filesystem::path& folder) const;

    // Why `destination` cannot hold the backups of `sources`: the first source that holds it or
    // lies in it, compared on canonical paths, so a link into a source is caught. None when free.
    static std::optional<QString> destinationNestingMessage(const std::vector<std::filesystem::path>& sources,
                                                            const std::filesystem::path& destination);
    // The same for the offsite folder, which may neither lie in a source nor hold one.
    static std::optional<QString> offsiteNestingMessage(const std::vector<std::filesystem::path>& sources,
                                                        const std::filesystem::path& offsite);

    // Why `destination` can never take the backups of `sources`, whose pairs get the folder names
    // `names` there (one per source): a source nested with it, then the backup run's own rules,
    // in its words, for each pair's backup folder (a protected system folder and the like), a
    // write that fails, and less free space than a run always keeps. None when nothing stands in
    // the way.
    std::optional<QString> destinationRefusal(const std::vector<std::filesystem::path>& sources,
                                              const std::filesystem::path& destination,
                                              const std::vector<QString>& names) const;
    // Why `offsite` cannot be the offsite folder of pairs from `sources` backed up into
    // `destination`: a source nested with it, or it is, lies in or holds the destination's
    // "Larkfold" folder, so the offsite copy would be written into the backups it copies.
    static std::optional<QString> offsiteRefusal(const std::vector<std::filesystem::path>& sources,
                                                 const std::filesystem::path& destination,
                                                 const std::filesystem::path& offsite);

    // The names of the new pairs from `sources`, in order, going to `destination`: each source's
    // folder name, made unique ignoring case ("Photos", "Photos 2") among the pairs that already
    // back up into the same "Larkfold" folder and the new pairs before it, since drives that
    // ignore case would merge "Photos" and "photos".
    static std::vector<QString> newPairNames(const std::vector<std::filesystem::path>& sources,
                                             const std::filesystem::path& destination,
                                             const std::vector<BackupPair>& existingPairs);

    const CloudSyncDetector& detector() const { return m_detector; }

private:
    CloudSyncDetector m_detector;
    const platform::MountSource& m_mounts;
    const platform::VolumeInfo& m_volumes;
    platform::FileSystem& m_fileSystem;
};

} // namespace larkfold
