#pragma once

#include "platform/FileDescriptor.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace larkfold {

// The backup folder of a run, opened once: every step of the run and after it works through this
// folder and never resolves its path again, so a link or another drive put at the path meanwhile
// is never written, read or cleared. While the object lives it holds the folder's lock file, so a
// second run (another account, another computer sharing the folder) cannot write the same folder.
// Made by FileCopier::openBackupFolder. Move-only.
class BackupFolder {
public:
    BackupFolder(platform::Directory directory, platform::File lock, std::vector<std::string> setAside = {})
        : m_directory(std::move(directory)), m_lock(std::move(lock)), m_setAside(std::move(setAside))
    {
    }

    const platform::Directory& directory() const { return m_directory; }
    // The path it was opened by: for messages, never for opening it again.
    const std::filesystem::path& path() const { return m_directory.path(); }
    // False where the folder's file system keeps no locks; the run then goes on unguarded.
    bool isLocked() const { return m_lock.isOpen(); }
    // Names of items that stood where the lock file belongs, not made by the program, moved to the trash.
    const std::vector<std::string>& setAside() const { return m_setAside; }

private:
    platform::Directory m_directory;
    platform::File m_lock;
    std::vector<std::string> m_setAside;
};

} // namespace larkfold
