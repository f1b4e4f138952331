#pragma once

#include "platform/FileSystem.h"
#include "platform/MountSource.h"
#include "platform/Trash.h"
#include "store/BackupProfile.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace larkfold {

// Finds the cache folders that editing apps rebuild on their own inside a project's
// "2 Project Files", and moves them to the Trash on request. Nothing else is ever looked at or
// moved: no version-control, build or auto-save folder, not the backup trash, nothing reached
// through a symbolic link, nothing on another file system than the project's: a folder of
// another device or where something is mounted is neither entered nor offered, nor is a cache
// folder holding a mount (its Trash would hold the mounted tree). Synchronous; safe on any thread.
class ProjectSlimmer {
public:
    struct Finding {
        std::filesystem::path url;
        std::string relativePath; // below the project folder, so it begins with "2 Project Files/"
        QString name;
        std::int64_t bytes = 0; // the regular files inside it

        bool operator==(const Finding&) const = default;
    };

    struct Report {
        std::vector<Finding> items; // sorted by relativePath, byte order

        // The findings in words, or that there is nothing to tidy up.
        QString summary() const;
        std::int64_t totalBytes() const;

        bool operator==(const Report&) const = default;
    };

    struct TrashResult {
        int trashed = 0;
        std::int64_t freedBytes = 0;
        QStringList failures; // "<relative path>: <reason>", one per folder that stayed
    };

    // Rebuildable are the cache folders among the profile's excluded names.
    explicit ProjectSlimmer(BackupProfile profile, const platform::Trash& trash = platform::systemTrash(),
                            platform::FileSystem& fileSystem = platform::systemFileSystem(),
                            const platform::MountSource& mounts = platform::systemMountSource());

    // Never fails: what cannot be read contributes nothing.
    Report scan(const std::filesystem::path& project) const;
    // The bytes of the regular files below `folder` on its own file system; links are not followed.
    static std::int64_t size(const std::filesystem::path& folder);
    // Moves each finding still in its place to the Trash; one that has vanished is skipped quietly.
    TrashResult trash(const std::vector<Finding>& findings) const;

    BackupProfile profile() const { return m_profile; }
    const NameSet& rebuildableNames() const { return m_names; }

private:
    BackupProfile m_profile;
    NameSet m_names;
    // Whether `folder` (links resolved) is a folder on `device` with nothing mounted at or below it.
    bool staysOn(const std::filesystem::path& folder, std::uint64_t device) const;

    const platform::Trash& m_trash;
    platform::FileSystem& m_fileSystem;
    const platform::MountSource& m_mounts;
};

} // namespace larkfold
