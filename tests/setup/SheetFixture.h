#pragma once

#include "CoordinatorFixture.h"
#include "platform/FakeVolumeInfo.h"
#include "platform/MountSource.h"
#include "setup/FakeSetupPrompts.h"

#include <QList>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace larkfold::test {

// A real coordinator over temporary folders for the add-a-backup sheet, whose volume monitor
// sees an external drive and a network share, and a home folder where a test may make a
// Dropbox folder. The panels and alerts are answered by `prompts`.
class SheetFixture : public ::testing::Test {
protected:
    SheetFixture();
    ~SheetFixture() override;

    StatusManager& start() { return c.start(); }
    // A folder of the temporary tree, made when missing.
    std::filesystem::path folder(const std::filesystem::path& relative) { return c.tree.mkdir(relative); }
    static std::filesystem::path home();
    // The Dropbox folder in the home folder, made.
    std::filesystem::path makeDropbox();
    // Before start(): the volume monitor sees only the system disk.
    void withoutVolumes() { c.environment.volumeMonitor.mounts = &m_rootOnly; }

    static constexpr const char* kDriveMountPoint = "/media/sam/Backup Drive";
    static constexpr const char* kShareMountPoint = "/home/sam/nas";

    Coordinator c;
    FakeSetupPrompts prompts;

private:
    TempTree m_drives;
    platform::TextMountSource m_volumeTable;
    platform::TextMountSource m_rootOnly{"22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"};
    platform::FakeVolumeInfo m_volumeSpace;
};

// The folders as the file: URLs a drop carries.
inline QList<QUrl> fileUrls(const std::vector<std::filesystem::path>& paths)
{
    QList<QUrl> list;
    for (const std::filesystem::path& path : paths)
        list.append(QUrl::fromLocalFile(QString::fromStdString(path.string())));
    return list;
}

} // namespace larkfold::test
