#pragma once

#include "copy/ExclusionFilter.h"
#include "engine/OffsiteSyncResult.h"
#include "platform/CancelToken.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/IdleTime.h"
#include "platform/VolumeInfo.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace larkfold {

// Keeps a second copy of a pair's backup folder in an offsite folder, usually a cloud-synced one.
// It only adds and replaces files: nothing in the offsite folder is ever removed, so files gone
// from the backup folder stay there. Each file is copied whole under a temporary name beside its
// target, checked by size and only then moved into place, so the old version stays until a
// verified copy replaces it. Keeps no state between calls; runs on the caller's thread.
class OffsiteSyncer {
public:
    // Called on the sync's thread with the fraction done (0 ≤ f < 1) and the file's name.
    using ProgressCallback = std::function<void(double fraction, const QString& fileName)>;

    static constexpr int kAttemptsPerFile = 3;

    explicit OffsiteSyncer(platform::FileSystem& fileSystem = platform::systemFileSystem(),
                           const platform::VolumeInfo& volumes = platform::systemVolumeInfo(),
                           platform::ContinuousClock& clock = platform::continuousClock(),
                           platform::IdleTime& idle = platform::idleTime());

    // Brings `offsiteTarget` (the pair's folder inside `offsiteFolder`, the folder the user chose)
    // up to date with `backupFolder` (the pair's backup folder, only read), leaving out what
    // `filter` excludes, marker files, temporary and resume items, links and anything but regular
    // files. A missing backup folder gives an empty result. The folders between the offsite folder
    // and the target are made when missing; the offsite folder itself never is, and must not be a
    // link. Never fails: every problem is an entry in the result's errors. A cancel is honoured
    // before each file.
    OffsiteSyncResult sync(const std::filesystem::path& backupFolder, const std::filesystem::path& offsiteFolder,
                           const std::filesystem::path& offsiteTarget, const ExclusionFilter& filter,
                           const ProgressCallback& progress = {}, const platform::CancelToken& cancel = {}) const;
    // The same from a backup folder already open (the run's), never its path again.
    OffsiteSyncResult sync(const platform::Directory& backupFolder, const std::filesystem::path& offsiteFolder,
                           const std::filesystem::path& offsiteTarget, const ExclusionFilter& filter,
                           const ProgressCallback& progress = {}, const platform::CancelToken& cancel = {}) const;

private:
    struct CopyOutcome;

    std::vector<std::string> enumerateFiles(const platform::Directory& backupFolder, const ExclusionFilter& filter,
                                            std::vector<FileOperationError>& errors) const;
    CopyOutcome copyFile(const platform::Directory& backup, const platform::Directory& offsite,
                         const std::filesystem::path& relative, const platform::CancelToken& cancel) const;
    // The error for the first of the two folders that no longer stands at its path.
    std::optional<FileOperationError> lostFolder(const platform::Directory& backup, const platform::Directory& offsite,
                                                 const std::filesystem::path& backupFolder,
                                                 const std::filesystem::path& offsiteTarget) const;

    platform::FileSystem& m_fileSystem;
    const platform::VolumeInfo& m_volumes;
    platform::ContinuousClock& m_clock;
    platform::IdleTime& m_idle;
};

} // namespace larkfold
